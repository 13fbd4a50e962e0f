#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>
#include <memory>

#include "link/run_log.h"
#include "platform/qt/qt_controls.h"
#include "platform/serial_window_access.h"
#include "platform/services.h"
#include "serial_window/controls_view.h"
#include "serial_window/run_status.h"
#include "state/mod_variabili.h"

class QCloseEvent;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTextEdit;

namespace lcdprog {

struct LinkIo;
namespace platform {
class Announcer;
class Controls;
}  // namespace platform

// The serial port window: the port list, ON/OFF, the programming command, Stop and the trace.
// Every port operation goes to the program's one serial control in Services.
class frm_RS232 final : public QWidget {
    Q_OBJECT
  public:
    frm_RS232(platform::Services& services, ProgramState& state);
    ~frm_RS232() override;

    // The command handlers, named after their buttons.
    void cmd_ON_Click();
    void cmd_OFF_Click();
    void cmd_Write_RS232_Click();
    void cmd_Stop_RS232_Click();
    void cmd_Exit_Click();

    // Every run of this window reports here; its counters, trace, bar and status line are the
    // first subscriber, and anyone else (a log, a bench) may subscribe for the window's lifetime.
    RunFeed& Run_Feed() { return feed_; }
    // True from the first to the last step of a run of this window.
    bool Run_In_Progress() const { return runInProgress_; }

    static const QString kCaption;

  protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    void Build_Controls();
    void Take_Controls(const platform::Controls& c);
    void Fit_Labels_And_Boxes();
    void Attach_Run_View();
    void Set_Tab_Order();
    void Fit_Status_Line();
    void Centre_On_Screen();
    void Form_Load();
    void Form_Unload();
    void List_Ports(bool firstProbe);
    int Probe_Ports();
    std::string Port_Failure(int port) const;
    void Report_No_Port(int failedPort);
    void Ports_Changed();
    void Show_Error_RS232(const std::string& line);
    // The status line's words, heard by a screen reader wherever the focus is.
    void Announce_Status();

    platform::Services& services_;
    ProgramState& state_;
    // A run of this window is yielding from inside one of its waits: a second click, a close
    // and the port list wait for its end.
    bool runInProgress_ = false;
    bool closeAfterRun_ = false;
    // The device ON opened, until OFF; empty while the port is closed.
    std::string openDevice_;
    // The open port's device went away during a run: the window keeps what the run left until
    // OFF, instead of closing by itself.
    bool lostDuringRun_ = false;
    // Devices changed while the list could not follow (port open, run, window hidden).
    bool portsChanged_ = false;

    QGroupBox* fra_Select_RS232 = nullptr;
    QGroupBox* fra_RS232 = nullptr;
    QComboBox* cmb_RS232 = nullptr;
    QGroupBox* fra_Speed = nullptr;
    QLabel* lbl_Baud_Rates = nullptr;
    QLabel* lbl_Lenght_Byte = nullptr;
    QLabel* lbl_Parity_Bit = nullptr;
    QLabel* lbl_Stop_Bit = nullptr;
    QLineEdit* txt_Baud_Rates = nullptr;
    QLineEdit* txt_Lenght_Byte = nullptr;
    QLineEdit* txt_Parity_Bit = nullptr;
    QLineEdit* txt_Stop_Bit = nullptr;
    QGroupBox* fra_Set_Port = nullptr;
    QPushButton* cmd_ON = nullptr;
    QPushButton* cmd_OFF = nullptr;
    QGroupBox* fra_Comandi = nullptr;
    QPushButton* cmd_Write_RS232 = nullptr;
    QTextEdit* rtb_RS232_SPY = nullptr;
    QLabel* lbl_Send_Packet = nullptr;
    QLabel* lbl_Received_Packet = nullptr;
    QLineEdit* txt_Send_Packet = nullptr;
    QLineEdit* txt_Received_Packet = nullptr;
    QPushButton* cmd_Stop_RS232 = nullptr;
    QProgressBar* pgb_RS232 = nullptr;
    QPushButton* cmd_Exit = nullptr;
    QLabel* lbl_Stato = nullptr;
    platform::Announcer* announcer_ = nullptr;

    // What a run is shown in: counters, trace and progress bar of this window, brought up to
    // date together with the status line.
    platform::CoalescedApply together_;
    std::unique_ptr<platform::QtTextControl> sendCounter_;
    std::unique_ptr<platform::QtTextControl> receivedCounter_;
    std::unique_ptr<platform::QtRichTextControl> spy_;
    std::unique_ptr<platform::QtProgressControl> progress_;
    std::unique_ptr<platform::QtLabelControl> status_;
    // Build_Controls makes status_ before anything can speak, and it outlives runStatus_.
    RunStatus runStatus_{[this](const std::string& text) { status_->SetText(text); },
                         services_.clock};
    // The run's subscriber here: the controls above and the status line.
    std::unique_ptr<ControlsView> view_;
    std::unique_ptr<RunLog> runLog_;  // the lcdprog.link log of every run
    RunFeed feed_;
};

// The program's one serial port window, made by whoever runs the program (main(), a test, the
// bench) and handed to the main window, which knows it only as a platform::SerialWindowAccess.
class SerialWindowHolder final : public platform::SerialWindowAccess {
  public:
    SerialWindowHolder(platform::Services& services, ProgramState& state)
        : services_(services), state_(state) {}
    ~SerialWindowHolder() override;
    SerialWindowHolder(const SerialWindowHolder&) = delete;
    SerialWindowHolder& operator=(const SerialWindowHolder&) = delete;

    void ShowWindow() override;
    bool RunInProgress() const override;
    // The open window, or nullptr.
    frm_RS232* Window() const { return window_.data(); }

  private:
    platform::Services& services_;
    ProgramState& state_;
    QPointer<frm_RS232> window_;
};

}  // namespace lcdprog
