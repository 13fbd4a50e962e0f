// CPU cost of one whole Write_EEPROM_I2C (512 packets of 135 bytes, each acknowledged) on a
// virtual clock, with a module that acknowledges every packet at the next yield. No time passes
// and nothing sleeps, so the figure is the protocol's own work per run and per packet: building
// the packet, the checksum, the reply check, and the serial window's view of it (the trace line
// and the counters). The controls are lean (the trace box only keeps its text), so the test
// fakes' bookkeeping is not counted.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "link/mod_RS232.h"
#include "platform/controls.h"
#include "serial_window/controls_view.h"
#include "state/mod_variabili.h"

namespace {

using namespace lcdprog;

class InstantModule : public platform::SerialControl {
  public:
    void SetCommPort(int) override {}
    int CommPort() const override { return 1; }
    bool SetPortOpen(bool) override { return true; }
    bool PortOpen() const override { return true; }
    bool SetSettings(const std::string&) override { return true; }
    bool Output(std::string_view bytes) override {
        if (!bytes.empty() && bytes[0] == '\x04') {
            pending_.append("\x04\x00\xFB", 3);
        }
        ++packets;
        return true;
    }
    std::string Input() override {
        std::string out;
        out.swap(pending_);
        return out;
    }
    int CommEvent() const override { return platform::comm_event::kReceive; }
    void SetCommHandler(std::function<void()>) override {}
    std::string LastError() const override { return {}; }
    std::string DevicePath(int) const override { return {}; }

    bool HasPending() const { return !pending_.empty(); }
    long packets = 0;

  private:
    std::string pending_;
};

// Delivers whatever the module has queued, as the window system would at a yield.
class InstantPump : public platform::EventPump {
  public:
    InstantPump(InstantModule& module, ProgramState& program)
        : module_(module), program_(program) {}
    void Yield(std::uint32_t) override {
        if (module_.HasPending()) {
            RS232_Interface_OnComm(module_, program_);
        }
    }

  private:
    InstantModule& module_;
    ProgramState& program_;
};

class FixedClock : public platform::Clock {
  public:
    std::uint32_t Milliseconds() override { return 1000; }
};

class PlainText : public platform::TextControl {
  public:
    std::string Text() const override { return text; }
    void SetText(const std::string& t) override { text = t; }
    std::string text;
};

class PlainRichText : public platform::RichTextControl {
  public:
    std::string Text() const override { return text; }
    void SetText(const std::string& t) override { text = t; }
    void SetSelStart(int) override {}
    void SetSelLength(int) override {}
    void SetSelColor(std::uint32_t) override {}
    std::string text;
};

class NoMessages : public platform::MessageBox {
  public:
    void Show(const std::string&, const std::string&, platform::MessageIcon) override {}
};

class PlainProgress : public platform::ProgressControl {
  public:
    void SetValue(int v) override { value = v; }
    int Value() const override { return value; }
    int value = 0;
};

void BM_Write_EEPROM_I2C(benchmark::State& state) {
    const auto program = std::make_unique<ProgramState>();
    for (std::size_t i = 0; i < program->MemoryImage.size(); ++i) {
        program->MemoryImage[i] = static_cast<std::uint8_t>(i * 31 + 7);
    }
    InstantModule module;
    InstantPump pump(module, *program);
    FixedClock clock;
    NoMessages messages;
    PlainText sent;
    PlainText received;
    PlainRichText spy;
    PlainProgress progress;
    ControlsView view(sent, received, spy, progress);
    const LinkIo io{*program, module, clock, pump, messages, view};
    for (auto _ : state) {
        sent.text = std::string("0");
        received.text = std::string("0");
        const bool ok = Write_EEPROM_I2C(io);
        benchmark::DoNotOptimize(ok);
        if (!ok || received.text != "512") {
            state.SkipWithError("run did not complete");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * 512);
    state.SetBytesProcessed(state.iterations() * 512 * 135);
}
BENCHMARK(BM_Write_EEPROM_I2C)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
