// Arbitrary bytes as a project file. The reader must never crash, hang or read out of bounds,
// and whatever it accepts must survive being saved and read again unchanged: the writer never
// produces a file the reader refuses or reads differently.

#include <cstddef>
#include <cstdint>
#include <string>

#include "project/project_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = "/fuzz/job/p.lcdprj";
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const lcdprog::platform::Result<lcdprog::Project> first = lcdprog::Parse_Project(bytes, path);
    if (!first.Ok() && first.Why().text.empty()) {
        __builtin_trap();
    }
    if (!first) {
        return 0;
    }
    const std::string saved = lcdprog::Serialize_Project(*first, path);
    const lcdprog::platform::Result<lcdprog::Project> again = lcdprog::Parse_Project(saved, path);
    if (!again || !(*again == *first)) {
        __builtin_trap();
    }
    return 0;
}
