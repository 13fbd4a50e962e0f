#pragma once

namespace lcdprog::platform {

class ProgramControl {
  public:
    virtual ~ProgramControl() = default;
    // Ends the program at once: no other window is shown and nothing else runs.
    virtual void EndNow() = 0;
};

}  // namespace lcdprog::platform
