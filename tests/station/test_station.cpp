// The production station over real port processes and virtual modules on pseudo-terminals
// (unpaced: a unit takes a fraction of a second): every way a unit can end on its panel, in the
// counts and in the record, no result left over a unit being written, the lock, opening while
// the pictures are slow to read, eight named positions on one screen, closing mid-run.

#include <dirent.h>
#include <unistd.h>

#include <QAction>
#include <QCheckBox>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QTest>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>
#include <sstream>

#include <gtest/gtest.h>

#include "link/run_outcome.h"
#include "main_window/main_window_harness.h"
#include "platform/posix_file_service.h"
#include "project/project_file.h"
#include "records/work_order.h"
#include "station/frm_Stazione.h"
#include "support/processes.h"
#include "support/screen_reader.h"

namespace lcdprog::test {
namespace {

// A project of white pictures and its station, on the given modules' lines, with settings of
// its own in the test's folder.
struct Station {
    Station(const TempFolder& dir, const std::vector<std::string>& links,
            platform::ProjectLock* lock = nullptr,
            std::shared_ptr<platform::FileService> files = nullptr)
        : project(dir / "job.lcdprj") {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                           QString::fromStdString(dir / "settings"));
        std::ofstream(project) << Serialize_Project(Project{}, project);
        std::string ports;
        for (const auto& link : links) {
            ports += (ports.empty() ? "" : ":") + link;
        }
        qputenv("LCDPROG_PORTS", QByteArray::fromStdString(ports));
        if (!files) {
            files = std::make_shared<platform::PosixFileService>(Bin_Folder());
        }
        window = new frm_Stazione(
            {project, false, QString::fromStdString(Bin_Folder()) + "/lcdprog-cli", lock, files});
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->askJob = [this](const ProductionJob&) { return job; };
        window->show();
    }
    ~Station() { delete window.data(); }
    template <typename T>
    T* Find(const QString& name, int port = -1) const {
        return window->findChild<T*>(port < 0 ? name : name + QString::number(port));
    }
    QString Text(const QString& name, int port = -1) const {
        return Find<QLabel>(name, port)->text();
    }
    void Start(int ports) {
        ASSERT_TRUE(QTest::qWaitFor([&] { return !window->Preparing_Image(); }, 30000));
        for (int i = 0; i < ports; ++i) {
            Find<QCheckBox>("chk_Porta_", i)->setChecked(true);
        }
        Find<QPushButton>("cmd_Avvia")->click();
        ASSERT_TRUE(window->Running()) << Text("lbl_Avviso").toStdString();
    }
    std::vector<QJsonObject> Records() const {
        std::vector<QJsonObject> records;
        std::istringstream in(Read_Whole_File(window->Record_Path()));
        for (std::string line; std::getline(in, line);) {
            records.push_back(QJsonDocument::fromJson(QByteArray::fromStdString(line)).object());
        }
        return records;
    }

    // Edited as the operator edits it.
    void Type(const QString& name, const QString& text, int port = -1) {
        auto* field = Find<QLineEdit>(name, port);
        field->setText(text);
        QTest::keyClick(field, Qt::Key_Return);
    }
    void Wait_For_The_End() {
        ASSERT_TRUE(QTest::qWaitFor([&] { return !window->Running(); }, 60000));
    }

    std::string project;
    QPointer<frm_Stazione> window;
    ProductionJob job{"Rossi", "C-1", 1000};
};

// The files under `folder` that hold `text` anywhere.
std::vector<std::string> Files_Holding(const TempFolder& folder, const std::string& text) {
    std::vector<std::string> found;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder / "")) {
        if (entry.is_regular_file() &&
            Read_Whole_File(entry.path()).find(text) != std::string::npos) {
            found.push_back(entry.path());
        }
    }
    return found;
}

// This process's children still running lcdprog-cli's port process.
int Port_Processes_Left() {
    int left = 0;
    DIR* proc = ::opendir("/proc");
    while (const dirent* entry = ::readdir(proc)) {
        if (entry->d_name[0] < '1' || entry->d_name[0] > '9') {
            continue;
        }
        const std::string stat = Read_Whole_File(std::string("/proc/") + entry->d_name + "/stat");
        const auto close = stat.rfind(')');
        if (close == std::string::npos) {
            continue;
        }
        std::istringstream fields(stat.substr(close + 2));
        std::string state;
        pid_t parent = 0;
        fields >> state >> parent;
        const std::string cmd = Read_Whole_File(std::string("/proc/") + entry->d_name + "/cmdline");
        left += parent == ::getpid() && cmd.find("_port-worker") != std::string::npos ? 1 : 0;
    }
    ::closedir(proc);
    return left;
}

