#pragma once

// The ports' processes of one write: one child per port (port_worker.h), each sent the image and
// then "go", "stop" or "quit"; their JSON lines become typed events for the observers (the
// terminal of lcdprog-cli write, the production station), and every unit's result is appended to
// the record file as a unit record (records/unit_record.h), the same fields whichever front end
// runs the write. QtCore only.
//
// Every unit is armed: a port process programs its next unit only once the supervisor has sent
// "go", which it does when the work order's quantity leaves room for one more good unit and the
// owner has the unit's identity (the station asks the operator for the serial number first).

#include <QByteArray>
#include <QElapsedTimer>
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "link/run_outcome.h"
#include "platform/result.h"
#include "records/record_file.h"
#include "state/memory_image.h"

namespace lcdprog::cli {

enum class PortStep { Opening, Detecting, Writing, Waiting, Idle };

// One unit's result as its port process told it: the run's outcome unchanged, its retries and the
// process's own text.
struct UnitResult {
    int unit = 0;
    RunOutcome outcome;
    int retries = 0;
    std::string error;   // the port process's text ("" when it gave none)
    std::string time;    // when the result arrived, UTC, as the record has it
    std::string serial;  // the unit's serial number, when the operator gave one
    QJsonObject event;   // the port process's own line, for whoever passes it on

    bool Ok() const { return outcome.failure == RunFailure::None; }
    // Stopped by the operator: says nothing about the module, so it is neither programmed nor
    // failed.
    bool Interrupted() const { return outcome.failure == RunFailure::Stopped; }
};

// Units by result, counted alike by lcdprog-cli's summary and the station.
struct UnitCounts {
    int programmed = 0;
    int failed = 0;
    int interrupted = 0;

    void Add(const UnitResult& result);
    UnitCounts& operator+=(const UnitCounts& other);
};

// The unit a port is armed for: its serial number, when one was asked.
struct UnitIdentity {
    QString serial;
    bool reprogrammed = false;  // the serial was good before, and the operator confirmed
};

struct PortState {
    std::string device;
    std::string byId;
    std::string position;  // the station's name for the port ("" when it has none)
    bool ready = false;
    bool openFailed = false;
    std::string openError;
    bool goSent = false;
    bool ended = false;

    PortStep step = PortStep::Opening;
    bool waitingForPlug = false;  // PortStep::Waiting: for a new module (else for this one to go)
    bool waitingForArm = false;   // open, and no unit armed: its process waits for "go"
    bool armed = false;           // "go" went out for a unit that has no result yet
    bool armedOnce = false;
    UnitIdentity identity;  // of the unit armed
    bool unitOpen = false;  // a unit started and has no result yet
    int unit = 0;
    int block = 0;
    qint64 writeStartedMs = -1;  // on the supervisor's clock
    UnitCounts counts;
    // The result of the unit in place: gone once a new unit starts or the unit was taken away
    // (a lost port's stays until the next unit), so that nobody shows it over another unit.
    std::optional<UnitResult> last;
};

// Whole seconds until the port's unit is written (Seconds_Left of the link): nothing when the
// port is not writing or before the estimate means anything.
std::optional<int> Seconds_Left(const PortState& port, qint64 nowMs);

// Every call comes from the event loop, after the supervisor's own state has changed.
class PortObserver {
  public:
    virtual ~PortObserver() = default;
    // All ports opened or failed: "go" went out (started) or "quit" did (an open failure or a stop
    // before the start, when every port must open first).
    virtual void On_Opening_Done(bool /*started*/) {}
    virtual void On_Unit_Start(const PortState&) {}
    virtual void On_Block(const PortState&) {}
    virtual void On_Retry(const PortState&, int /*block*/, int /*attempt*/) {}
    virtual void On_Waiting(const PortState&) {}
    virtual void On_Result(const PortState&, const UnitResult&) {}
    // The unit's record, once it is in the record file.
    virtual void On_Recorded(const records::UnitRecord& /*record*/) {}
    // The record file went wrong, and what it means for the units ("...: le unità seguenti non
    // sono registrate"); said once per kind of failure.
    virtual void On_Log_Failed(const std::string& /*text*/) {}
    virtual void On_Port_Ended(const PortState&) {}
    // After every event and every process end.
    virtual void On_Change() {}
    virtual void On_All_Ended() {}
};

struct SupervisorSettings {
    QString program;  // lcdprog-cli, which runs the port process
    bool loop = false;
    // lcdprog-cli write: no port is written unless every port opened. The station starts each
    // port as soon as it is open: one unplugged adapter must not hold up a whole bench.
    bool allOrNothing = true;
    // The work order's quantity (0: none) and its good units before this write: a port is armed
    // only while the good units and the units under way stay within the quantity, and once the
    // good units reach it every port still waiting is stopped.
    int quantity = 0;
    int goodBefore = 0;
    // Asked whenever a port waits for its next unit: the unit's identity, or nothing to leave the
    // port waiting until the owner calls Arm_Waiting(). Unset: every unit goes at once.
    std::function<std::optional<UnitIdentity>(const PortState&)> nextUnit = {};
};

// Who programs what, the same in every record of one write.
struct RecordContext {
    QString station;  // "" for the host name
    QString project;  // the project file or image, absolute
    QString operatorName;
    QString workOrder;
};

class PortSupervisor {
  public:
    PortSupervisor(SupervisorSettings settings, const MemoryImageBytes& image);
    ~PortSupervisor();
    PortSupervisor(const PortSupervisor&) = delete;
    PortSupervisor& operator=(const PortSupervisor&) = delete;

