#pragma once

// The production station: many modules at once for an operator who never opens a terminal. One
// panel per serial port, each programmed by a port process of lcdprog-cli through the same
// supervisor lcdprog-cli write uses; the image is the project's, compiled once by lcdprog-cli
// when the station opens.

#include <QElapsedTimer>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "cli/port_supervisor.h"
#include "station/cover_lock.h"

class QCheckBox;
class QCloseEvent;
class QFileSystemWatcher;
class QGridLayout;
class QGroupBox;
class QLabel;
class QMainWindow;
class QProgressBar;
class QPushButton;

namespace lcdprog {

class frm_Config_LCD;

struct StationSetup {
    std::string projectPath;  // empty: no project open
    bool unsavedChanges = false;
    QString cliProgram;            // lcdprog-cli
    QMainWindow* cover = nullptr;  // what "Blocca" covers
};

class frm_Stazione final : public QWidget, private cli::PortObserver {
    Q_OBJECT
  public:
    explicit frm_Stazione(const StationSetup& setup, QWidget* parent = nullptr);
    ~frm_Stazione() override;

    // The commands, as their buttons run them.
    void cmd_Avvia_Click();
    void cmd_Ferma_Click();
    void cmd_Ferma_Porta_Click(const std::string& device);
    void cmd_Blocca_Click();

    // The project shown in the main window changed (or its file did): the image stays.
    void Project_Changed();

    bool Running() const { return supervisor_ != nullptr; }
    bool Locked() const { return lock_.Locked(); }
    const std::string& Sha256() const { return sha256_; }
    const std::string& Record_Path() const { return recordPath_; }

    // Questions to the operator; tests answer them. askPin: the PIN typed, nothing when
    // cancelled. askClose: true to stop every port and close.
    std::function<std::optional<QString>(const QString& prompt)> askPin;
    std::function<bool(const QString& question)> askClose;

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    struct Panel {
        QGroupBox* frame = nullptr;
        QCheckBox* check = nullptr;
        QLabel* state = nullptr;
        QProgressBar* bar = nullptr;
        QLabel* seconds = nullptr;
        QLabel* result = nullptr;
        QLabel* detail = nullptr;
        QPushButton* stop = nullptr;
        bool present = true;
    };

    void Build_Controls();
    QWidget* Build_Header();
    QWidget* Build_Ports();
    QWidget* Build_Footer();
    Panel Build_Panel(int index, const std::string& device, const std::string& description);
    void Compile();
    void Choose_Record();
    void Check_Presence();
    void Note(const QString& text);
    void Refresh();
    void Show_Port(Panel& panel, const cli::PortState& port);
    void Show_Counts();
    void Enable_Controls();
    void Finish_Run();

    // cli::PortObserver
    void On_Result(const cli::PortState& port, const cli::UnitResult& result) override;
    void On_Log_Failed(const std::string& error) override;
    void On_Change() override;
    void On_All_Ended() override;

    StationSetup setup_;
    cli::Image image_{};
    bool imageReady_ = false;
    std::string sha256_;
    std::string recordPath_;
    bool started_ = false;  // once: the record file is then fixed
    std::unique_ptr<cli::PortSupervisor> supervisor_;
    std::map<std::string, Panel> panels_;
    CoverLock lock_;
    QByteArray pinSalt_;
    QByteArray pinHash_;
    bool closeWhenStopped_ = false;

    int programmed_ = 0;
    int failed_ = 0;
    qint64 runMs_ = 0;  // time spent programming, for units per hour
    QElapsedTimer runClock_;

    QTimer refresh_;
    QFileSystemWatcher* projectWatch_ = nullptr;
    QFileSystemWatcher* portWatch_ = nullptr;

    QLabel* lbl_Progetto = nullptr;
    QLabel* lbl_SHA256 = nullptr;
    QLabel* lbl_Registro = nullptr;
    QPushButton* cmd_Registro = nullptr;
    QLabel* lbl_Avviso = nullptr;
    QPushButton* cmd_Avvia = nullptr;
    QPushButton* cmd_Ferma = nullptr;
    QCheckBox* chk_Ciclo_Continuo = nullptr;
    QPushButton* cmd_Blocca = nullptr;
    QLabel* lbl_Programmati = nullptr;
    QLabel* lbl_Falliti = nullptr;
    QLabel* lbl_Moduli_Ora = nullptr;
    QLabel* lbl_Resa = nullptr;
};

// "Stazione di produzione...": the station for the main window's project, one at most; a second
// call brings it to the front.
frm_Stazione* Show_frm_Stazione(frm_Config_LCD* mainWindow);

}  // namespace lcdprog