// Five units at once, each ending its own way; the one gone silent is stopped with its own
// Ferma once the others have ended. A stopped unit is neither programmed nor failed.
TEST(Station, EveryEndOnItsPanelInTheCountsAndInTheRecord) {
    TempFolder dir;
    const struct {
        const char* fault;
        const char* state;
        const char* result;
        const char* failure;
        RunOutcome outcome;
    } rows[] = {
        {"none", "programmato", "OK", "", {RunFailure::None, 512}},
        {"badsum:block=100",
         "fallito",
         "FALLITO",
         "block-failed",
         {RunFailure::BlockFailed, 100, 100}},
        {"badsum:reset", "fallito", "FALLITO", "reset-failed", {RunFailure::ResetFailed, 512}},
        {"hangup:block=200",
         "scollegato",
         "PORTA PERSA",
         "port-lost",
         {RunFailure::PortLost, 200, 200}},
        {"silent:block=10", "interrotto", "INTERROTTO", "stopped", {RunFailure::Stopped, 10, 10}},
    };
    std::vector<std::unique_ptr<SimProcess>> sims;
    std::vector<std::string> links;
    for (const auto& row : rows) {
        sims.push_back(std::make_unique<SimProcess>(dir, Unpaced({"--fault", row.fault}),
                                                    "lcd" + std::to_string(sims.size()), false));
        ASSERT_TRUE(sims.back()->Next_Device());
        links.push_back(sims.back()->Link());
    }
    Station s(dir, links);
    EXPECT_EQ(s.window->Record_Path(), dir / "job.log.jsonl");
    // A password is never kept; a server out of reach holds up nothing.
    s.Type("txt_Database", "host=db password=segreta");
    EXPECT_EQ(s.Text("lbl_Avviso"),
              "Database non cambiato: la password non va nella stringa di connessione: metterla "
              "in ~/.pgpass o nella variabile PGPASSWORD.");
    EXPECT_EQ(s.Find<QLineEdit>("txt_Database")->text(), "");
    const QString away = QString::fromStdString(dir / "spento");
    s.Type("txt_Database", "host=" + away + " dbname=impianto user=linea1");
    // Listened to as a screen reader does: a refusal and every unit's end are heard, the focus
    // goes from Avvia to Ferma and back, and no control repeats its name while the ports run.
    ScreenReader reader;
    s.window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(s.window));
    ASSERT_TRUE(QTest::qWaitFor([&] { return s.window->Image_Ready(); }, 30000));
    s.Find<QPushButton>("cmd_Avvia")->setFocus();
    reader.Clear();
    s.Find<QPushButton>("cmd_Avvia")->click();
    EXPECT_EQ(
        reader.Announced(),
        std::vector<std::string>{"Nessuna porta selezionata: spuntare le porte da programmare."});
    s.Start(5);
    EXPECT_EQ(s.Text("lbl_SHA256").toStdString(), s.window->Sha256());
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return s.Text("lbl_Programmati") == "1" && s.Text("lbl_Falliti") == "3"; }, 60000));
    s.Find<QPushButton>("cmd_Ferma_Porta_", 4)->click();
    s.Wait_For_The_End();

    const auto records = s.Records();
    ASSERT_EQ(records.size(), std::size(rows));
    std::set<int> units;
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(rows[i].fault);
        const auto record = std::find_if(records.begin(), records.end(), [&](const auto& r) {
            return r.value("device").toString().toStdString() == links[i];
        });
        ASSERT_NE(record, records.end());
        EXPECT_EQ(record->value("image_sha256").toString().toStdString(), s.window->Sha256());
        EXPECT_EQ(record->value("failure").toString(), rows[i].failure);
        EXPECT_EQ(record->value("block").toInt(-1), rows[i].outcome.block.value_or(-1));
        EXPECT_EQ(record->value("position").toString(), QString("Posto %1").arg(i + 1));
        EXPECT_EQ(
            (QStringList{record->value("operator").toString(), record->value("order").toString(),
                         record->value("station").toString()}),
            (QStringList{"Rossi", "C-1", s.Find<QLineEdit>("txt_Stazione")->text()}));
        units.insert(record->value("unit").toInt());
        const QString text = record->value("text").toString();
        RunOutcome outcome = rows[i].outcome;
        outcome.seconds = record->value("seconds").toDouble();
        if (outcome.failure != RunFailure::PortLost) {
            EXPECT_EQ(text.toStdString(), Outcome_Text(outcome));
        }
        const int p = static_cast<int>(i);
        EXPECT_EQ(s.Text("lbl_Stato_", p), rows[i].state);
        EXPECT_EQ(s.Text("lbl_Risultato_", p), rows[i].result);
        EXPECT_EQ(s.Text("lbl_Esito_", p),
                  QString("modulo %1: ").arg(record->value("unit").toInt()) + text);
    }
    EXPECT_EQ(units, (std::set<int>{1, 2, 3, 4, 5}));
    EXPECT_EQ(s.Text("lbl_Programmati"), "1");
    EXPECT_EQ(s.Text("lbl_Falliti"), "3");
    EXPECT_EQ(s.Text("lbl_Interrotti"), "1");
    EXPECT_EQ(s.Text("lbl_Resa"), "25,0 %");
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return s.Text("lbl_Database") == "Database: non raggiungibile (il server " + away +
                                                 " non risponde), 5 record in attesa";
        },
        30000))
        << s.Text("lbl_Database").toStdString();
    EXPECT_EQ(Files_Holding(dir, "segreta"), std::vector<std::string>{});
    std::string heard;
    for (const std::string& said : reader.Announced()) {
        heard += said + ". ";
    }
    for (int p = 0; p < static_cast<int>(std::size(rows)); ++p) {
        EXPECT_NE(heard.find("Posto " + std::to_string(p + 1) + ", " +
                             s.Text("lbl_Esito_", p).toStdString() + "."),
                  std::string::npos)
            << heard;
    }
    EXPECT_EQ(reader.Focused(), (std::vector<std::string>{"cmd_Ferma", "cmd_Avvia"}));
    EXPECT_EQ(reader.Repeated_Names(), std::vector<std::string>{});
}

