// The plant database against a real PostgreSQL server, started once for every case in this
// program (ctest runs the program as one test, beside the others).

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QUuid>
#include <filesystem>
#include <fstream>
#include <set>

#include "cli/records_commands.h"
#include "pg_server.h"
#include "records/plant_database.h"
#include "records/record_file.h"
#include "records/report.h"
#include "records/uploader.h"
#include "support/processes.h"

namespace lcdprog::records {
namespace {

PgServer* server = nullptr;

class ServerEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        server = new PgServer;
        const QString failed = server->Create();
        ASSERT_TRUE(failed.isEmpty()) << failed.toStdString();
        qputenv("PGPASSFILE", QFile::encodeName(server->Password_File()));
        qunsetenv("PGPASSWORD");
        // Test set-up only: the program itself never makes a database.
        QSqlDatabase admin = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), "admin");
        const ConnectionTarget target = Parse_Conninfo(server->Conninfo("postgres")).Value();
        admin.setHostName(target.host);
        admin.setUserName(target.user);
        admin.setDatabaseName(target.database);
        ASSERT_TRUE(admin.open()) << admin.lastError().text().toStdString();
        for (const char* name : {"impianto", "vuoto", "nuovo"}) {
            ASSERT_TRUE(QSqlQuery(admin).exec(QStringLiteral("CREATE DATABASE ") + name));
        }
        admin.close();
        ASSERT_EQ(PlantDatabase(Plant()).Init_Schema().Value(), 0);
    }
    void TearDown() override {
        EXPECT_EQ(server->Stop().toStdString(), "");
        delete server;
    }
    static ConnectionTarget Plant() { return Parse_Conninfo(server->Conninfo("impianto")).Value(); }
};

ConnectionTarget Plant() {
    return ServerEnvironment::Plant();
}

struct Job {
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("job.log.jsonl"));
    std::vector<UnitRecord> records;

    UnitRecord& Add(const std::function<void(UnitRecord&)>& change = {}) {
        RecordFile file;
        EXPECT_TRUE(file.Open(path));
        UnitRecord r = New_Record();
        r.unit = static_cast<int>(records.size()) + 1;
        r.device = QStringLiteral("/dev/ttyUSB0");
        r.result = Outcome::Ok;
        r.failure = RunFailure::None;
        r.seconds = 6.25;
        r.workOrder = QStringLiteral("C-") + QUuid::createUuid().toString(QUuid::Id128);
        if (change) {
            change(r);
        }
        EXPECT_TRUE(file.Append(r));
        records.push_back(r);
        return records.back();
    }
    QByteArray Bytes() const {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
};

// How many times the database holds each of `records`, in their order.
std::vector<int> Copies_Of(const std::vector<UnitRecord>& records) {
    PlantDatabase database(Plant());
    const auto stored = database.Read_Records({}, {});
    std::vector<int> copies;
    for (const UnitRecord& r : records) {
        copies.push_back(static_cast<int>(
            std::count_if(stored->begin(), stored->end(), [&](const UnitRecord& s) {
                return s.id == r.id && Record_Line(s) == Record_Line(r);
            })));
    }
    return copies;
}

// The pass sent `sent` records, and passed over the one line at `at` for `why`.
void Expect_Passed_Over(const UploadStatus& status, int sent, qint64 at, const char* why) {
    EXPECT_EQ(status.sent, sent);
    EXPECT_EQ(status.notices, QStringList{QStringLiteral("la riga dal byte %1 non è stata inviata "
                                                         "(%2): resta solo nel registro locale")
                                              .arg(at)
                                              .arg(QString::fromUtf8(why))});
}

// The server is stopped after the second record of a pass and started again: the records
// confirmed stay sent, the others wait in the file, and the next pass sends exactly those.
// Sending everything again (a lost mark) stores nothing twice.
TEST(PlantDatabaseTest, AServerStoppedMidJobEndsWithEveryRecordOnce) {
    Job job;
    for (int i = 0; i < 6; ++i) {
        job.Add();
    }
    Uploader uploader(job.path, Plant());
    UploadStatus status = uploader.Send_Pending([](int sent) {
        if (sent == 2) {
            EXPECT_EQ(server->Stop().toStdString(), "");
        }
    });
    EXPECT_EQ(Status_Text(status).toStdString(),
              "Database: non raggiungibile (il server ha chiuso la connessione (fermato o "
              "riavviato)), 4 record in attesa");
    EXPECT_EQ(status.sent, 2);
    status = uploader.Send_Pending();
    EXPECT_EQ(status.reason.toStdString(),
              "il server " + server->Folder().toStdString() + " non risponde");
    ASSERT_EQ(server->Start().toStdString(), "");
    status = uploader.Send_Pending();
    EXPECT_EQ(Status_Text(status).toStdString(), "Database: collegato");
    EXPECT_EQ(status.sent, 4);
    EXPECT_EQ(Copies_Of(job.records), std::vector<int>(6, 1));

    ASSERT_TRUE(Write_Sent_Mark(job.path, {}));
    EXPECT_EQ(Uploader(job.path, Plant()).Send_Pending().sent, 6);
    EXPECT_EQ(Copies_Of(job.records), std::vector<int>(6, 1));
    EXPECT_EQ(Read_Sent_Mark(job.path).offset, job.Bytes().size());
}

