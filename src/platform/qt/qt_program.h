#pragma once

#include "platform/program.h"

namespace lcdprog::platform {

// Ends the process with exit status 1 right away (see EndNow).
class QtProgram final : public ProgramControl {
  public:
    void EndNow() override;
};

}  // namespace lcdprog::platform
