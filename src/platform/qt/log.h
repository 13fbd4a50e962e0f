#pragma once

// What the programs tell a developer about their work, for a bug report: one category per layer,
// silent unless asked for (--verbose, or QT_LOGGING_RULES="lcdprog.*=true"), written to standard
// error. A line never carries a password: a connection string goes through
// records::Without_Password first.
//
// Each category is a function with its own static object, defined once by the language for
// every file that includes this header; that is what qCInfo() and qCWarning() call.

#include <QLoggingCategory>
#include <string>

namespace lcdprog::platform {

// Nothing below critical is on by default: an operator's terminal stays as it was, and a
// warning of ours is a failure to tell, not a remark for everybody.
inline constexpr QtMsgType kLogDefaultLevel = QtCriticalMsg;

// A programming run: port, detection, blocks, reset, the end and its failure kind.
inline const QLoggingCategory& Link_Log() {
    static const QLoggingCategory category("lcdprog.link", kLogDefaultLevel);
    return category;
}
// lcdprog-cli's commands and the supervisor of its ports' processes.
inline const QLoggingCategory& Cli_Log() {
    static const QLoggingCategory category("lcdprog.cli", kLogDefaultLevel);
    return category;
}
// The production station.
inline const QLoggingCategory& Station_Log() {
    static const QLoggingCategory category("lcdprog.station", kLogDefaultLevel);
    return category;
}
// Pictures imported and converted.
inline const QLoggingCategory& Picture_Log() {
    static const QLoggingCategory category("lcdprog.picture", kLogDefaultLevel);
    return category;
}
// Project files read and written.
inline const QLoggingCategory& Project_Log() {
    static const QLoggingCategory category("lcdprog.project", kLogDefaultLevel);
    return category;
}
// The unit records and the plant database.
inline const QLoggingCategory& Records_Log() {
    static const QLoggingCategory category("lcdprog.records", kLogDefaultLevel);
    return category;
}

// Every lcdprog.* line gets the time, and its category and level, so that a log sent back from
// a customer's PC reads in order; QT_MESSAGE_PATTERN still wins where it is set. Call first
// thing in main().
void Set_Log_Format();
// --verbose: every lcdprog.* category on, at every level. QT_LOGGING_RULES still has the last
// word on what it names.
void Enable_Verbose_Log();
// One line of `category` at `type`, for lines made elsewhere (the link's RunLog).
void Log_Line(const QLoggingCategory& category, QtMsgType type, const std::string& text);
// Whether this process was asked for the run's log: a port's process is then started with
// --verbose, so that the parent's choice reaches every port.
bool Run_Log_Wanted();

}  // namespace lcdprog::platform