// Whatever keeps the server away, the operator reads why, in Italian, with the records counted,
// and the file and its mark stay exactly as they were.
TEST(PlantDatabaseTest, AServerOutOfReachLeavesTheRecordsWaiting) {
    const QString plant = server->Conninfo("impianto");
    const struct {
        QString conninfo;
        const char* password;  // PGPASSWORD, when set
        const char* driver;
        std::string reason;
    } rows[] = {
        {plant, "sbagliata", "QPSQL", "password errata per l'utente lcdprog"},
        {"host=127.0.0.1 port=9 dbname=impianto user=lcdprog", nullptr, "QPSQL",
         "il server 127.0.0.1:9 non risponde"},
        {server->Conninfo("nessuno"), nullptr, "QPSQL",
         "il database nessuno non esiste sul server"},
        {server->Conninfo("vuoto"), nullptr, "QPSQL",
         "lo schema non c'è: crearlo con lcdprog-cli db init"},
        {plant, nullptr, "QNOSUCH",
         "manca il driver QNOSUCH di Qt per PostgreSQL (pacchetto libqt6sql6-psql)"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.reason);
        Job job;
        job.Add();
        job.Add();
        const QByteArray before = job.Bytes();
        if (row.password != nullptr) {
            qputenv("PGPASSWORD", row.password);
        }
        const UploadStatus status = Uploader(job.path, Parse_Conninfo(row.conninfo).Value(),
                                             QString::fromLatin1(row.driver))
                                        .Send_Pending();
        qunsetenv("PGPASSWORD");
        EXPECT_FALSE(status.connected);
        EXPECT_EQ(status.reason.toStdString(), row.reason);
        EXPECT_EQ(status.pending, 2);
        EXPECT_EQ(job.Bytes(), before);
        EXPECT_FALSE(QFile::exists(Sent_Mark_Path(job.path)));
    }
}

// A line cut off by a crash is reported once and never sent; the complete lines go up; once a
// later record has ended it, the cut line is a line that is no record, reported and passed over.
TEST(PlantDatabaseTest, ACutLineIsReportedAndTheCompleteOnesGoUp) {
    Job job;
    job.Add();
    job.Add();
    const qint64 cut = job.Bytes().size();
    QFile file(job.path);
    ASSERT_TRUE(file.open(QIODevice::Append));
    file.write(Record_Line(New_Record()).left(40));
    file.close();
    Uploader uploader(job.path, Plant());
    UploadStatus status = uploader.Send_Pending();
    EXPECT_EQ(status.sent, 2);
    EXPECT_EQ(status.notices,
              QStringList{QStringLiteral("il registro finisce con una riga incompleta (dal byte "
                                         "%1), non inviata: resta solo nel registro locale")
                              .arg(cut)});
    EXPECT_TRUE(uploader.Send_Pending().notices.isEmpty());
    job.Add();
    Expect_Passed_Over(uploader.Send_Pending(), 1, cut,
                       "riga del registro non leggibile: non è JSON");
    EXPECT_EQ(Copies_Of(job.records), std::vector<int>(3, 1));
}