// Chiedi matricola: each position waits for its unit's serial, typed or scanned, and the focus
// goes on to the next position that wants one. A serial at another position, or one a record
// cannot hold, is refused there; one already good in the work order goes again only when the
// operator confirms, and its record says so.
TEST(Station, SerialsAreAskedRefusedAndConfirmed) {
    TempFolder dir;
    SimProcess a(dir, Unpaced(), "lcd0", false);
    SimProcess b(dir, Unpaced(), "lcd1", false);
    ASSERT_TRUE(a.Next_Device() && b.Next_Device());
    Station s(dir, {a.Link(), b.Link()});
    s.Find<QCheckBox>("chk_Chiedi_Matricola")->setChecked(true);
    s.window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(s.window));
    s.Start(2);
    auto* second = s.Find<QLineEdit>("txt_Matricola_", 1);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return s.Find<QLineEdit>("txt_Matricola_", 0)->hasFocus() && second->isEnabled(); },
        30000));
    EXPECT_EQ(s.Text("lbl_Stato_", 1), "in attesa della matricola");
    s.Type("txt_Matricola_", "SN1", 0);
    EXPECT_TRUE(second->hasFocus());
    const struct {
        QString serial;
        const char* why;
    } refused[] = {
        {"SN1", "la matricola SN1 è già al Posto 1"},
        {QString("SN") + QChar(0),
         "la matricola contiene un carattere NUL, che il database non può conservare"},
    };
    for (const auto& row : refused) {
        s.Type("txt_Matricola_", row.serial, 1);
        EXPECT_EQ(s.Text("lbl_Risultato_", 1), "MATRICOLA RIFIUTATA");
        EXPECT_EQ(s.Text("lbl_Esito_", 1), row.why);
    }
    s.Type("txt_Matricola_", "SN2", 1);
    s.Wait_For_The_End();

    s.Find<QCheckBox>("chk_Porta_", 1)->setChecked(false);
    std::vector<QString> asked;
    s.window->askReprogram = [&](const QString& question) {
        asked.push_back(question);
        return asked.size() == 2;
    };
    s.Start(1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return s.Find<QLineEdit>("txt_Matricola_", 0)->isEnabled(); },
                                30000));
    s.Type("txt_Matricola_", "SN1", 0);
    s.Type("txt_Matricola_", "SN1", 0);
    s.Wait_For_The_End();
    const auto records = s.Records();
    ASSERT_EQ(records.size(), 3u);
    // The first run's two units ended in either order.
    const QJsonObject& first = records[0].value("serial") == "SN1" ? records[0] : records[1];
    const auto good = records::Parse_Record_Line(QJsonDocument(first).toJson());
    ASSERT_EQ(good->serial, "SN1");
    const QString already = records::Already_Good_Text(*good);
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[0], "L" + already.mid(1) + ".\nProgrammarla di nuovo?");
    EXPECT_EQ(
        (QStringList{records[2].value("serial").toString(), records[2].value("result").toString()}),
        (QStringList{"SN1", "ok"}));
    EXPECT_TRUE(records[2].value("reprogrammed").toBool());
    EXPECT_FALSE(first.value("reprogrammed").toBool());
}

