#include "link/run_events.h"

#include <array>
#include <utility>

namespace lcdprog {

namespace {

constexpr std::array<std::pair<RunFailure, const char*>, 7> kFailureNames{{
    {RunFailure::None, ""},
    {RunFailure::CompileRefused, "compile-refused"},
    {RunFailure::ModuleNotFound, "module-not-found"},
    {RunFailure::BlockFailed, "block-failed"},
    {RunFailure::ResetFailed, "reset-failed"},
    {RunFailure::Stopped, "stopped"},
    {RunFailure::PortLost, "port-lost"},
}};

}  // namespace

const char* Run_Failure_Name(RunFailure failure) {
    for (const auto& [kind, name] : kFailureNames) {
        if (kind == failure) {
            return name;
        }
    }
    return "";
}

std::optional<RunFailure> Parse_Run_Failure(std::string_view name) {
    for (const auto& [kind, text] : kFailureNames) {
        if (name == text) {
            return kind;
        }
    }
    return std::nullopt;
}

}  // namespace lcdprog