// Texts an operator or a barcode reader may type reach the table exactly as typed, never as
// part of a statement; a NUL, which PostgreSQL text cannot hold, is refused by name and the
// record stays in the file.
TEST(PlantDatabaseTest, HostileTextsAreStoredExactlyOrRefused) {
    Job job;
    job.Add([](UnitRecord& r) {
        r.operatorName = QStringLiteral("'); DROP TABLE lcdprog.unit_records; --");
        r.workOrder = QStringLiteral("\"C-1\"; DELETE FROM lcdprog.schema_version");
        r.serial = QStringLiteral("? :serial $1 \\' \\\\ \t\x1d");
    });
    job.Add([](UnitRecord& r) {
        r.serial = QString(9999, QLatin1Char('Z')) + QStringLiteral("é");
        r.operatorName = QString(10000, QLatin1Char(';'));
        r.text = QStringLiteral("E'\\x00' $$ $tag$");
    });
    const qint64 nulAt = job.Bytes().size();
    job.Add([](UnitRecord& r) { r.operatorName = QStringLiteral("Ros") + QChar(0) + "si"; });
    Expect_Passed_Over(Uploader(job.path, Plant()).Send_Pending(), 2, nulAt,
                       "l'operatore contiene un carattere NUL, che il database non può "
                       "conservare");
    EXPECT_EQ(Copies_Of(job.records), (std::vector<int>{1, 1, 0}));
    EXPECT_TRUE(Uploader(job.path, Plant()).Send_Pending().connected);  // the schema is whole
}

// The report from the database is the report from the file it was fed from; lcdprog-cli db
// init makes a schema once and leaves it after; db send and report --db run through the
// command line's own parsing.
TEST(PlantDatabaseTest, TheCommandLineInitsSendsAndReports) {
    Job job;
    const QString order = job.Add().workOrder;
    job.Add([&](UnitRecord& r) {
        r.workOrder = order;
        r.result = Outcome::Failed;
        r.failure = RunFailure::ModuleNotFound;
    });
    const std::string plant = server->Conninfo("impianto").toStdString();
    const std::string fresh = server->Conninfo("nuovo").toStdString();
    EXPECT_EQ(cli::Run_Db({"init", fresh}), 0);
    EXPECT_EQ(cli::Run_Db({"init", fresh}), 0);
    EXPECT_EQ(
        PlantDatabase(Parse_Conninfo(QString::fromStdString(fresh)).Value()).Init_Schema().Value(),
        kSchemaVersion);
    EXPECT_EQ(cli::Run_Db({"send", plant, job.path.toStdString()}), 0);
    EXPECT_EQ(cli::Run_Report({"--db", plant, "--by", "operator", "--order", order.toStdString()}),
              0);
    EXPECT_EQ(cli::Run_Report({"--db", plant, job.path.toStdString()}), 2);

    ReportOptions options;
    options.by = GroupBy::Station;
    options.workOrder = order;
    const auto stored = PlantDatabase(Plant()).Read_Records({}, {});
    EXPECT_EQ(Table_Text(Report_Table(Make_Report(*stored, options), options.by)),
              Table_Text(Report_Table(Make_Report(job.records, options), options.by)));
}

// lcdprog-cli as a station's script runs it: the exit status, and what it said (standard output,
// then standard error).
int Cli(const test::TempFolder& dir, std::vector<std::string> args, std::string& said) {
    args.insert(args.begin(), test::Bin_Folder() + "/lcdprog-cli");
    test::ChildProcess cli(args, dir / "cli.err");
    said.clear();
    while (const auto line = cli.Next_Line(60000)) {
        said += *line + "\n";
    }
    const int status = cli.Wait_Exit(60000).value_or(-1);
    said += test::Read_Whole_File(dir / "cli.err");
    return status;
}