// A work order of two on three positions: two are armed, the third waits and is let go once the
// two are good; the station says so, and the next Avvia of that order programs nothing. Its
// figures are the report's.
TEST(Station, AWorkOrderStopsAtItsQuantity) {
    TempFolder dir;
    std::vector<std::unique_ptr<SimProcess>> sims;
    std::vector<std::string> links;
    for (int i = 0; i < 3; ++i) {
        sims.push_back(
            std::make_unique<SimProcess>(dir, Unpaced(), "lcd" + std::to_string(i), false));
        ASSERT_TRUE(sims.back()->Next_Device());
        links.push_back(sims.back()->Link());
    }
    Station s(dir, links);
    s.job = {"Bianchi", "C-2", 2};
    s.Start(3);
    s.Wait_For_The_End();
    EXPECT_EQ(s.Records().size(), 2u);
    EXPECT_EQ(s.Text("lbl_Avviso"),
              "La commessa C-2 è completa: 2 unità buone su 2: la stazione non avvia altre unità.");
    EXPECT_EQ(s.Text("lbl_Commessa"), "C-2: 2 unità buone su 2");
    const auto* figures = s.Find<QTableWidget>("tbl_Commessa");
    EXPECT_EQ((QStringList{figures->item(0, 1)->text(), figures->item(0, 2)->text(),
                           figures->item(0, 5)->text()}),
              (QStringList{"2", "2", "100,0"}));

    s.Find<QPushButton>("cmd_Avvia")->click();
    EXPECT_FALSE(s.window->Running());
    EXPECT_EQ(s.Text("lbl_Avviso"),
              "Produzione non avviata: la commessa C-2 è completa: 2 unità buone su 2.");
}

// --loop: the module goes (its line drops right after it was programmed) and comes back, and the
// port programs it again, showing nothing of the first unit's result while the second is being
// written; closing the station then stops the port and leaves no process.
TEST(Station, ContinuousCycleShowsNoOldResultOverTheNextUnitAndClosingLeavesNoProcess) {
    TempFolder dir;
    qputenv("LCDPROG_PORT_PAUSE_MS", "10");
    // Packets: a quiet detection, the unit's detection, 512 blocks, the reset, then the quiet
    // detection that finds the module gone (it hangs up). Back 50 ms later: a quiet detection,
    // the unit's, and the second unit's block 50 (packet 569), answered late so that its writing
    // is seen.
    SimProcess sim(dir,
                   Unpaced({"--fault", "hangup:packet=516", "--fault", "late=300:packet=569",
                            "--reopen-after", "50"}),
                   "lcd", false);
    ASSERT_TRUE(sim.Next_Device());
    Station s(dir, {sim.Link()});
    s.Find<QCheckBox>("chk_Ciclo_Continuo")->setChecked(true);
    s.Start(1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return s.Text("lbl_Programmati") == "1"; }, 30000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return s.Text("lbl_Stato_", 0) == "scrittura"; }, 30000));
    EXPECT_EQ(s.Text("lbl_Risultato_", 0), "IN SCRITTURA: NON SCOLLEGARE");
    EXPECT_EQ(s.Text("lbl_Esito_", 0), "modulo 2");
    ASSERT_TRUE(QTest::qWaitFor([&] { return s.Text("lbl_Programmati") == "2"; }, 30000));
    qunsetenv("LCDPROG_PORT_PAUSE_MS");
    const auto records = s.Records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[1].value("unit").toInt(), 2);
    for (const QJsonObject& record : records) {
        EXPECT_EQ(record.value("result").toString(), "ok");
    }
    EXPECT_TRUE(s.window->Running());  // waiting for the next module

    s.window->askClose = [](const QString&) { return true; };
    s.window->close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return s.window == nullptr; }, 30000));
    EXPECT_EQ(Port_Processes_Left(), 0);
}

