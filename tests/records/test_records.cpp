// The unit record without a server: its line, the local file as a queue, the connection string
// and the report.

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "records/conninfo.h"
#include "records/record_file.h"
#include "records/report.h"
#include "records/unit_record.h"
#include "state/memory_image.h"

namespace lcdprog::records {
namespace {

QByteArray Read(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

void Write(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

UnitRecord Sample() {
    UnitRecord r;
    r.id = QStringLiteral("0b5c2a5e-8f0d-4c1e-9a57-3d2f1e0c9b8a");
    r.time = QDateTime::fromString(QStringLiteral("2026-05-04T10:22:31.123Z"), Qt::ISODateWithMs);
    r.station = QStringLiteral("linea1");
    r.position = QStringLiteral("A");
    r.unit = 41;
    r.device = QStringLiteral("/dev/ttyUSB0");
    r.project = QStringLiteral("/srv/job.lcdprj");
    r.imageSha256 = QStringLiteral("ab12");
    r.result = Outcome::Failed;
    r.failure = RunFailure::BlockFailed;
    r.block = 101;
    r.retries = 3;
    r.seconds = 4.1234;
    r.operatorName = QStringLiteral("Rossi");
    r.workOrder = QStringLiteral("C-7");
    r.serial = QStringLiteral("SN\"1");
    r.software = QStringLiteral("0.1.0");
    r.text = QStringLiteral("Scrittura fallita\r\nal blocco 101");
    return r;
}

const QByteArray kSampleLine =
    R"({"record":2,"id":"0b5c2a5e-8f0d-4c1e-9a57-3d2f1e0c9b8a","time":"2026-05-04T10:22:31.123Z",)"
    R"("station":"linea1","position":"A","unit":41,"device":"/dev/ttyUSB0","by_id":null,)"
    R"("project":"/srv/job.lcdprj","image_sha256":"ab12","result":"failed",)"
    R"("failure":"block-failed","block":101,"retries":3,"seconds":4.123,"operator":"Rossi",)"
    R"("order":"C-7","serial":"SN\"1","reprogrammed":false,"software":"0.1.0",)"
    R"("text":"Scrittura fallita al blocco 101"})"
    "\n";

// Every key in its place, the text on one line, and every line read back (today's and the
// version-1 lines of the files already on the stations) as the record it was.
TEST(UnitRecordTest, LinesAreWrittenInOrderAndReadBack) {
    EXPECT_EQ(Record_Line(Sample()), kSampleLine);
    const struct {
        QByteArray line;
        QByteArray again;  // the record read, written as a line again; or the refusal's text
    } rows[] = {
        {kSampleLine, kSampleLine},
        {R"({"time":"2026-05-04T10:00:00.000Z","port":"/dev/ttyS0","by_id":null,"unit":1,)"
         R"("image_sha256":"ab","result":"failed","failure":"port-lost","blocks":7,)"
         R"("retries":2,"seconds":1.5,"error":"Modulo non trovato\r\nverificare"})",
         R"({"record":1,"id":"","time":"2026-05-04T10:00:00.000Z","station":"","position":null,)"
         R"("unit":1,"device":"/dev/ttyS0","by_id":null,"project":"","image_sha256":"ab",)"
         R"("result":"failed","failure":"port-lost","block":null,"retries":2,"seconds":1.5,)"
         R"("operator":null,"order":null,"serial":null,"reprogrammed":false,"software":"",)"
         R"("text":"Modulo non trovato verificare"})"
         "\n"},
        {R"({"record":2,"time":"2026-05-04T10:00:00Z","result":"ok"})",
         R"(campo "id" mancante o non valido nella riga del registro)"},
        {R"({"record":2,"id":"0b5c2a5e-8f0d-4c1e-9a57-3d2f1e0c9b8a","time":"x","result":"ok"})",
         R"(campo "time" mancante o non valido nella riga del registro)"},
        {R"({"record":2,"id":"0b5c2a5e-8f0d-4c1e-9a57-3d2f1e0c9b8a",)"
         R"("time":"2026-05-04T10:00:00Z","result":"failed","failure":"melted"})",
         R"(campo "failure" mancante o non valido nella riga del registro)"},
        {R"({"record":2,"id":"0b5c2a5e)", "riga del registro non leggibile: non è JSON"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.line.toStdString());
        const platform::Result<UnitRecord> read = Parse_Record_Line(row.line);
        EXPECT_EQ(read ? Record_Line(*read) : QByteArray::fromStdString(read.Text()), row.again);
    }
}

// Two processes appending to one file (each with its own open file) never share a unit number;
// numbering goes on from the file's own lines when the counter beside it is lost; a line cut
// off by a crash is ended before the next record, and kept as it was.
// The record names the image by a hash written out by hand: it must be the SHA-256 any other
// tool computes, for images whose bytes exercise every position of a block.
TEST(UnitRecordTest, TheImageHashIsTheStandardSha256) {
    const struct {
        const char* name;
        std::uint8_t (*byte)(std::size_t address);
    } rows[] = {
        {"blank", [](std::size_t) -> std::uint8_t { return 0xFF; }},
        {"zero", [](std::size_t) -> std::uint8_t { return 0x00; }},
        {"address", [](std::size_t a) { return static_cast<std::uint8_t>(a ^ (a >> 8) * 31); }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        MemoryImageBytes image{};
        for (std::size_t a = 0; a < image.size(); ++a) {
            image[a] = row.byte(a);
        }
        const QByteArray expected =
            QCryptographicHash::hash(QByteArrayView(image.data(), image.size()),
                                     QCryptographicHash::Sha256)
                .toHex();
        EXPECT_EQ(Image_Sha256(image), expected.toStdString());
    }
}

TEST(RecordFileTest, UnitsCountOnAndACutLineIsEnded) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("job.log.jsonl"));
    Write(path, R"({"record":2,"id":"0b5c)");
    RecordFile first;
    RecordFile second;
    ASSERT_TRUE(first.Open(path));
    ASSERT_TRUE(second.Open(path));
    const QString station = QStringLiteral("linea1");
    const QString project = QStringLiteral("/srv/job.lcdprj");
    EXPECT_EQ(first.Take_Unit(station, project).Value(), 1);
    EXPECT_EQ(second.Take_Unit(station, project).Value(), 2);
    EXPECT_EQ(second.Take_Unit(QStringLiteral("linea2"), project).Value(), 1);
    UnitRecord r = Sample();
    r.station = station;
    r.project = project;
    r.unit = 2;
    ASSERT_TRUE(second.Append(r));
    ASSERT_TRUE(QFile::remove(Unit_Counter_Path(path)));
    EXPECT_EQ(first.Take_Unit(station, project).Value(), 3);
    EXPECT_EQ(Read(path), R"({"record":2,"id":"0b5c)"
                          "\n" +
                              Record_Line(r));
}

// The queue from the mark: complete lines only, a cut last line reported where it begins, a mark
// that no longer fits the file read from the start, a long queue taken in parts.
TEST(RecordFileTest, TheQueueHoldsCompleteLinesAfterTheMark) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("job.log.jsonl"));
    Write(path, "aa\nbbb\ncc");
    const struct {
        qint64 from, maxBytes;
        const char* expected;  // from, the lines (start-end:text), the cut line, more
    } rows[] = {
        {0, 1000, "from 0: 0-3:aa 3-7:bbb cut at 7"},
        {3, 1000, "from 3: 3-7:bbb cut at 7"},
        {7, 1000, "from 7: cut at 7"},
        {2, 1000, "from 0: 0-3:aa 3-7:bbb cut at 7"},
        {90, 1000, "from 0: 0-3:aa 3-7:bbb cut at 7"},
        {0, 2, "from 0: 0-3:aa more"},
    };
    for (const auto& row : rows) {
        const platform::Result<Queue> queue = Read_Queue(path, row.from, row.maxBytes);
        ASSERT_TRUE(queue);
        QString seen = QStringLiteral("from %1:").arg(queue->from);
        for (const QueuedLine& line : queue->lines) {
            seen += QStringLiteral(" %1-%2:%3").arg(line.start).arg(line.end).arg(line.text);
        }
        seen += queue->cutAt ? QStringLiteral(" cut at %1").arg(*queue->cutAt) : QString();
        seen += queue->more ? QStringLiteral(" more") : QString();
        EXPECT_EQ(seen.toStdString(), row.expected) << "from " << row.from;
    }
    EXPECT_TRUE(Read_Queue(path + "-none", 0).Value().lines.empty());
    EXPECT_EQ(Read_Sent_Mark(path).offset, 0);
    ASSERT_TRUE(Write_Sent_Mark(path, {7, QStringLiteral("host=h port=-1 dbname=d")}));
    EXPECT_EQ(Read_Sent_Mark(path).offset, 7);
    EXPECT_EQ(Read_Sent_Mark(path).target, QStringLiteral("host=h port=-1 dbname=d"));
}

