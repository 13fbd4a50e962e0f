#pragma once

// The record of one unit: what was programmed, where, by whom, and how it ended. One JSON line
// per unit and attempt in the station's local file, one row in the plant database; every field
// is described in docs/RECORDS.md. QtCore only.

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <optional>
#include <vector>

#include "link/run_events.h"
#include "platform/result.h"

namespace lcdprog::records {

// The version a new record is written in.
constexpr int kRecordVersion = 2;

enum class Outcome { Ok, Failed, Interrupted };

// "ok", "failed", "interrupted": the words of the record's "result".
const char* Outcome_Name(Outcome outcome);
std::optional<Outcome> Parse_Outcome(const QString& word);

struct UnitRecord {
    int record = kRecordVersion;  // the version the line was written in (1: before the UUID)
    QString id;                   // a UUID, lower case, no braces; empty in a version-1 line
    QDateTime time;               // when the result arrived, UTC
    QString station;
    QString position;  // the station's name for the port ("" when it has none)
    int unit = 0;      // counts on across starts, per station and project
    QString device;
    QString byId;  // the /dev/serial/by-id name, "" when there is none
    QString project;
    QString imageSha256;
    Outcome result = Outcome::Failed;
    // None for a unit programmed; nothing when the line does not say (version 1).
    std::optional<RunFailure> failure;
    std::optional<int> block;  // the block the run failed or was stopped at
    int retries = 0;
    double seconds = 0;
    QString operatorName;
    QString workOrder;
    QString serial;             // "" when none was scanned
    bool reprogrammed = false;  // the operator confirmed programming a good serial again
    QString software;           // the program's version
    QString text;               // what the operator was told, on one line
};

// The record's texts, each with its column in the plant database and its name in a message
// ("l'operatore contiene ...").
struct TextField {
    const char* column;
    const char* what;
    QString UnitRecord::*member;
};
const std::vector<TextField>& Text_Fields();

// A record with what every record has from the start: a new UUID, the time now, this host as
// the station, this program's version.
UnitRecord New_Record();
// The host name, the station's name until one is set.
QString Default_Station_Name();
// "\r\n", "\n" and a lone "\r" become a blank: a record is one line of text.
QString One_Line(const QString& text);

// The record as one compact JSON line (with its '\n'), every key always there, in the order of
// docs/RECORDS.md.
QByteArray Record_Line(const UnitRecord& record);
// A line back into a record, version 1 or 2 (later versions are read for the fields they share).
// A refusal says which field is missing or wrong.
platform::Result<UnitRecord> Parse_Record_Line(const QByteArray& line);

// PostgreSQL text cannot hold a NUL character: a text that has one is refused before it is
// sent, never cut short on the way. `what` names the field in the message ("l'operatore").
platform::Result<> Check_Storable(const QString& what, const QString& text);
// The same for every text of a record.
platform::Result<> Check_Storable(const UnitRecord& record);

}  // namespace lcdprog::records
