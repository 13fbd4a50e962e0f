#pragma once

// The figures a plant asks of its records, grouped by day, shift, station, operator or work
// order: units, good, failed by kind, first-pass yield, mean seconds, units per hour. A function
// from records to a table, so that lcdprog-cli report (from the database or from record files)
// and the station's figures for its work order are the same numbers. QtCore only.

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QTimeZone>
#include <map>
#include <optional>
#include <vector>

#include "platform/result.h"
#include "records/unit_record.h"

namespace lcdprog::records {

enum class GroupBy { Day, Shift, Station, Operator, WorkOrder };

// "day", "shift", "station", "operator", "order": the words of --by.
std::optional<GroupBy> Parse_Group_By(const QString& word);

struct ReportOptions {
    GroupBy by = GroupBy::Day;
    QDateTime from;                                // records at or after (invalid: from the first)
    QDateTime to;                                  // records before (invalid: to the last)
    QString workOrder;                             // only this work order ("" for every one)
    QTimeZone zone = QTimeZone::systemTimeZone();  // where days and shifts begin
};

struct Figures {
    QString group;
    int units = 0;
    int good = 0;
    int failed = 0;
    int interrupted = 0;
    std::map<QString, int> failedByKind;  // by failure name; "" when the record does not say
    // A serial's first record in the group decides whether it passed first time; a record
    // without a serial is a unit of its own.
    int firstPasses = 0;
    int firstPassGood = 0;
    double seconds = 0;  // the units' programming time, summed
    QDateTime firstStart;
    QDateTime lastEnd;
};

// Percent; nothing when there is no unit.
std::optional<double> First_Pass_Yield(const Figures& f);
std::optional<double> Mean_Seconds(const Figures& f);
// Over the time from the first unit's start to the last unit's end, whichever position
// programmed them: what the line turned out, not what one position could.
std::optional<double> Units_Per_Hour(const Figures& f);

// The shift a moment falls in, named by the day it began: "2026-05-04 06-14", "2026-05-04
// 14-22", "2026-05-04 22-06" (the night from the 4th to the 5th), local time in `zone`.
QString Shift_Name(const QDateTime& time, const QTimeZone& zone);

// One Figures per group, in order (days and shifts by time, the others by name), then the
// total over every record chosen, named "Totale".
std::vector<Figures> Make_Report(const std::vector<UnitRecord>& records,
                                 const ReportOptions& options);

struct Table {
    QStringList header;
    std::vector<QStringList> rows;  // a cell is "" where a figure has no value
};
Table Report_Table(const std::vector<Figures>& figures, GroupBy by);
// Columns aligned for a terminal, "-" for a figure with no value.
QString Table_Text(const Table& table);
// For a spreadsheet set to Italian: ';' between cells, decimal comma, quotes where needed.
QString Table_Csv(const Table& table);

struct LoadedRecords {
    std::vector<UnitRecord> records;  // a UUID met again in another file is taken once
    QStringList problems;             // lines not read, one message per file
};
// Every record of the JSON lines files. A file that cannot be opened is refused.
platform::Result<LoadedRecords> Load_Record_Files(const QStringList& paths);

}  // namespace lcdprog::records