TEST(ConninfoTest, KeywordsBecomeTheDatabaseSettingsAndAPasswordIsRefused) {
    const struct {
        const char* conninfo;
        const char* expected;  // host|port|database|user|options, or the refusal
    } rows[] = {
        {"host=/tmp/pg port=5433 dbname=impianto user=linea1",
         "/tmp/pg|5433|impianto|linea1|connect_timeout='5';tcp_user_timeout='10000';"
         "application_name='lcdprog'"},
        {"  host = 'db plant'  dbname='it\\'s' sslmode=require connect_timeout=2 ",
         "db plant|-1|it's||sslmode='require';connect_timeout='2';tcp_user_timeout='10000';"
         "application_name='lcdprog'"},
        {"options='-c a\\\\b'",
         "|-1|||options='-c a\\\\b';connect_timeout='5';"
         "tcp_user_timeout='10000';application_name='lcdprog'"},
        {"host=db password=segreta",
         "la password non va nella stringa di connessione: metterla in ~/.pgpass o nella "
         "variabile PGPASSWORD"},
        {"host", "stringa di connessione non valida: manca \"=\" dopo \"host\""},
        {"=db", "stringa di connessione non valida: manca il nome prima di \"=\""},
        {"dbname='abc",
         "stringa di connessione non valida: manca l'apice di chiusura del valore "
         "di \"dbname\""},
        {"application_name=a;b",
         "stringa di connessione non valida: il valore di \"application_name\" contiene \";\""},
        {"postgresql://db/impianto",
         "stringa di connessione non valida: la forma postgresql://... non è accettata: "
         "scrivere host=... dbname=... user=..."},
    };
    for (const auto& row : rows) {
        const platform::Result<ConnectionTarget> t =
            Parse_Conninfo(QString::fromUtf8(row.conninfo));
        const QString seen = t ? QStringList{t->host, QString::number(t->port), t->database,
                                             t->user, Connect_Options(*t)}
                                     .join(QLatin1Char('|'))
                               : QString::fromStdString(t.Text());
        EXPECT_EQ(seen.toStdString(), row.expected) << row.conninfo;
    }
}

