// The production station over real port processes and virtual modules on pseudo-terminals: three
// modules at once with one failing, the continuous cycle re-arming, the lock, closing mid-run.

#include <dirent.h>
#include <unistd.h>

#include <QAction>
#include <QCheckBox>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <fstream>
#include <regex>
#include <sstream>

#include <gtest/gtest.h>

#include "main_window/main_window_harness.h"
#include "project/project_file.h"
#include "station/frm_Stazione.h"
#include "support/processes.h"

namespace lcdprog::test {
namespace {

// A project of white pictures and its station, on the given modules' lines.
struct Station {
    Station(const TempFolder& dir, const std::vector<std::string>& links,
            QMainWindow* cover = nullptr)
        : project(dir / "job.lcdprj") {
        std::ofstream(project) << Serialize_Project(Project{}, project);
        std::string ports;
        for (const auto& link : links) {
            ports += (ports.empty() ? "" : ":") + link;
        }
        qputenv("LCDPROG_PORTS", QByteArray::fromStdString(ports));
        window = new frm_Stazione(
            {project, false, QString::fromStdString(Bin_Folder()) + "/lcdprog-cli", cover});
        window->setAttribute(Qt::WA_DeleteOnClose);
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

    std::string project;
    QPointer<frm_Stazione> window;
};

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

TEST(Station, ThreeModulesOneFailingPanelsCountsAndRecord) {
    TempFolder dir;
    SimProcess a(dir, {}, "a");
    SimProcess b(dir, {"--fault", "badsum:block=100"}, "b");
    SimProcess c(dir, {}, "c");
    ASSERT_TRUE(a.Next_Device() && b.Next_Device() && c.Next_Device());
    Station s(dir, {a.Link(), b.Link(), c.Link()});
    EXPECT_EQ(s.window->Record_Path(), dir / "job.log.jsonl");
    EXPECT_EQ(s.Text("lbl_SHA256").toStdString(), s.window->Sha256());
    s.Start(3);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !s.window->Running(); }, 60000));

    const struct {
        const char *state, *result, *detail;
    } panels[] = {
        // Seconds with the decimal comma, as the window writes them.
        {"programmato", "OK", R"(modulo 1: programmato in \d+,\d s)"},
        {"fallito", "FALLITO",
         R"(modulo 1: fallito al blocco 101: Comunicazione seriale interrotta\. Scrittura EEPROM )"
         R"(I2C fallita!)"},
        {"programmato", "OK", R"(modulo 1: programmato in \d+,\d s)"},
    };
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(s.Text("lbl_Stato_", i), panels[i].state);
        EXPECT_EQ(s.Text("lbl_Risultato_", i), panels[i].result);
        EXPECT_TRUE(
            std::regex_match(s.Text("lbl_Esito_", i).toStdString(), std::regex(panels[i].detail)))
            << s.Text("lbl_Esito_", i).toStdString();
    }
    EXPECT_EQ(s.Text("lbl_Programmati"), "2");
    EXPECT_EQ(s.Text("lbl_Falliti"), "1");
    EXPECT_EQ(s.Text("lbl_Resa"), "66,7 %");

    const auto records = s.Records();
    ASSERT_EQ(records.size(), 3u);
    for (const QJsonObject& record : records) {
        // The same fields as lcdprog-cli's record (keys() is sorted).
        QStringList fields{"blocks",  "by_id",   "image_sha256", "port", "result",
                           "retries", "seconds", "time",         "unit"};
        if (record.contains("error")) {
            fields.insert(2, "error");
        }
        EXPECT_EQ(record.keys(), fields);
        EXPECT_EQ(record.value("image_sha256").toString().toStdString(), s.window->Sha256());
        const bool failing = record.value("port").toString().toStdString() == b.Link();
        EXPECT_EQ(record.value("result").toString(), failing ? "failed" : "ok");
        EXPECT_EQ(record.value("blocks").toInt(), failing ? 100 : 512);
    }
}

// --loop: the module goes (its line drops right after it was programmed) and comes back, and the
// port programs it again; closing the station then stops the port and leaves no process.
TEST(Station, ContinuousCycleReArmsAndClosingLeavesNoProcess) {
    TempFolder dir;
    // Packets: a quiet detection, the unit's detection, 512 blocks, the reset, then the quiet
    // detection that finds the module gone.
    SimProcess sim(dir, {"--fault", "hangup:packet=516", "--reopen-after", "300"}, "lcd");
    ASSERT_TRUE(sim.Next_Device());
    Station s(dir, {sim.Link()});
    s.Find<QCheckBox>("chk_Ciclo_Continuo")->setChecked(true);
    s.Start(1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return s.Text("lbl_Programmati") == "2"; }, 60000));
    for (const QJsonObject& record : s.Records()) {
        EXPECT_EQ(record.value("result").toString(), "ok");
    }
    ASSERT_EQ(s.Records().size(), 2u);
    EXPECT_EQ(s.Records()[1].value("unit").toInt(), 2);
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
    SimProcess sim(dir, {}, "lcd");
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

// Locked, the main window's editing and project commands do nothing; the PIN unlocks it.
TEST(Station, LockKeepsTheProjectUnchanged) {
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
    EXPECT_FALSE(s.window->close());  // not while locked

    s.Find<QPushButton>("cmd_Blocca")->click();  // the wrong PIN
    EXPECT_TRUE(s.window->Locked());
    EXPECT_EQ(s.Text("lbl_Avviso"), "PIN errato: la stazione resta bloccata.");
    s.Find<QPushButton>("cmd_Blocca")->click();
    EXPECT_FALSE(s.window->Locked());
    EXPECT_TRUE(h.Find<QAction>("smnu_Apri_Progetto")->isEnabled());
    EXPECT_TRUE(h.Find<QAction>("smnu_Annulla")->isEnabled());
    EXPECT_TRUE(grid->isEnabled());
}

// A port process that cannot be started ends its port as one that did not open, so the run ends.
TEST(Station, PortProgramThatCannotStartEndsTheRun) {
    struct Ended final : cli::PortObserver {
        void On_All_Ended() override { all = true; }
        bool all = false;
    } ended;
    cli::PortSupervisor supervisor({"/nonexistent/lcdprog-cli", false, false}, cli::Image{});
    supervisor.Add_Observer(ended);
    supervisor.Start({"/dev/null"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return ended.all; }, 30000));
    EXPECT_TRUE(supervisor.Ports()[0]->openFailed);
    EXPECT_EQ(supervisor.Ports()[0]->openError, "impossibile avviare /nonexistent/lcdprog-cli");
}

}  // namespace
}  // namespace lcdprog::test
