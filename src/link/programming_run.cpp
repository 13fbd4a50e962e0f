#include "link/programming_run.h"

#include <optional>

#include "state/mod_variabili.h"

namespace lcdprog {

RunResult Run_Programming(const CompilerIo& compiler, const LinkIo& link) {
    std::optional<MemoryImageBytes> image = Compile_Image(compiler, link.state);
    if (!image) {
        return RunResult{};
    }
    link.state.MemoryImage = *image;
    return Write_Memory_Image(link);
}

RunResult Write_Memory_Image(const LinkIo& link) {
    RunResult result;
    if (!Find_Module(link)) {
        result.end = RunEnd::NoModule;
        return result;
    }
    const bool programmed = Write_EEPROM_I2C(link);
    result.end = programmed                 ? RunEnd::Written
                 : link.state.StopRequested ? RunEnd::Stopped
                                            : RunEnd::WriteFailed;
    // A write that failed on its own still ends with a reset; only a stop skips it. A stop
    // pressed after the last block was acknowledged does not: the write succeeded.
    if (programmed || !link.state.StopRequested) {
        result.resetSent = true;
        result.resetOk = Reset_PIC(link);
    }
    return result;
}

}  // namespace lcdprog