// A job on two stations (lcdprog-cli write with a record file each) while the server is stopped
// and started again between its units: every unit reaches the one table exactly once, with its
// operator, work order, serial and failure kind; what waited is said, and goes up with the
// station's next unit; the report gives the job's counts and first-pass yield. The password,
// given as PGPASSWORD, is in none of the files.
TEST(PlantDatabaseTest, AJobOnTwoStationsEndsUpInTheTableOnce) {
    test::TempFolder dir;
    std::ofstream(dir / "job.bin") << std::string(65536, '\x5A');
    test::SimProcess good(dir, test::Unpaced(), "good", false);
    test::SimProcess bad(dir, test::Unpaced({"--fault", "badsum:block=3"}), "bad", false);
    ASSERT_TRUE(good.Next_Device() && bad.Next_Device());
    const std::string order = QUuid::createUuid().toString(QUuid::Id128).toStdString();
    const std::string plant = server->Conninfo("impianto").toStdString();
    qputenv("PGPASSWORD", PgServer::kPassword);
    qunsetenv("PGPASSFILE");
    const auto unit = [&](const std::string& station, const test::SimProcess& sim,
                          const std::string& serial, std::string& said) {
        return Cli(
            dir,
            {"write", dir / "job.bin", "--port", sim.Link(), "--log", dir / (station + ".jsonl"),
             "--station", station, "--operator", station == "linea1" ? "Rossi" : "Bianchi",
             "--order", order, "--serial", serial, "--db", plant},
            said);
    };
    std::string said;
    EXPECT_EQ(unit("linea1", good, "SN1", said), 0) << said;
    ASSERT_EQ(server->Stop().toStdString(), "");
    EXPECT_EQ(unit("linea2", bad, "SN2", said), 1) << said;
    EXPECT_NE(said.find("lcdprog-cli: Database: non raggiungibile (il server " +
                        server->Folder().toStdString() +
                        " non risponde), 1 record in attesa: " + "restano nel registro " +
                        dir / "linea2.jsonl" + " (li invia lcdprog-cli db send)\n"),
              std::string::npos)
        << said;
    EXPECT_EQ(unit("linea2", good, "SN2", said), 0) << said;
    ASSERT_EQ(server->Start().toStdString(), "");
    EXPECT_EQ(unit("linea1", good, "SN1", said), 2) << said;
    EXPECT_NE(said.find("lcdprog-cli: la matricola SN1 è già stata programmata con successo nella "
                        "commessa " +
                        order + " (unità 1 del "),
              std::string::npos)
        << said;
    EXPECT_NE(
        said.find("): per programmarla di nuovo aggiungere --reprogram; nessun modulo è stato "
                  "scritto.\n"),
        std::string::npos)
        << said;
    EXPECT_EQ(unit("linea2", good, "SN4", said), 0) << said;
    EXPECT_NE(said.find("Database: collegato\n"), std::string::npos) << said;

    const auto loaded = Load_Record_Files({QString::fromStdString(dir / "linea1.jsonl"),
                                           QString::fromStdString(dir / "linea2.jsonl")});
    ASSERT_EQ(loaded->records.size(), 4u);
    EXPECT_EQ(Copies_Of(loaded->records), std::vector<int>(4, 1));
    QStringList seen;
    for (const UnitRecord& r : loaded->records) {
        seen << QStringList{r.station, r.operatorName, r.serial,
                            QString::fromLatin1(Run_Failure_Name(r.failure.value()))}
                    .join('/');
    }
    EXPECT_EQ(seen, (QStringList{"linea1/Rossi/SN1/", "linea2/Bianchi/SN2/block-failed",
                                 "linea2/Bianchi/SN2/", "linea2/Bianchi/SN4/"}));
    EXPECT_EQ(Cli(dir, {"report", "--db", plant, "--order", order}, said), 0) << said;
    const QString report = QString::fromStdString(said);
    const QStringList totals = report.mid(report.indexOf("\nTotale ") + 1)
                                   .section('\n', 0, 0)
                                   .split(' ', Qt::SkipEmptyParts);
    // Units, good, failed, interrupted, failed by writing a block, first-pass yield.
    EXPECT_EQ(totals.mid(0, 7), (QStringList{"Totale", "4", "3", "1", "0", "1", "66,7"})) << said;
    std::vector<std::string> holding;
    for (const auto& file : std::filesystem::directory_iterator(dir / "")) {
        if (file.is_regular_file() &&
            test::Read_Whole_File(file.path()).find(PgServer::kPassword) != std::string::npos) {
            holding.push_back(file.path());
        }
    }
    EXPECT_EQ(holding, std::vector<std::string>{});
    qunsetenv("PGPASSWORD");
    qputenv("PGPASSFILE", QFile::encodeName(server->Password_File()));
}

// The station's way: passes in a thread of their own, the status back in this one.
TEST(PlantDatabaseTest, TheBackgroundUploaderSendsWhatIsAppended) {
    Job job;
    job.Add();
    BackgroundUploader uploader(job.path, Plant());
    QSignalSpy statuses(&uploader, &BackgroundUploader::Status_Changed);
    ASSERT_TRUE(statuses.wait(20000));
    EXPECT_EQ(statuses.takeFirst().at(0).value<UploadStatus>().sent, 1);
    job.Add();
    uploader.Send_Soon();
    ASSERT_TRUE(statuses.wait(20000));
    EXPECT_EQ(statuses.takeFirst().at(0).value<UploadStatus>().sent, 1);
    EXPECT_EQ(Copies_Of(job.records), std::vector<int>(2, 1));
}

}  // namespace
}  // namespace lcdprog::records

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new lcdprog::records::ServerEnvironment);
    return RUN_ALL_TESTS();
}
