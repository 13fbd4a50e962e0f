#include "cli/records_commands.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <cstdio>
#include <optional>

#include "cli/cli_options.h"
#include "platform/qt/command_line.h"
#include "platform/qt/log.h"
#include "records/conninfo.h"
#include "records/plant_database.h"
#include "records/report.h"
#include "records/uploader.h"

namespace lcdprog::cli {
namespace {

using records::ConnectionTarget;

const char* const kReportHelp =
    R"(Uso: lcdprog-cli report [REGISTRO.jsonl ...] [--db CONNESSIONE] [--by GRUPPO]
                         [--from DATA] [--to DATA] [--order COMMESSA] [--csv]
Riassume i record dei moduli programmati, dai file di registro delle stazioni oppure dal
database dell'impianto: per ogni gruppo le unità, le buone, le fallite per tipo di guasto,
le interrotte, la resa alla prima passata, i secondi medi per unità e le unità all'ora;
l'ultima riga è il totale.

  --db CONNESSIONE  stringa di connessione libpq ("host=... dbname=... user=..."); la
                    password da ~/.pgpass o dalla variabile PGPASSWORD
  --by GRUPPO       day (predefinito), shift (turni 06-14, 14-22 e 22-06, ora locale; il
                    turno di notte è del giorno in cui comincia), station, operator, order
  --from DATA       dal giorno AAAA-MM-GG o dal momento AAAA-MM-GGThh:mm (ora locale)
  --to DATA         fino al giorno compreso, o fino al momento escluso
  --order COMMESSA  solo i record di questa commessa
  --csv             per un foglio di calcolo: ";" tra le celle e virgola decimale

Resa alla prima passata: di ogni matricola conta il primo record del gruppo; un record
senza matricola conta da solo. Unità all'ora: dall'inizio della prima unità del gruppo alla
fine dell'ultima.
Uscita: 0 fatto, 1 database non raggiungibile o in errore, 2 uso errato o file non leggibile.
)";

const char* const kDbHelp = R"(Uso: lcdprog-cli db init CONNESSIONE
     lcdprog-cli db send CONNESSIONE REGISTRO.jsonl ...
Il database PostgreSQL dell'impianto, dove le stazioni mandano i loro record.

  init  crea lo schema lcdprog (tabelle unit_records e schema_version) o lo aggiorna
        alla versione di questo programma; si può ripetere senza danno
  send  manda subito al database i record in attesa nei file di registro, come fa la
        stazione: ognuno una volta sola, anche se già inviato

CONNESSIONE è una stringa di connessione libpq, per esempio
"host=db.impianto dbname=produzione user=linea1"; la password non va nella stringa ma
in ~/.pgpass o nella variabile PGPASSWORD.
Uscita: 0 fatto, 1 database non raggiungibile o record non accettati, 2 uso errato.
)";

int Fail(const std::string& error, const char* command) {
    std::fprintf(stderr, "lcdprog-cli: %s\nPer l'aiuto: lcdprog-cli %s --help\n", error.c_str(),
                 command);
    return kExitUsage;
}

void Say(FILE* to, const QString& text) {
    std::fputs(text.toUtf8().constData(), to);
}

// The options and words after the command's name; the reason when they cannot be parsed.
platform::Result<> Parse(QCommandLineParser& parser, QList<QCommandLineOption> options,
                         const std::vector<std::string>& arguments) {
    options << QCommandLineOption(QStringList{"h", "help"}) << platform::Verbose_Option();
    QStringList line{QStringLiteral("lcdprog-cli")};
    for (const std::string& argument : arguments) {
        line << QString::fromStdString(argument);
    }
    const platform::Result<> parsed = platform::Parse_Options(parser, options, line);
    if (parsed && parser.isSet(platform::Verbose_Option())) {
        platform::Enable_Verbose_Log();
    }
    return parsed;
}

// "2026-05-04" (the day's start, or with `dayEnd` the next day's) or "2026-05-04T06:00", local
// time.
std::optional<QDateTime> Parse_Moment(const QString& text, bool dayEnd) {
    const QDate day = QDate::fromString(text, Qt::ISODate);
    if (day.isValid()) {
        return QDateTime(dayEnd ? day.addDays(1) : day, QTime(0, 0)).toUTC();
    }
    QString moment = text;
    moment.replace(QLatin1Char(' '), QLatin1Char('T'));
    const QDateTime at = QDateTime::fromString(moment, Qt::ISODate);
    return at.isValid() ? std::optional(at.toUTC()) : std::nullopt;
}

// The reason may be the server's answer as much as its absence (no schema, no permission).
int Database_Failed(const std::string& reason) {
    std::fprintf(stderr, "lcdprog-cli: database: %s\n", reason.c_str());
    return kExitFailed;
}

}  // namespace

