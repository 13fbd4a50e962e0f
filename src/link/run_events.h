#pragma once

// What a programming run reports while it goes on. The link is the one producer; whoever shows or
// records a run (the serial window's controls and status line, the command line's port process,
// the bench, the tests) subscribes, and learns every step from here, never from a control or a
// message text.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lcdprog {

enum class RunPhase { Detection, Writing, Reset };

enum class RunFailure {
    None,            // written, and the reset acknowledged
    CompileRefused,  // a picture could not be compiled: the module was not contacted
    ModuleNotFound,  // detection went unanswered
    BlockFailed,     // block `block` was not acknowledged (a reset followed)
    ResetFailed,     // every block written, the reset went unanswered
    Stopped,         // the operator stopped the run at block `block`; no reset followed
    PortLost,        // the serial control closed the port under the run (device gone)
};

// The kind's name wherever a run's outcome is written down (the port process's lines, the unit
// record, the plant database): "compile-refused", "module-not-found", "block-failed",
// "reset-failed", "stopped", "port-lost"; "" for None.
const char* Run_Failure_Name(RunFailure failure);
// The kind a name stands for ("" is None); nothing for a name no kind has.
std::optional<RunFailure> Parse_Run_Failure(std::string_view name);

struct RunResult {
    RunFailure failure = RunFailure::CompileRefused;
    // The block the run failed or was stopped at (from 0), or the blocks written (512 when the
    // write was complete); 0 when the write never started.
    int block = 0;
    bool resetSent = false;  // the reset exchange ran
    bool resetOk = false;    // ... and the module acknowledged it
    // The first message the run showed the operator ("" when it showed none).
    std::string text;
};

// One subscriber. Every method has an empty default, so a subscriber takes only what it needs.
class RunObserver {
  public:
    virtual ~RunObserver() = default;
    // A step begins: before its first packet.
    virtual void Phase_Changed(RunPhase phase) { (void)phase; }
    // Block k (from 0) is about to go out: before its first attempt, and before the one pass of
    // the event loop that lets a Stop click in.
    virtual void Block_Started(int k) { (void)k; }
    // Attempt n (1 to 3) of the current exchange, before its packet is written.
    virtual void Attempt(int n) { (void)n; }
    // A request has been written to the line (whether or not the write succeeded).
    virtual void Packet_Sent(std::string_view bytes) { (void)bytes; }
    // The wait for the reply ended, on a whole reply or on the deadline: what had arrived (may be
    // nothing), and whether it is the acknowledgement the step waited for. Not reported when a
    // Stop ended the wait.
    virtual void Reply_Received(std::string_view bytes, bool valid) {
        (void)bytes;
        (void)valid;
    }
    // The whole run ended (Run_Programming, Write_Memory_Image); the single steps do not report
    // it.
    virtual void Run_Ended(const RunResult& result) { (void)result; }
};

// The feed a run is given: every event goes to each subscriber in the order they subscribed.
class RunFeed final : public RunObserver {
  public:
    void Subscribe(RunObserver& observer) { observers_.push_back(&observer); }
    void Unsubscribe(RunObserver& observer) { std::erase(observers_, &observer); }

    void Phase_Changed(RunPhase phase) override {
        for (RunObserver* o : observers_) {
            o->Phase_Changed(phase);
        }
    }
    void Block_Started(int k) override {
        for (RunObserver* o : observers_) {
            o->Block_Started(k);
        }
    }
    void Attempt(int n) override {
        for (RunObserver* o : observers_) {
            o->Attempt(n);
        }
    }
    void Packet_Sent(std::string_view bytes) override {
        for (RunObserver* o : observers_) {
            o->Packet_Sent(bytes);
        }
    }
    void Reply_Received(std::string_view bytes, bool valid) override {
        for (RunObserver* o : observers_) {
            o->Reply_Received(bytes, valid);
        }
    }
    void Run_Ended(const RunResult& result) override {
        for (RunObserver* o : observers_) {
            o->Run_Ended(result);
        }
    }

  private:
    std::vector<RunObserver*> observers_;
};

}  // namespace lcdprog