// What the log shows of a connection string: never a password's value, however it is written,
// and nothing at all of a string that cannot be read (a URI may carry "user:password@").
TEST(ConninfoTest, TheLogSeesNoPassword) {
    const std::pair<const char*, const char*> rows[] = {
        {"host=db  dbname=x password=segreta", "host=db dbname=x password=(removed)"},
        {"password = 'se greta' user='it\\'s' sslpassword=segreta",
         "password=(removed) user='it\\'s' sslpassword=(removed)"},
        {"host=db password='segreta",
         "(connection string not shown: stringa di connessione non valida: manca l'apice di "
         "chiusura del valore di \"password\")"},
        {"postgresql://u:segreta@db/x",
         "(connection string not shown: stringa di connessione non valida: la forma "
         "postgresql://... non è accettata: scrivere host=... dbname=... user=...)"},
    };
    for (const auto& [conninfo, shown] : rows) {
        EXPECT_EQ(Without_Password(QString::fromUtf8(conninfo)).toStdString(), shown) << conninfo;
    }
}

UnitRecord Unit(const char* time, Outcome result, const char* serial, double seconds,
                std::optional<RunFailure> failure = RunFailure::None) {
    UnitRecord r;
    r.time = QDateTime::fromString(QString::fromLatin1(time), Qt::ISODate);
    r.result = result;
    r.failure = failure;
    r.serial = QString::fromLatin1(serial);
    r.seconds = seconds;
    r.workOrder = QString::fromLatin1(serial).startsWith(QLatin1Char('B')) ? "C-2" : "C-1";
    r.operatorName = QStringLiteral("Rossi");
    return r;
}