    // Told of everything from now on, in the order added.
    void Add_Observer(PortObserver& observer) { observers_.push_back(&observer); }
    // Appends every unit to the record file at `path`, with unit numbers that count on per
    // station and project; a refusal says why.
    platform::Result<> Open_Record(const QString& path, RecordContext context);
    // One process per device, all started at once; `positions` names them in the records.
    void Start(const std::vector<std::string>& devices,
               const std::vector<std::string>& positions = {});
    // Arms every waiting port the quantity and the owner allow (see SupervisorSettings).
    void Arm_Waiting();
    // The window's Stop on every port (a port not started yet is told to quit).
    void Stop_All();
    void Stop_Port(const std::string& device);
    // Without waiting for a reset under way.
    void Terminate_All();

    const std::vector<std::unique_ptr<PortState>>& Ports() const { return ports_; }
    const std::string& Sha256() const { return sha256_; }
    qint64 Elapsed_Ms() const { return clock_.elapsed(); }
    bool Started() const { return started_; }
    bool Open_Failures() const { return openFailures_; }
    // A unit failed (a stopped one did not), or a port's process ended in error after the start.
    bool Any_Failed() const { return anyFailed_; }
    bool Log_Failed() const { return logFailed_; }
    bool All_Ended() const;
    // The work order's good units, those before this write included.
    int Good() const { return good_; }
    // The good units reached the quantity: no port is armed any more.
    bool Quantity_Reached() const { return settings_.quantity > 0 && good_ >= settings_.quantity; }

  private:
    struct Job;
    void Start_Process(Job& job);
    void Send(Job& job, const char* command);
    void Stop(Job& job);
    void On_Output(Job& job);
    void On_Event(Job& job, const QJsonObject& event);
    void On_Result(Job& job, const QJsonObject& event);
    void On_Finished(Job& job, int exitCode, QProcess::ExitStatus status);
    void After_Opening(Job& job);
    void Record(const PortState& port, const UnitResult& result);
    void Warn_Once(bool& said, const std::string& text);
    template <typename Call>
    void Notify(Call call) {
        for (PortObserver* o : observers_) {
            call(*o);
        }
    }

    const SupervisorSettings settings_;
    const MemoryImageBytes image_;
    std::vector<PortObserver*> observers_;
    std::string sha256_;
    std::vector<std::unique_ptr<Job>> jobs_;
    std::vector<std::unique_ptr<PortState>> ports_;
    std::unique_ptr<records::RecordFile> record_;  // null: no record is kept
    RecordContext context_;
    bool logFailed_ = false;
    bool appendFailed_ = false;  // said
    bool numberingFailed_ = false;
    int good_ = 0;
    bool started_ = false;  // "go" went to at least one port
    bool openingDone_ = false;
    bool stopRequested_ = false;
    bool openFailures_ = false;
    bool anyFailed_ = false;
    QElapsedTimer clock_;
};

}  // namespace lcdprog::cli
