#include "link/programming_run.h"

#include <string>

#include "state/mod_variabili.h"

namespace lcdprog {
namespace {

// Between a run and the message box: every message still goes to the operator, and the first is
// kept as the run's text.
class FirstMessage final : public platform::MessageBox {
  public:
    explicit FirstMessage(platform::MessageBox& inner) : inner_(inner) {}
    void Show(const std::string& text, const std::string& title,
              platform::MessageIcon icon) override {
        if (!shown_) {
            shown_ = true;
            text_ = text;
        }
        inner_.Show(text, title, icon);
    }
    platform::SaveChoice AskSave(const std::string& text, const std::string& title) override {
        return inner_.AskSave(text, title);
    }
    const std::string& Text() const { return text_; }

  private:
    platform::MessageBox& inner_;
    bool shown_ = false;
    std::string text_;
};

// The block the write has reached, as the run reports it.
class BlockReached final : public RunObserver {
  public:
    void Block_Started(int k) override { block = k; }
    int block = 0;
};

}  // namespace

RunResult Run_Programming(const CompilerIo& compiler, const LinkIo& link) {
    const platform::Result<MemoryImageBytes> image = Compile_Image(compiler, link.state);
    if (!image) {
        RunResult result;
        result.failure = RunFailure::CompileRefused;
        result.text = image.Why().text;
        link.observer.Run_Ended(result);
        return result;
    }
    link.state.MemoryImage = *image;
    return Write_Memory_Image(link);
}

RunResult Write_Memory_Image(const LinkIo& link) {
    FirstMessage messages(link.messages);
    BlockReached reached;
    RunFeed feed;
    feed.Subscribe(link.observer);
    feed.Subscribe(reached);
    const LinkIo io{link.state, link.serial, link.clock,          link.pump,
                    messages,   feed,        link.endOnClosedPort};

    RunResult result;
    if (!Find_Module(io)) {
        result.failure = RunFailure::ModuleNotFound;
    } else {
        const bool programmed = Write_EEPROM_I2C(io);
        // A stop pressed after the last block was acknowledged changes nothing: the write
        // succeeded.
        const bool stopped = !programmed && link.state.StopRequested;
        result.block = programmed ? kBlocks : reached.block;
        result.failure = programmed ? RunFailure::None
                         : stopped  ? RunFailure::Stopped
                                    : RunFailure::BlockFailed;
        // A write that failed on its own still ends with a reset; only a stop skips it.
        if (!stopped) {
            result.resetSent = true;
            result.resetOk = Reset_PIC(io);
            if (!result.resetOk && programmed) {
                result.failure = RunFailure::ResetFailed;
            }
        }
    }
    // A step that failed because the device went away (an adapter pulled out) says so: the
    // control closes such a port at its first error.
    const bool failed = result.failure == RunFailure::ModuleNotFound ||
                        result.failure == RunFailure::BlockFailed ||
                        result.failure == RunFailure::ResetFailed;
    if (failed && !link.serial.PortOpen()) {
        result.failure = RunFailure::PortLost;
    }
    result.text = messages.Text();
    link.observer.Run_Ended(result);
    return result;
}

}  // namespace lcdprog