// Shifts in local time (the night one belongs to the day it began), a serial's first record
// deciding its first pass, failures by kind, and the bounds: each a figure a plant checks.
TEST(ReportTest, FiguresPerShiftAndPerWorkOrder) {
    const std::vector<UnitRecord> records = {
        Unit("2026-05-04T04:59:00Z", Outcome::Ok, "A1", 10),  // 05:59 local: the night before
        Unit("2026-05-04T05:00:00Z", Outcome::Failed, "A2", 20, RunFailure::BlockFailed),
        Unit("2026-05-04T05:10:00Z", Outcome::Ok, "A2", 10),
        Unit("2026-05-04T05:20:00Z", Outcome::Failed, "", 5, RunFailure::ModuleNotFound),
        Unit("2026-05-04T05:30:00Z", Outcome::Interrupted, "B1", 3, RunFailure::Stopped),
        Unit("2026-05-04T21:00:00Z", Outcome::Ok, "B1", 12),  // 22:00 local: the night shift
        Unit("2026-05-04T21:30:00Z", Outcome::Failed, "B2", 9, std::nullopt),
        Unit("2026-05-05T23:00:00Z", Outcome::Ok, "A9", 9),  // after --to
    };
    ReportOptions options;
    options.zone = QTimeZone(3600);
    options.to = QDateTime::fromString(QStringLiteral("2026-05-05T12:00:00Z"), Qt::ISODate);
    options.by = GroupBy::Shift;
    EXPECT_EQ(Table_Text(Report_Table(Make_Report(records, options), options.by)).toStdString(),
              "Turno             Unità  Buone  Fallite  Interrotte  non trovato  blocco fallito  "
              "non indicato  Resa 1ª passata %  Secondi medi  Unità/ora\n"
              "2026-05-03 22-06      1      1        0           0            0               0  "
              "           0              100,0          10,0      360,0\n"
              "2026-05-04 06-14      4      1        2           1            1               1  "
              "           0                0,0           9,5        7,9\n"
              "2026-05-04 22-06      2      1        1           0            0               0  "
              "           1               50,0          10,5        4,0\n"
              "Totale                7      3        3           1            1               1  "
              "           1               20,0           9,9        0,4\n");
    options.by = GroupBy::WorkOrder;
    options.from = QDateTime::fromString(QStringLiteral("2026-05-04T05:00:00Z"), Qt::ISODate);
    EXPECT_EQ(Table_Csv(Report_Table(Make_Report(records, options), options.by)).toStdString(),
              "Commessa;Unità;Buone;Fallite;Interrotte;non trovato;blocco fallito;non indicato;"
              "Resa 1ª passata %;Secondi medi;Unità/ora\r\n"
              "C-1;3;1;2;0;1;1;0;0,0;11,7;8,9\r\n"
              "C-2;3;1;1;1;0;0;1;0,0;8,0;0,2\r\n"
              "Totale;6;2;3;1;1;1;1;0,0;9,8;0,4\r\n");
}

}  // namespace
}  // namespace lcdprog::records
