#pragma once

// Two benches for the same operator's desk:
//
// LineBench: lcdprog-sim on a real pseudo-terminal, with the program's real serial control,
// event pump, clock and file service. Waits are real: a missing reply costs 3000 ms.
//
// VirtualBench: a modelled module answering through a fake serial control on the virtual clock
// of the link's scripted module (tests/link/scripted_module.h). The same windows, the same
// clicks, the same readings, in milliseconds of real time whatever the waits.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "e2e_support.h"
#include "link/scripted_module.h"
#include "platform/clock.h"
#include "platform/qt/qt_event_pump.h"
#include "platform/qt/qt_serial_control.h"
#include "platform/services.h"

namespace lcdprog::test {

struct LineBench {
    // `simArgs` are lcdprog-sim options besides --link, --eeprom, --log and --quiet.
    explicit LineBench(std::vector<std::string> simArgs);

    // The module's device line came, both windows are up and the module is "COM 1".
    bool Ready();

    TempFolder folder;
    SimProcess sim;
    platform::PosixFileService files{Bin_Folder()};
    FakeMessageBox messages;
    platform::SteadyClock clock;
    platform::QtEventPump pump;
    platform::QtSerialControl serial;
    FakeFileDialog dialog;
    FakeProgram program;
    platform::Services services{files, messages, clock, pump, serial, dialog, program};
    Desk desk{services};
};

// What the modelled module does wrong, and where.
enum class Misbehaviour {
    None,
    NoAnswer,
    BadSum,    // the checksum byte complemented
    BadCmd,    // the command byte one higher, the checksum matching it
    Short,     // the last byte missing
    Split,     // first half, the rest 10 ms later
    Extra,     // one byte 0xAA after the reply
    Late2900,  // 2900 ms later than normal
    Late3100,  // 3100 ms later than normal
    HangUp,    // the line drops as the request arrives: the port closes, nothing is answered
};

struct FaultAt {
    enum class Target { Detect, Block, Reset };
    Misbehaviour what = Misbehaviour::None;
    Target target = Target::Detect;
    int block = -1;   // Block only
    int attempt = 1;  // consecutive requests for the same thing, from 1
};

// The module as lcdprog-sim behaves, on the virtual clock: answers detection, stores every
// intact write as it arrives (also when its acknowledgement is then lost) and acknowledges it
// after a page-write time, answers the reset; replies never overlap on the line (one that is
// held back holds back those after it); replies due in the same millisecond arrive together.
class VirtualModule {
  public:
    VirtualModule(ScriptedLink& link, std::vector<FaultAt> faults, std::uint32_t pageMs = 5);
    Script As_Script();
    const Eeprom& Memory() const { return eeprom_; }

  private:
    std::vector<Arrival> Answer(const std::string& packet);

    ScriptedLink& link_;
    std::vector<FaultAt> faults_;
    std::uint32_t pageMs_;
    Eeprom eeprom_;
    long lastTarget_ = -100;
    int attempt_ = 0;
    std::uint64_t lineFreeAt_ = 0;
    bool hungUp_ = false;
};

struct VirtualBench {
    explicit VirtualBench(std::vector<FaultAt> faults);

    bool Ready();

    ScriptedLink link;
    VirtualModule module;
    platform::PosixFileService files{Bin_Folder()};
    FakeFileDialog dialog;
    FakeProgram program;
    platform::Services services{files,       link.messages, link.clock, link.pump,
                                link.serial, dialog,        program};
    Desk desk{services};
};

}  // namespace lcdprog::test
