#pragma once

// The record of each unit: one JSON line per unit and attempt, appended to a file that is never
// truncated, so a restarted line keeps its history.

#include <QJsonObject>
#include <string>

#include "platform/result.h"

namespace lcdprog::cli {

// The object as one compact JSON line (with its '\n'), keys in reading order: what happened,
// when, where, then the figures; QJsonDocument would sort them by name.
QByteArray Json_Line(const QJsonObject& object);

class UnitLog {
  public:
    UnitLog() = default;
    ~UnitLog();
    UnitLog(const UnitLog&) = delete;
    UnitLog& operator=(const UnitLog&) = delete;

    // Opens (creating it if needed) for appending. A file whose last line was cut off (power
    // lost in the middle of a write by some other program) gets its line ended first, so the
    // next record starts on a line of its own.
    platform::Result<> Open(const std::string& path);

    // One write() of the whole line, then fdatasync(): a crash leaves the line whole or absent.
    // Nothing is written before Open.
    platform::Result<> Append(const QJsonObject& record);

  private:
    int fd_ = -1;
    std::string path_;
};

}  // namespace lcdprog::cli