int Run_Report(const std::vector<std::string>& arguments) {
    QCommandLineParser parser;
    const QCommandLineOption db("db", "", "CONNESSIONE"), by("by", "", "GRUPPO"),
        from("from", "", "DATA"), to("to", "", "DATA"), order("order", "", "COMMESSA"),
        csv("csv", "");
    if (const platform::Result<> parsed = Parse(parser, {db, by, from, to, order, csv}, arguments);
        !parsed) {
        return Fail(parsed.Text(), "report");
    }
    if (parser.isSet(QStringLiteral("help"))) {
        std::fputs(kReportHelp, stdout);
        return kExitOk;
    }
    records::ReportOptions options;
    if (parser.isSet(by)) {
        const std::optional<records::GroupBy> group = records::Parse_Group_By(parser.value(by));
        if (!group) {
            return Fail("--by non valido: \"" + parser.value(by).toStdString() +
                            "\" (day, shift, station, operator o order)",
                        "report");
        }
        options.by = *group;
    }
    for (const auto& [option, bound, dayEnd] :
         {std::tuple{&from, &options.from, false}, std::tuple{&to, &options.to, true}}) {
        if (parser.isSet(*option)) {
            const std::optional<QDateTime> moment = Parse_Moment(parser.value(*option), dayEnd);
            if (!moment) {
                return Fail("--" + option->names().front().toStdString() + " non valido: \"" +
                                parser.value(*option).toStdString() +
                                "\" (AAAA-MM-GG o AAAA-MM-GGThh:mm)",
                            "report");
            }
            *bound = *moment;
        }
    }
    options.workOrder = parser.value(order);
    const QStringList files = parser.positionalArguments();
    if (files.isEmpty() == !parser.isSet(db)) {
        return Fail(files.isEmpty() ? "mancano i record: indicare i file di registro oppure --db"
                                    : "indicare i file di registro oppure --db, non entrambi",
                    "report");
    }
    std::vector<records::UnitRecord> chosen;
    if (parser.isSet(db)) {
        const platform::Result<ConnectionTarget> target = records::Parse_Conninfo(parser.value(db));
        if (!target) {
            return Fail(target.Text(), "report");
        }
        records::PlantDatabase database(*target);
        auto read = database.Read_Records(options.from, options.to);
        if (!read) {
            return Database_Failed(read.Why().text);
        }
        chosen = std::move(read.Value());
    } else {
        auto loaded = records::Load_Record_Files(files);
        if (!loaded) {
            std::fprintf(stderr, "lcdprog-cli: %s\n", loaded.Why().text.c_str());
            return kExitUsage;
        }
        for (const QString& problem : loaded->problems) {
            Say(stderr, QStringLiteral("lcdprog-cli: attenzione: ") + problem + '\n');
        }
        chosen = std::move(loaded.Value().records);
    }
    const records::Table table =
        records::Report_Table(records::Make_Report(chosen, options), options.by);
    Say(stdout, parser.isSet(csv) ? records::Table_Csv(table) : records::Table_Text(table));
    return kExitOk;
}

int Run_Db(const std::vector<std::string>& arguments) {
    QCommandLineParser parser;
    if (const platform::Result<> parsed = Parse(parser, {}, arguments); !parsed) {
        return Fail(parsed.Text(), "db");
    }
    const QStringList words = parser.positionalArguments();
    if (parser.isSet(QStringLiteral("help"))) {
        std::fputs(kDbHelp, stdout);
        return kExitOk;
    }
    const QString action = words.value(0);
    if (action != QLatin1String("init") && action != QLatin1String("send")) {
        return Fail(action.isEmpty()
                        ? "manca l'azione: init o send"
                        : "azione sconosciuta: \"" + action.toStdString() + "\" (init o send)",
                    "db");
    }
    if (words.size() < 2) {
        return Fail("manca la stringa di connessione", "db");
    }
    const platform::Result<ConnectionTarget> target = records::Parse_Conninfo(words[1]);
    if (!target) {
        return Fail(target.Text(), "db");
    }
    if (action == QLatin1String("init")) {
        if (words.size() > 2) {
            return Fail("argomento in più: \"" + words[2].toStdString() + "\"", "db");
        }
        records::PlantDatabase database(*target);
        const platform::Result<int> before = database.Init_Schema();
        if (!before) {
            return Database_Failed(before.Why().text);
        }
        const QString where = records::Target_Text(*target);
        Say(stdout, *before == records::kSchemaVersion
                        ? QStringLiteral("Lo schema di %1 è già alla versione %2.\n")
                              .arg(where)
                              .arg(*before)
                    : *before == 0
                        ? QStringLiteral("Schema creato in %1, versione %2.\n")
                              .arg(where)
                              .arg(records::kSchemaVersion)
                        : QStringLiteral("Schema di %1 aggiornato dalla versione %2 alla %3.\n")
                              .arg(where)
                              .arg(*before)
                              .arg(records::kSchemaVersion));
        return kExitOk;
    }
    if (words.size() < 3) {
        return Fail("manca il file di registro da inviare", "db");
    }
    int status = kExitOk;
    for (const QString& file : words.mid(2)) {
        const records::UploadStatus sent = records::Uploader(file, *target).Send_Pending();
        for (const QString& notice : sent.notices) {
            Say(stderr, QStringLiteral("lcdprog-cli: %1: %2\n").arg(file, notice));
        }
        if (!sent.connected) {
            Say(stderr, QStringLiteral("lcdprog-cli: %1: %2\n").arg(file, Status_Text(sent)));
            status = kExitFailed;
        } else {
            Say(stdout, QStringLiteral("%1: %2 record inviati\n").arg(file).arg(sent.sent));
        }
        status = sent.notices.isEmpty() ? status : kExitFailed;
    }
    return status;
}

}  // namespace lcdprog::cli
