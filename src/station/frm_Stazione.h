#pragma once

// The production station: many modules at once for an operator who never opens a terminal. One
// panel per serial port (a position of the bench), each programmed by a port process of
// lcdprog-cli through the same supervisor lcdprog-cli write uses; the image is the project's,
// compiled once in the background when the station opens, by the compiler lcdprog-cli uses.
// Each Avvia is for one operator and one work order; every unit's record goes to the record
// file, then (when a database is set) to the plant database from a thread of its own.

#include <QElapsedTimer>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "cli/port_supervisor.h"
#include "platform/file_service.h"
#include "platform/project_lock.h"
#include "records/conninfo.h"
#include "records/work_order.h"

class QCheckBox;
class QCloseEvent;
class QFileSystemWatcher;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QScrollArea;
class QTableWidget;

namespace lcdprog::records {
class BackgroundUploader;
struct UploadStatus;
}  // namespace lcdprog::records

namespace lcdprog::platform {
class Announcer;
}

namespace lcdprog {

struct StationSetup {
    std::string projectPath;  // empty: no project open
    bool unsavedChanges = false;
    QString cliProgram;                     // lcdprog-cli, which runs the ports' processes
    platform::ProjectLock* lock = nullptr;  // what "Blocca" holds still besides the station
    // Where the project's pictures are read, from a thread of their own: the system's files when
    // null. Must outlive the station's preparation of the image.
    std::shared_ptr<platform::FileService> files = nullptr;
};

// What the operator says at Avvia: who programs, and which work order of how many units.
struct ProductionJob {
    QString operatorName;
    QString workOrder;
    int quantity = 0;
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
    // The window that the lock holds is gone (closed while unlocked): "Blocca" holds the station
    // alone from now on.
    void Project_Window_Gone() { setup_.lock = nullptr; }

    // The project's image is being compiled (the station opens at once and says so meanwhile).
    bool Preparing_Image() const { return preparing_; }
    bool Image_Ready() const { return imageReady_; }
    bool Running() const { return supervisor_ != nullptr; }
    bool Locked() const { return locked_; }
    const std::string& Sha256() const { return sha256_; }
    const std::string& Record_Path() const { return recordPath_; }

    // Questions to the operator; tests answer them. askPin: the PIN typed, nothing when
    // cancelled. askClose: true to stop every port and close. askJob: the job, starting from the
    // last one; nothing when cancelled. askReprogram: true to program a good serial again.
    std::function<std::optional<QString>(const QString& prompt)> askPin;
    std::function<bool(const QString& question)> askClose;
    std::function<std::optional<ProductionJob>(const ProductionJob& last)> askJob;
    std::function<bool(const QString& question)> askReprogram;

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    // One position of the bench: a serial port and the unit plugged into it.
    struct Panel {
        int index = 0;
        std::string path;  // the serial device
        std::string key;   // what the settings remember it by: the by-id name, else the device
        QGroupBox* frame = nullptr;
        QCheckBox* check = nullptr;
        QLineEdit* name = nullptr;
        QLabel* device = nullptr;
        QLabel* state = nullptr;
        QProgressBar* bar = nullptr;
        QLabel* seconds = nullptr;
        QLabel* result = nullptr;
        QLabel* detail = nullptr;
        QPushButton* stop = nullptr;
        QLineEdit* serial = nullptr;
        bool present = true;
        QString pendingSerial;  // taken, for the port's next unit
        bool pendingReprogrammed = false;
        QString refusal;  // why the last serial typed was refused
        QString heard;    // the end a screen reader was told of, until the next unit
    };

    void Build_Controls();
    QWidget* Build_Header();
    QScrollArea* Build_Ports();
    QWidget* Build_Footer();
    Panel Build_Panel(int index, const std::string& device, const std::string& description);
    void Prepare_Image();
    void Take_Image(const platform::Result<MemoryImageBytes>& image);
    void Choose_Record();
    void Check_Presence();
    void Note(const QString& text);
    void Remember_Positions() const;
    void Refresh();
    // What ended since the last look goes into `heard`.
    void Show_Port(Panel& panel, const cli::PortState& port, QStringList& heard);
    void Clear_Result(Panel& panel);
    void Show_Counts();
    void Enable_Controls();
    void Finish_Run();
    std::optional<ProductionJob> Ask_Job(const ProductionJob& last);
    bool Prepare_Job(const ProductionJob& job);
    void Show_Job();
    void Database_Edited();
    void Start_Uploader();
    void Show_Upload(const records::UploadStatus& status);
    std::optional<cli::UnitIdentity> Next_Unit(const cli::PortState& port);
    void Take_Serial(Panel& panel);
    const cli::PortState* Port_Of(const Panel& panel) const;
    bool Serial_Wanted(const Panel& panel) const;
    void Focus_Next_Serial(int after);

    // cli::PortObserver
    void On_Result(const cli::PortState& port, const cli::UnitResult& result) override;
    void On_Recorded(const records::UnitRecord& record) override;
    void On_Log_Failed(const std::string& error) override;
    void On_Change() override;
    void On_All_Ended() override;

    StationSetup setup_;
    MemoryImageBytes image_{};
    bool preparing_ = false;
    bool imageReady_ = false;
    std::string sha256_;
    std::string recordPath_;
    bool started_ = false;  // once: the record file is then fixed
    std::unique_ptr<cli::PortSupervisor> supervisor_;
    std::map<std::string, Panel> panels_;  // by device
    bool locked_ = false;
    QByteArray pinSalt_;
    QByteArray pinHash_;
    bool closeWhenStopped_ = false;

    ProductionJob job_;                  // of the last Avvia
    records::WorkOrderHistory history_;  // of job_'s work order
    std::optional<records::ConnectionTarget> database_;
    std::unique_ptr<records::BackgroundUploader> uploader_;

    cli::UnitCounts counts_;  // of every run since the station opened
    qint64 runMs_ = 0;        // time spent programming, for units per hour
    QElapsedTimer runClock_;

    QTimer refresh_;
    QFileSystemWatcher* projectWatch_ = nullptr;
    QFileSystemWatcher* portWatch_ = nullptr;

    QLabel* lbl_Progetto = nullptr;
    QLabel* lbl_SHA256 = nullptr;
    QLabel* lbl_Registro = nullptr;
    QPushButton* cmd_Registro = nullptr;
    QLineEdit* txt_Stazione = nullptr;
    QLineEdit* txt_Database = nullptr;
    QLabel* lbl_Database = nullptr;
    QLabel* lbl_Operatore = nullptr;
    QLabel* lbl_Commessa = nullptr;
    QLabel* lbl_Avviso = nullptr;
    QPushButton* cmd_Avvia = nullptr;
    QPushButton* cmd_Ferma = nullptr;
    QCheckBox* chk_Ciclo_Continuo = nullptr;
    QCheckBox* chk_Chiedi_Matricola = nullptr;
    QPushButton* cmd_Blocca = nullptr;
    QLabel* lbl_Programmati = nullptr;
    QLabel* lbl_Falliti = nullptr;
    QLabel* lbl_Interrotti = nullptr;
    QLabel* lbl_Moduli_Ora = nullptr;
    QLabel* lbl_Resa = nullptr;
    QTableWidget* tbl_Commessa = nullptr;
    platform::Announcer* announcer_ = nullptr;
};

}  // namespace lcdprog