// The run may end while the operator is still being asked whether to stop it and close: the
// answer then simply closes the window.
TEST(Station, RunEndingDuringTheCloseQuestionStillCloses) {
    TempFolder dir;
    SimProcess sim(dir, Unpaced(), "lcd", false);
    ASSERT_TRUE(sim.Next_Device());
    Station s(dir, {sim.Link()});
    s.Start(1);
    s.window->askClose = [&](const QString&) {
        return QTest::qWaitFor([&] { return !s.window->Running(); }, 60000);
    };
    s.window->close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return s.window == nullptr; }, 30000));
    EXPECT_EQ(Port_Processes_Left(), 0);
}

// Locked, the main window's editing and project commands do nothing, and neither window closes
// (the program would end); the PIN unlocks it.
TEST(Station, LockHoldsTheProjectAndBothWindows) {
    TempFolder dir;
    FakeFileService files;
    MainWindowHarness h(files);
    Station s(dir, {}, h.window.get());
    // One edit before the lock, so that "Annulla" has something to undo.
    auto* grid = h.Find<QTableWidget>("msh_Font_5x8");
    const auto click = [grid] {
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                          grid->visualRect(grid->model()->index(2, 2)).center());
    };
    click();
    const auto font = h.state.Font_5x8;
    ASSERT_NE(font, decltype(font){});
    std::vector<QString> answers = {"1234", "1234", "4321", "1234"};
    s.window->askPin = [&](const QString&) {
        const QString pin = answers.front();
        answers.erase(answers.begin());
        return std::optional<QString>(pin);
    };
    s.Find<QPushButton>("cmd_Blocca")->click();
    ASSERT_TRUE(s.window->Locked());

    click();
    for (const char* name :
         {"smnu_Apri_Progetto", "smnu_Salva_Progetto", "smnu_Annulla", "smnu_File_0"}) {
        SCOPED_TRACE(name);
        QAction* action = h.Find<QAction>(name);
        EXPECT_FALSE(action->isEnabled());
        action->trigger();
    }
    EXPECT_TRUE(h.dialog.requests.empty());
    EXPECT_EQ(h.state.Font_5x8, font);
    EXPECT_TRUE(h.Find<QAction>("smnu_Stazione_0")->isEnabled());
    EXPECT_FALSE(s.window->close());
    EXPECT_EQ(s.Text("lbl_Avviso"), "Sbloccare la stazione prima di chiuderla.");
    EXPECT_FALSE(h.window->close());
    EXPECT_EQ(s.Text("lbl_Avviso"),
              "La stazione è bloccata: il programma non si chiude. Sbloccarla con il PIN, poi "
              "chiudere.");
    EXPECT_TRUE(h.messages.shown.empty());  // the main window asked nothing itself

    s.Find<QPushButton>("cmd_Blocca")->click();  // the wrong PIN
    EXPECT_TRUE(s.window->Locked());
    EXPECT_EQ(s.Text("lbl_Avviso"), "PIN errato: la stazione resta bloccata.");
    s.Find<QPushButton>("cmd_Blocca")->click();
    EXPECT_FALSE(s.window->Locked());
    EXPECT_TRUE(h.Find<QAction>("smnu_Apri_Progetto")->isEnabled());
    EXPECT_TRUE(h.Find<QAction>("smnu_Annulla")->isEnabled());
    EXPECT_TRUE(grid->isEnabled());
}

