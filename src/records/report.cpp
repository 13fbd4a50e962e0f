#include "records/report.h"

#include <QFile>
#include <QSet>
#include <algorithm>
#include <string>

#include "records/record_file.h"

namespace lcdprog::records {
namespace {

constexpr std::pair<GroupBy, const char*> kGroupWords[] = {
    {GroupBy::Day, "day"},           {GroupBy::Shift, "shift"},     {GroupBy::Station, "station"},
    {GroupBy::Operator, "operator"}, {GroupBy::WorkOrder, "order"},
};

// The column of each failure kind, in the order a run meets them.
constexpr std::pair<const char*, const char*> kKindColumns[] = {
    {"compile-refused", "non compilato"},
    {"module-not-found", "non trovato"},
    {"block-failed", "blocco fallito"},
    {"reset-failed", "reset fallito"},
    {"port-lost", "porta persa"},
    {"stopped", "fermato"},
    {"", "non indicato"},
};

QString Group_Of(const UnitRecord& r, const ReportOptions& o) {
    const QString none = QStringLiteral("(nessuno)");
    switch (o.by) {
        case GroupBy::Day:
            return r.time.toTimeZone(o.zone).date().toString(Qt::ISODate);
        case GroupBy::Shift:
            return Shift_Name(r.time, o.zone);
        case GroupBy::Station:
            return r.station.isEmpty() ? none : r.station;
        case GroupBy::Operator:
            return r.operatorName.isEmpty() ? none : r.operatorName;
        case GroupBy::WorkOrder:
            return r.workOrder.isEmpty() ? none : r.workOrder;
    }
    return none;
}

// The records must be in time order.
Figures Figures_Of(const QString& group, const std::vector<const UnitRecord*>& records) {
    Figures f;
    f.group = group;
    QSet<QString> serials;
    for (const UnitRecord* r : records) {
        const bool ok = r->result == Outcome::Ok;
        ++f.units;
        f.good += ok ? 1 : 0;
        if (r->result == Outcome::Failed) {
            ++f.failed;
            ++f.failedByKind[r->failure ? QString::fromLatin1(Run_Failure_Name(*r->failure))
                                        : QString()];
        }
        f.interrupted += r->result == Outcome::Interrupted ? 1 : 0;
        if (r->serial.isEmpty() || !serials.contains(r->serial)) {
            serials.insert(r->serial);
            ++f.firstPasses;
            f.firstPassGood += ok ? 1 : 0;
        }
        f.seconds += r->seconds;
        const QDateTime start = r->time.addMSecs(-qRound64(r->seconds * 1000));
        f.firstStart = f.firstStart.isValid() ? std::min(f.firstStart, start) : start;
        f.lastEnd = f.lastEnd.isValid() ? std::max(f.lastEnd, r->time) : r->time;
    }
    return f;
}

QString Decimal(std::optional<double> value) {
    return value ? QString::number(*value, 'f', 1).replace(QLatin1Char('.'), QLatin1Char(','))
                 : QString();
}

}  // namespace

std::optional<GroupBy> Parse_Group_By(const QString& word) {
    for (const auto& [by, name] : kGroupWords) {
        if (word == QLatin1String(name)) {
            return by;
        }
    }
    return std::nullopt;
}

std::optional<double> First_Pass_Yield(const Figures& f) {
    return f.firstPasses > 0 ? std::optional(100.0 * f.firstPassGood / f.firstPasses)
                             : std::nullopt;
}

std::optional<double> Mean_Seconds(const Figures& f) {
    return f.units > 0 ? std::optional(f.seconds / f.units) : std::nullopt;
}

std::optional<double> Units_Per_Hour(const Figures& f) {
    const qint64 ms = f.firstStart.isValid() ? f.firstStart.msecsTo(f.lastEnd) : 0;
    return ms > 0 ? std::optional(f.units * 3600000.0 / static_cast<double>(ms)) : std::nullopt;
}

QString Shift_Name(const QDateTime& time, const QTimeZone& zone) {
    const QDateTime local = time.toTimeZone(zone);
    const int hour = local.time().hour();
    const QDate day = hour < 6 ? local.date().addDays(-1) : local.date();
    const char* shift = hour >= 6 && hour < 14    ? "06-14"
                        : hour >= 14 && hour < 22 ? "14-22"
                                                  : "22-06";
    return day.toString(Qt::ISODate) + QLatin1Char(' ') + QLatin1String(shift);
}

std::vector<Figures> Make_Report(const std::vector<UnitRecord>& records,
                                 const ReportOptions& options) {
    std::vector<const UnitRecord*> chosen;
    for (const UnitRecord& r : records) {
        if ((!options.from.isValid() || r.time >= options.from) &&
            (!options.to.isValid() || r.time < options.to) &&
            (options.workOrder.isEmpty() || r.workOrder == options.workOrder)) {
            chosen.push_back(&r);
        }
    }
    std::stable_sort(chosen.begin(), chosen.end(),
                     [](const UnitRecord* a, const UnitRecord* b) { return a->time < b->time; });
    std::map<QString, std::vector<const UnitRecord*>> groups;
    for (const UnitRecord* r : chosen) {
        groups[Group_Of(*r, options)].push_back(r);
    }
    std::vector<Figures> report;
    for (const auto& [group, members] : groups) {
        report.push_back(Figures_Of(group, members));
    }
    report.push_back(Figures_Of(QStringLiteral("Totale"), chosen));
    return report;
}

Table Report_Table(const std::vector<Figures>& figures, GroupBy by) {
    static const char* const kGroupHeaders[] = {"Giorno", "Turno", "Stazione", "Operatore",
                                                "Commessa"};
    Table table;
    table.header << QString::fromUtf8(kGroupHeaders[static_cast<int>(by)])
                 << QStringLiteral("Unità") << QStringLiteral("Buone") << QStringLiteral("Fallite")
                 << QStringLiteral("Interrotte");
    std::vector<QString> kinds;
    for (const auto& [kind, label] : kKindColumns) {
        const bool seen = std::any_of(figures.begin(), figures.end(), [&](const Figures& f) {
            return f.failedByKind.count(QLatin1String(kind)) > 0;
        });
        if (seen) {
            kinds.emplace_back(QLatin1String(kind));
            table.header << QString::fromUtf8(label);
        }
    }
    table.header << QStringLiteral("Resa 1ª passata %") << QStringLiteral("Secondi medi")
                 << QStringLiteral("Unità/ora");
    for (const Figures& f : figures) {
        QStringList row{f.group, QString::number(f.units), QString::number(f.good),
                        QString::number(f.failed), QString::number(f.interrupted)};
        for (const QString& kind : kinds) {
            const auto found = f.failedByKind.find(kind);
            row << QString::number(found == f.failedByKind.end() ? 0 : found->second);
        }
        row << Decimal(First_Pass_Yield(f)) << Decimal(Mean_Seconds(f))
            << Decimal(Units_Per_Hour(f));
        table.rows.push_back(row);
    }
    return table;
}

QString Table_Text(const Table& table) {
    std::vector<qsizetype> widths;
    for (const QString& cell : table.header) {
        widths.push_back(cell.size());
    }
    for (const QStringList& row : table.rows) {
        for (qsizetype c = 0; c < row.size(); ++c) {
            widths[static_cast<std::size_t>(c)] = std::max(widths[static_cast<std::size_t>(c)],
                                                           std::max<qsizetype>(row[c].size(), 1));
        }
    }
    QString text;
    const auto line = [&](const QStringList& cells) {
        QStringList padded;
        for (qsizetype c = 0; c < cells.size(); ++c) {
            const QString cell = cells[c].isEmpty() ? QStringLiteral("-") : cells[c];
            const int width = static_cast<int>(widths[static_cast<std::size_t>(c)]);
            // The group's name reads from the left, figures line up on the right.
            padded << (c == 0 ? cell.leftJustified(width) : cell.rightJustified(width));
        }
        text += padded.join(QStringLiteral("  ")).trimmed() + QLatin1Char('\n');
    };
    line(table.header);
    for (const QStringList& row : table.rows) {
        line(row);
    }
    return text;
}

QString Table_Csv(const Table& table) {
    QString text;
    const auto line = [&](const QStringList& cells) {
        QStringList quoted;
        for (QString cell : cells) {
            if (cell.contains(QLatin1Char(';')) || cell.contains(QLatin1Char('"')) ||
                cell.contains(QLatin1Char('\n')) || cell.contains(QLatin1Char('\r'))) {
                cell = QLatin1Char('"') + cell.replace(QLatin1String("\""), QLatin1String("\"\"")) +
                       QLatin1Char('"');
            }
            quoted << cell;
        }
        text += quoted.join(QLatin1Char(';')) + QStringLiteral("\r\n");
    };
    line(table.header);
    for (const QStringList& row : table.rows) {
        line(row);
    }
    return text;
}

platform::Result<LoadedRecords> Load_Record_Files(const QStringList& paths) {
    LoadedRecords loaded;
    QSet<QString> ids;
    for (const QString& path : paths) {
        QFile file(path);
        if (platform::Result<> opened = Open_To_Read(file); !opened) {
            return opened.Why();
        }
        int lineNumber = 0;
        QStringList bad;
        while (!file.atEnd()) {
            const QByteArray line = file.readLine();
            ++lineNumber;
            if (line.trimmed().isEmpty()) {
                continue;
            }
            platform::Result<UnitRecord> r = Parse_Record_Line(line);
            if (!r) {
                bad << QString::number(lineNumber);
            } else if (r->id.isEmpty() || !ids.contains(r->id)) {
                ids.insert(r->id);
                loaded.records.push_back(std::move(r.Value()));
            }
        }
        if (!bad.isEmpty()) {
            loaded.problems << QStringLiteral("%1: righe non lette (non sono record): %2")
                                   .arg(path, bad.join(QStringLiteral(", ")));
        }
    }
    return loaded;
}

}  // namespace lcdprog::records
