#pragma once

// The production station's lock over the window that holds the project: the main window
// implements it and app/ hands it to the station, so that neither knows the other's code.

#include <functional>

namespace lcdprog::platform {

class ProjectLock {
  public:
    virtual ~ProjectLock() = default;
    // Every command that would change the project is off and the window is covered by a notice,
    // so that a shift cannot change the job by mistake. The window then refuses to close (the
    // program would end with it) and calls `closeRefused`, for whoever locked it to say why.
    virtual void LockProject(std::function<void()> closeRefused) = 0;
    // Puts back exactly what was enabled before; the window may close again.
    virtual void UnlockProject() = 0;
};

}  // namespace lcdprog::platform