// Pictures on a share that answers slowly: every read waits until the test lets it through.
class SlowFiles final : public platform::FileService {
  public:
    bool FileExists(const std::string& path) const override { return files_.FileExists(path); }
    std::string GetFileName(const std::string& path) const override {
        return files_.GetFileName(path);
    }
    platform::FileContents Read(const std::string& path, std::size_t limit) const override {
        std::unique_lock lock(mutex_);
        ++waiting_;
        changed_.notify_all();
        changed_.wait(lock, [this] { return open_; });
        return files_.Read(path, limit);
    }
    std::string ProgramFolder() const override { return files_.ProgramFolder(); }
    std::string ProgramDataFile(const std::string& name) const override {
        return files_.ProgramDataFile(name);
    }
    // A read is waiting, or 30 s went by.
    bool Wait_For_A_Reader() const {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(30), [this] { return waiting_ > 0; });
    }
    void Let_Through() {
        const std::lock_guard lock(mutex_);
        open_ = true;
        changed_.notify_all();
    }

  private:
    platform::PosixFileService files_{Bin_Folder()};
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    mutable int waiting_ = 0;
    bool open_ = false;
};

// The station is up and at the operator's hand while its image waits for the pictures.
TEST(Station, OpensAtOnceWhileThePicturesAreSlowToRead) {
    TempFolder dir;
    auto files = std::make_shared<SlowFiles>();
    Station s(dir, {}, nullptr, files);
    ASSERT_TRUE(files->Wait_For_A_Reader());
    EXPECT_TRUE(s.window->Preparing_Image());
    EXPECT_FALSE(s.Find<QPushButton>("cmd_Avvia")->isEnabled());
    EXPECT_EQ(s.Text("lbl_Avviso"), "Preparazione dell'immagine del progetto...");
    files->Let_Through();
    ASSERT_TRUE(QTest::qWaitFor([&] { return s.window->Image_Ready(); }, 30000));
    EXPECT_EQ(s.Text("lbl_SHA256").toStdString(), s.window->Sha256());
    EXPECT_FALSE(s.Find<QLabel>("lbl_Avviso")->isVisibleTo(s.window));
}

// Eight positions fit a 1366 x 768 screen (less its title bar and panel) without scrolling;
// each keeps the name and tick it was given, by its device, and so does the continuous cycle.
TEST(Station, EightNamedPositionsFitTheScreenAndAreRemembered) {
    TempFolder dir;
    std::vector<std::string> links;
    for (int i = 0; i < 8; ++i) {
        links.push_back(dir / ("ttyLCD" + std::to_string(i)));
    }
    {
        Station s(dir, links);
        s.window->resize(1366, 700);
        QCoreApplication::processEvents();
        const auto* area = s.Find<QScrollArea>("scr_Porte");
        EXPECT_FALSE(area->horizontalScrollBar()->isVisible());
        EXPECT_FALSE(area->verticalScrollBar()->isVisible());
        for (int i = 0; i < 8; ++i) {
            EXPECT_EQ(s.Find<QLineEdit>("txt_Posto_", i)->text(), QString("Posto %1").arg(i + 1));
        }
        auto* name = s.Find<QLineEdit>("txt_Posto_", 2);
        name->setText("Banco A");
        emit name->editingFinished();
        s.Find<QCheckBox>("chk_Porta_", 5)->setChecked(true);
        s.Find<QCheckBox>("chk_Ciclo_Continuo")->setChecked(true);
    }
    Station again(dir, links);
    EXPECT_EQ(again.Find<QLineEdit>("txt_Posto_", 2)->text(), "Banco A");
    EXPECT_EQ(again.Find<QLineEdit>("txt_Posto_", 3)->text(), "Posto 4");
    EXPECT_TRUE(again.Find<QCheckBox>("chk_Porta_", 5)->isChecked());
    EXPECT_FALSE(again.Find<QCheckBox>("chk_Porta_", 4)->isChecked());
    EXPECT_TRUE(again.Find<QCheckBox>("chk_Ciclo_Continuo")->isChecked());
}

// A port process that cannot be started ends its port as one that did not open, so the run ends.
TEST(Station, PortProgramThatCannotStartEndsTheRun) {
    struct Ended final : cli::PortObserver {
        void On_All_Ended() override { all = true; }
        bool all = false;
    } ended;
    cli::PortSupervisor supervisor({"/nonexistent/lcdprog-cli", false, false}, MemoryImageBytes{});
    supervisor.Add_Observer(ended);
    supervisor.Start({"/dev/null"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return ended.all; }, 30000));
    EXPECT_TRUE(supervisor.Ports()[0]->openFailed);
    EXPECT_EQ(supervisor.Ports()[0]->openError, "impossibile avviare /nonexistent/lcdprog-cli");
}

}  // namespace
}  // namespace lcdprog::test
