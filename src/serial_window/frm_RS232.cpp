#include "serial_window/frm_RS232.h"

#include <algorithm>

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QTextEdit>
#include <QTimer>

#include "compiler/mod_Compilatore.h"
#include "link/mod_RS232.h"
#include "link/programming_run.h"
#include "platform/qt/accessibility.h"
#include "platform/qt/announcer.h"
#include "platform/qt/layout.h"
#include "platform/qt/log.h"
#include "platform/qt/twips.h"
#include "state/mod_variabili.h"

namespace lcdprog {
namespace {

using platform::ControlRow;
using platform::Kind;
using platform::Twips;

constexpr int kHighestProbedPort = 16;
// The status line, below the layout's window: two lines of the window's font.
constexpr int kStatusTop = 8730;
constexpr int kStatusHeight = 480;
// The device a list entry names, kept with it so that a new probe can find the chosen one.
constexpr int kDeviceRole = Qt::UserRole;

const char kReady[] = "Pronto";

// Top to bottom: port list beside the line settings, ON/OFF, the programming command, the trace,
// the progress bar and the packet counters beside Exit.
const ControlRow kLayout[] = {
    {"fra_Select_RS232", Kind::Frame, "", 60, 0, 5715, 8715,
     "Seleziona porta seriale tra quelle disponibili:"},
    {"fra_RS232", Kind::Frame, "fra_Select_RS232", 120, 240, 1995, 735, "Porte disponibili:"},
    {"cmb_RS232", Kind::ComboBox, "fra_RS232", 120, 300, 1755, 315, "Combo1",
     "Selezionare una porta seriale dall'elenco", "fra_RS232"},
    {"fra_Speed", Kind::Frame, "fra_Select_RS232", 2220, 240, 3375, 1515,
     "Impostazioni porta seriale:"},
    {"lbl_Baud_Rates", Kind::Label, "fra_Speed", 120, 300, 1700, 255, "Baud Rates:"},
    {"lbl_Lenght_Byte", Kind::Label, "fra_Speed", 120, 600, 1700, 255, "Lunghezza dato in bit:"},
    {"lbl_Parity_Bit", Kind::Label, "fra_Speed", 120, 900, 1700, 255, "Bit di parità:"},
    {"lbl_Stop_Bit", Kind::Label, "fra_Speed", 120, 1200, 1695, 255, "Bit di stop:"},
    {"txt_Baud_Rates", Kind::TextBox, "fra_Speed", 1860, 240, 1275, 285, "115200",
     "Velocità trasmissione dati", "lbl_Baud_Rates"},
    {"txt_Lenght_Byte", Kind::TextBox, "fra_Speed", 1860, 540, 1275, 285, "8",
     "Lunghezza dato 8 bit", "lbl_Lenght_Byte"},
    {"txt_Parity_Bit", Kind::TextBox, "fra_Speed", 1860, 840, 1275, 285, "Nessuno", "Bit di parità",
     "lbl_Parity_Bit"},
    {"txt_Stop_Bit", Kind::TextBox, "fra_Speed", 1860, 1140, 1275, 285, "1", "Numero bit di stop",
     "lbl_Stop_Bit"},
    {"fra_Set_Port", Kind::Frame, "fra_Select_RS232", 120, 1020, 1995, 735,
     "Attiva porta selezionata:"},
    {"cmd_ON", Kind::Button, "fra_Set_Port", 120, 300, 795, 315, "ON",
     "Attiva porta seriale selezionata"},
    {"cmd_OFF", Kind::Button, "fra_Set_Port", 1080, 300, 795, 315, "OFF",
     "Disattiva porta seriale"},
    {"fra_Comandi", Kind::Frame, "fra_Select_RS232", 120, 1800, 5475, 735,
     "Lettura/Scrittura modulo LCD alarm:"},
    {"cmd_Write_RS232", Kind::Button, "fra_Comandi", 180, 300, 1650, 315, "Scrivi modulo LCD",
     "Scrive modulo LCD gestione allarmi"},
    {"rtb_RS232_SPY", Kind::RichText, "fra_Select_RS232", 120, 2580, 5475, 4755,
     "Traccia della comunicazione seriale"},
    {"lbl_Send_Packet", Kind::Label, "fra_Select_RS232", 180, 7980, 1755, 255,
     "Pacchetti inviati al PIC:"},
    {"lbl_Received_Packet", Kind::Label, "fra_Select_RS232", 180, 8340, 1995, 255,
     "Pacchetti ricevuti dal PIC:"},
    {"txt_Send_Packet", Kind::TextBox, "fra_Select_RS232", 2400, 7920, 1275, 285, "0",
     "Numero pacchetti inviati al PIC", "lbl_Send_Packet"},
    {"txt_Received_Packet", Kind::TextBox, "fra_Select_RS232", 2400, 8280, 1275, 285, "0",
     "Numero pacchetti ricevuti dal PIC", "lbl_Received_Packet"},
    // Over fra_Comandi's area but not inside it: disabling the frame must leave Stop usable.
    {"cmd_Stop_RS232", Kind::Button, "fra_Select_RS232", 3780, 2100, 1650, 315, "Stop ",
     "Abortisce scrittura / lettura modulo LCD gestione allarmi"},
    {"pgb_RS232", Kind::Progress, "fra_Select_RS232", 120, 7440, 5475, 375,
     "Avanzamento della scrittura"},
    {"cmd_Exit", Kind::Button, "fra_Select_RS232", 3840, 7920, 1650, 615, "E&xit"},
    // Below the layout's controls, which all keep their places: what is going on, in words.
    {"lbl_Stato", Kind::Label, "", 60, kStatusTop, 5715, kStatusHeight, kReady},
};

// The layout was drawn for a narrower system font; a label may grow into the free space up to
// the control it names so that its text is not cut off.
void Fit_Label(QLabel* label, int rightLimitPx) {
    const int wanted = std::min(label->sizeHint().width(), rightLimitPx - label->x());
    if (wanted > label->width()) {
        label->resize(wanted, label->height());
    }
}

// Courier New bold 9.75 pt; where Courier New is not installed and the font system offers no
// fixed-pitch stand-in for it, the system's monospace font, bold, at the same size.
QFont Trace_Font() {
    QFont font(QStringLiteral("Courier New"));
    font.setPointSizeF(9.75);
    font.setBold(true);
    if (!QFontInfo(font).fixedPitch()) {
        font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        font.setPointSizeF(9.75);
        font.setBold(true);
    }
    return font;
}

// The busy pointer for the span of a scope, restored on every way out.
class BusyPointer {
  public:
    BusyPointer() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyPointer() { QApplication::restoreOverrideCursor(); }
    BusyPointer(const BusyPointer&) = delete;
    BusyPointer& operator=(const BusyPointer&) = delete;
};

}  // namespace

const QString frm_RS232::kCaption = QStringLiteral("Comunicazione seriale verso modulo LCD");

frm_RS232::frm_RS232(platform::Services& services, ProgramState& state)
    : services_(services), state_(state) {
    platform::Name_Window(this, QStringLiteral("frm_RS232"));
    setWindowTitle(kCaption);
    Build_Controls();
    setFixedSize(Twips(5805), Twips(kStatusTop + kStatusHeight));
    Centre_On_Screen();
    Form_Load();
}

void frm_RS232::Fit_Status_Line() {
    // The status line grows (and the window with it) until its whole text shows, however many
    // lines the text wraps to at this font and dpi; it never shrinks below its two lines.
    const int height =
        std::max(Twips(kStatusHeight), lbl_Stato->heightForWidth(lbl_Stato->width()));
    if (height != lbl_Stato->height()) {
        lbl_Stato->resize(lbl_Stato->width(), height);
        setFixedSize(width(), lbl_Stato->y() + height);
    }
}

// A window destroyed without being closed (the program ending) still leaves the port closed.
frm_RS232::~frm_RS232() {
    Form_Unload();
}

void frm_RS232::Build_Controls() {
    // The layout's design font: small enough that the captions fit their boxes.
    QFont small = font();
    small.setPointSizeF(8.25);
    setFont(small);

    Take_Controls(platform::Build_Controls(this, kLayout));
    lbl_Stato->setWordWrap(true);

    rtb_RS232_SPY->setFont(Trace_Font());
    // "Attiva porta selezionata:" is a few pixels wider than its frame in the platform's font;
    // the left-hand frames may grow up to the settings frame.
    for (QGroupBox* frame : {fra_RS232, fra_Set_Port}) {
        platform::Fit_Frame(frame, fra_Speed->x() - 2);
    }
    pgb_RS232->setRange(0, kBlocks);
    pgb_RS232->setValue(0);
    // The bar is a bar only: a percentage would read "99%" beside "Programmazione completata",
    // since a complete run stops at 511 of 512.
    pgb_RS232->setTextVisible(false);
    Fit_Labels_And_Boxes();
    Attach_Run_View();
    Set_Tab_Order();
    announcer_ = new platform::Announcer(this);

    connect(cmd_ON, &QPushButton::clicked, this, &frm_RS232::cmd_ON_Click);
    connect(cmd_OFF, &QPushButton::clicked, this, &frm_RS232::cmd_OFF_Click);
    connect(cmd_Write_RS232, &QPushButton::clicked, this, &frm_RS232::cmd_Write_RS232_Click);
    connect(cmd_Stop_RS232, &QPushButton::clicked, this, &frm_RS232::cmd_Stop_RS232_Click);
    connect(cmd_Exit, &QPushButton::clicked, this, &frm_RS232::cmd_Exit_Click);
}

void frm_RS232::Take_Controls(const platform::Controls& c) {
    fra_Select_RS232 = c.Get<QGroupBox>("fra_Select_RS232");
    fra_RS232 = c.Get<QGroupBox>("fra_RS232");
    cmb_RS232 = c.Get<QComboBox>("cmb_RS232");
    fra_Speed = c.Get<QGroupBox>("fra_Speed");
    lbl_Baud_Rates = c.Get<QLabel>("lbl_Baud_Rates");
    lbl_Lenght_Byte = c.Get<QLabel>("lbl_Lenght_Byte");
    lbl_Parity_Bit = c.Get<QLabel>("lbl_Parity_Bit");
    lbl_Stop_Bit = c.Get<QLabel>("lbl_Stop_Bit");
    txt_Baud_Rates = c.Get<QLineEdit>("txt_Baud_Rates");
    txt_Lenght_Byte = c.Get<QLineEdit>("txt_Lenght_Byte");
    txt_Parity_Bit = c.Get<QLineEdit>("txt_Parity_Bit");
    txt_Stop_Bit = c.Get<QLineEdit>("txt_Stop_Bit");
    fra_Set_Port = c.Get<QGroupBox>("fra_Set_Port");
    cmd_ON = c.Get<QPushButton>("cmd_ON");
    cmd_OFF = c.Get<QPushButton>("cmd_OFF");
    fra_Comandi = c.Get<QGroupBox>("fra_Comandi");
    cmd_Write_RS232 = c.Get<QPushButton>("cmd_Write_RS232");
    rtb_RS232_SPY = c.Get<QTextEdit>("rtb_RS232_SPY");
    lbl_Send_Packet = c.Get<QLabel>("lbl_Send_Packet");
    lbl_Received_Packet = c.Get<QLabel>("lbl_Received_Packet");
    txt_Send_Packet = c.Get<QLineEdit>("txt_Send_Packet");
    txt_Received_Packet = c.Get<QLineEdit>("txt_Received_Packet");
    cmd_Stop_RS232 = c.Get<QPushButton>("cmd_Stop_RS232");
    pgb_RS232 = c.Get<QProgressBar>("pgb_RS232");
    cmd_Exit = c.Get<QPushButton>("cmd_Exit");
    lbl_Stato = c.Get<QLabel>("lbl_Stato");
}

void frm_RS232::Fit_Labels_And_Boxes() {
    // The settings boxes are far wider than "Nessuno" needs, so when the platform's font makes a
    // label longer than its twips allow, the boxes give way to the right, keeping their right edge.
    int labelsRight = 0;
    for (QLabel* label : {lbl_Baud_Rates, lbl_Lenght_Byte, lbl_Parity_Bit, lbl_Stop_Bit}) {
        labelsRight = std::max(
            labelsRight, label->x() + label->fontMetrics().horizontalAdvance(label->text()) + 4);
    }
    for (QLineEdit* box : {txt_Baud_Rates, txt_Lenght_Byte, txt_Parity_Bit, txt_Stop_Bit}) {
        if (labelsRight > box->x()) {
            const int right = box->x() + box->width();
            box->setGeometry(labelsRight, box->y(), right - labelsRight, box->height());
        }
    }
    for (QLabel* label : {lbl_Baud_Rates, lbl_Lenght_Byte, lbl_Parity_Bit, lbl_Stop_Bit}) {
        Fit_Label(label, txt_Baud_Rates->x() - 2);
    }
    for (QLabel* label : {lbl_Send_Packet, lbl_Received_Packet}) {
        Fit_Label(label, txt_Send_Packet->x() - 2);
    }
}

// The counters, trace, bar and status line: the window's own subscriber to its runs.
void frm_RS232::Attach_Run_View() {
    sendCounter_ = std::make_unique<platform::QtTextControl>(*txt_Send_Packet, &together_);
    receivedCounter_ = std::make_unique<platform::QtTextControl>(*txt_Received_Packet, &together_);
    spy_ = std::make_unique<platform::QtRichTextControl>(*rtb_RS232_SPY, &together_);
    status_ = std::make_unique<platform::QtLabelControl>(*lbl_Stato, together_);
    together_.Add([this] { Fit_Status_Line(); });
    // The bar last: whoever watches it change sees every other widget already up to date.
    progress_ = std::make_unique<platform::QtProgressControl>(*pgb_RS232, &together_);
    view_ = std::make_unique<ControlsView>(*sendCounter_, *receivedCounter_, *spy_, *progress_,
                                           &runStatus_);
    feed_.Subscribe(*view_);
    runLog_ =
        std::make_unique<RunLog>("serial window", [](RunLog::Level level, const std::string& line) {
            platform::Log_Line(platform::Link_Log(),
                               level == RunLog::Level::Failure ? QtWarningMsg
                               : level == RunLog::Level::Step  ? QtInfoMsg
                                                               : QtDebugMsg,
                               line);
        });
    feed_.Subscribe(*runLog_);
}

void frm_RS232::Set_Tab_Order() {
    // Tab goes port list, ON, OFF, "Scrivi modulo LCD", Stop, Exit. The fixed line settings and
    // the counters are read-only text: a screen reader reads them, Tab passes them by. The trace
    // comes after Exit, so it can still be reached to select and copy from it.
    for (QLineEdit* box : {txt_Baud_Rates, txt_Lenght_Byte, txt_Parity_Bit, txt_Stop_Bit,
                           txt_Send_Packet, txt_Received_Packet}) {
        box->setFocusPolicy(Qt::NoFocus);
    }
    rtb_RS232_SPY->setTabChangesFocus(true);
    setTabOrder(cmd_Write_RS232, cmd_Stop_RS232);
    setTabOrder(cmd_Stop_RS232, cmd_Exit);
    setTabOrder(cmd_Exit, rtb_RS232_SPY);
}

void frm_RS232::Centre_On_Screen() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) {
        return;
    }
    const QRect area = screen->geometry();
    const QSize outer = frameGeometry().size();
    move(area.x() + static_cast<int>((area.width() - outer.width()) / 2.0),
         area.y() + static_cast<int>((area.height() - outer.height()) / 2.0));
}

void frm_RS232::Form_Load() {
    List_Ports(/*firstProbe=*/true);
    // Plugging and unplugging is followed from now until the window closes.
    services_.serial.SetPortsChangedHandler([this] { Ports_Changed(); });
}

// The probe and the states it leaves. A later probe (the devices changed) keeps the chosen
// entry when its device is still listed, and shows no message box: the status line says what
// the list is.
void frm_RS232::List_Ports(bool firstProbe) {
    const QString chosen = firstProbe ? QString() : cmb_RS232->currentData(kDeviceRole).toString();
    int failedPort = 0;
    {
        BusyPointer busy;
        cmb_RS232->clear();
        failedPort = Probe_Ports();
    }
    portsChanged_ = false;
    const int keep = chosen.isEmpty() ? -1 : cmb_RS232->findData(chosen, kDeviceRole);
    const int shown = keep >= 0 ? keep : 0;
    if (cmb_RS232->count() > 0) {
        cmb_RS232->setEditText(cmb_RS232->itemText(shown));
        cmb_RS232->setCurrentIndex(shown);
        cmd_ON->setEnabled(true);
    } else {
        cmb_RS232->setEditText(QString());
        cmd_ON->setEnabled(false);
    }
    cmd_OFF->setEnabled(false);
    fra_Comandi->setEnabled(false);
    cmd_Write_RS232->setEnabled(false);

    // Where the operator learns that the list stopped early: the status line, which the probe
    // can write without stopping anyone (a message box comes only when no port at all is usable,
    // and only when the window opens).
    if (cmb_RS232->count() == 0) {
        runStatus_.Say("Nessuna porta seriale utilizzabile. " + Port_Failure(failedPort));
        if (firstProbe) {
            Report_No_Port(failedPort);
        }
    } else if (failedPort > 0 && services_.serial.PortCount() > failedPort) {
        runStatus_.Say(std::string(kReady) + ". " + Port_Failure(failedPort));
    } else {
        runStatus_.Say(kReady);
    }
    together_.Flush();  // the status line is not part of a run here: shown at once
}

// Ports 1 to 16 in order, from a port table read once for the whole probe; the list ends before
// the first port that fails, and every port that opened is closed again before the next is
// tried. Returns the port that failed, 0 when none did.
int frm_RS232::Probe_Ports() {
    platform::SerialControl& rs = services_.serial;
    rs.ReadPortTable();
    for (int n = 1; n <= kHighestProbedPort; ++n) {
        rs.SetCommPort(n);
        if (!rs.SetPortOpen(true)) {
            return n;
        }
        if (rs.PortOpen()) {
            cmb_RS232->addItem(QStringLiteral("COM %1").arg(n));
            const int item = cmb_RS232->count() - 1;
            cmb_RS232->setItemData(item, QString::fromStdString(rs.PortDescription(n)),
                                   Qt::ToolTipRole);
            cmb_RS232->setItemData(item, QString::fromStdString(rs.DevicePath(n)), kDeviceRole);
        }
        if (rs.PortOpen() && !rs.SetPortOpen(false)) {
            return n;
        }
    }
    return 0;
}

// "COM 3 (/dev/ttyS0) non si apre: <why>" and the ports that were not tried because of it.
std::string frm_RS232::Port_Failure(int port) const {
    const platform::SerialControl& rs = services_.serial;
    if (port == 0 || (rs.PortCount() == 0 && rs.DevicePath(port).empty())) {
        return "Nessun dispositivo seriale trovato: collegare l'adattatore USB-seriale, oppure "
               "avviare il modulo virtuale (./run.sh --demo).";
    }
    const std::string device = rs.DevicePath(port);
    std::string text = "COM " + std::to_string(port) + (device.empty() ? "" : " (" + device + ")") +
                       " non si apre: " + rs.LastError();
    if (rs.PortCount() > port) {
        text += "\r\nLe porte seguenti non sono state provate:";
        for (int n = port + 1; n <= std::min(rs.PortCount(), kHighestProbedPort); ++n) {
            text += (n == port + 1 ? " COM " : ", COM ") + std::to_string(n) + " (" +
                    rs.DevicePath(n) + ")";
        }
        text += ".";
    }
    return text;
}

void frm_RS232::Report_No_Port(int failedPort) {
    services_.messages.Show("Nessuna porta seriale utilizzabile.\r\n" + Port_Failure(failedPort),
                            "Porte seriali", platform::MessageIcon::Exclamation);
}

// The devices may have changed (or the open port's device went away). The list follows while
// the window is shown and no port is open; an open port whose device is gone is closed as OFF
// closes it, unless a run is going: the run meets the missing device as a module that does not
// answer, and the window keeps what the run left until OFF.
void frm_RS232::Ports_Changed() {
    platform::SerialControl& rs = services_.serial;
    if (runInProgress_ || !isVisible()) {
        portsChanged_ = true;
        return;
    }
    if (!openDevice_.empty()) {
        if (rs.PortOpen() || lostDuringRun_) {
            portsChanged_ = true;
            return;
        }
        const std::string device = openDevice_;
        const std::string lost = rs.LastError();
        cmd_OFF_Click();
        List_Ports(/*firstProbe=*/false);
        runStatus_.Say(lost.empty() ? "Il dispositivo " + device + " è stato scollegato." : lost);
        together_.Flush();
        Announce_Status();
        return;
    }
    List_Ports(/*firstProbe=*/false);
    // The list followed a device plugged in or pulled out: what it is now is heard.
    Announce_Status();
}

void frm_RS232::Announce_Status() {
    announcer_->Say(QString::fromStdString(runStatus_.Text()));
}

void frm_RS232::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (portsChanged_ && openDevice_.empty() && !runInProgress_) {
        QTimer::singleShot(0, this, &frm_RS232::Ports_Changed);
    }
}

void frm_RS232::Form_Unload() {
    services_.serial.SetPortsChangedHandler(nullptr);
    if (services_.serial.PortOpen()) {
        services_.serial.SetPortOpen(false);
    }
}

void frm_RS232::Show_Error_RS232(const std::string& line) {
    services_.messages.Show("Comunicazione seriale interrotta.\r\n" + line, "ERROR RS232",
                            platform::MessageIcon::Critical);
}

void frm_RS232::cmd_ON_Click() {
    const QString text = cmb_RS232->currentText();
    bool ok = false;
    const int port = text.mid(3).trimmed().toInt(&ok);
    if (!ok || port < 1 || port > 32767) {
        Show_Error_RS232("Porta seriale non valida: \"" + text.toStdString() +
                         "\". Scegliere una porta dall'elenco, per esempio \"COM 1\".");
        return;
    }
    platform::SerialControl& rs = services_.serial;
    const int previousPort = rs.CommPort();
    rs.SetCommPort(port);
    if (!rs.SetPortOpen(true) || !rs.SetSettings(kLineSettings)) {
        std::string reason = rs.LastError();
        if (reason.empty()) {
            reason = "Impossibile aprire la porta COM " + std::to_string(port) + ".";
        }
        if (rs.PortOpen()) {
            rs.SetPortOpen(false);
        }
        rs.SetCommPort(previousPort);
        Show_Error_RS232(reason);
        return;
    }
    cmd_OFF->setEnabled(true);
    // ON goes away under the focus: OFF, its counterpart, takes it at once, rather than the
    // focus walking down the Tab chain.
    platform::Pass_Focus(cmd_ON, cmd_OFF);
    cmd_ON->setEnabled(false);
    fra_Comandi->setEnabled(true);
    cmd_Write_RS232->setEnabled(true);
    openDevice_ = rs.DevicePath(port);
    lostDuringRun_ = false;
    runStatus_.Say("COM " + std::to_string(port) + " aperta");
    together_.Flush();
    Announce_Status();
}

void frm_RS232::cmd_OFF_Click() {
    services_.serial.SetPortOpen(false);
    spy_->SetText("");
    runStatus_.Say("Porta chiusa");
    spy_->Flush();
    // OFF, and then "Scrivi modulo LCD", go away under the focus: it waits outside the window's
    // controls and lands once on ON, the counterpart, instead of stopping at each of them.
    const bool focusOnOff = cmd_OFF->hasFocus();
    if (focusOnOff) {
        cmd_OFF->clearFocus();
    }
    cmd_OFF->setEnabled(false);
    cmd_ON->setEnabled(true);
    fra_Comandi->setEnabled(false);
    cmd_Write_RS232->setEnabled(false);
    if (focusOnOff && cmd_ON->isEnabled()) {
        cmd_ON->setFocus(Qt::OtherFocusReason);
    }
    Announce_Status();
    openDevice_.clear();
    lostDuringRun_ = false;
    if (portsChanged_) {
        // What changed while the port was open reaches the list once the window is idle again.
        QTimer::singleShot(0, this, &frm_RS232::Ports_Changed);
    }
}

void frm_RS232::cmd_Stop_RS232_Click() {
    state_.StopRequested = true;
}

void frm_RS232::cmd_Exit_Click() {
    close();
}

void frm_RS232::cmd_Write_RS232_Click() {
    // The exchanges assume one run at a time on a port that stays open: a click that arrives
    // while a run yields is dropped.
    if (runInProgress_) {
        return;
    }
    runInProgress_ = true;
    spy_->SetText("");
    sendCounter_->SetText("0");
    receivedCounter_->SetText("0");
    cmd_Exit->setEnabled(false);
    cmd_OFF->setEnabled(false);
    state_.StopRequested = false;
    runStatus_.Run_Started();
    // The view hears every step and the end; the result itself is not needed here.
    Run_Programming(CompilerIo{services_.files, services_.messages},
                    LinkIo{state_, services_.serial, services_.clock, services_.pump,
                           services_.messages, feed_});
    if (!services_.serial.PortOpen() && !openDevice_.empty()) {
        lostDuringRun_ = true;
        runStatus_.Say(runStatus_.Text() + ". " + services_.serial.LastError());
    }
    // During the run the trace, the counters, the bar and the status line follow together at
    // most ten times a second; at its end they show the exact final state at once.
    together_.Flush();
    cmd_Exit->setEnabled(true);
    cmd_OFF->setEnabled(true);
    runInProgress_ = false;
    // The bar stops at 511 of 512 after a good run: the end is told in words, whatever it was.
    Announce_Status();
    if (closeAfterRun_) {
        closeAfterRun_ = false;
        close();
    }
}

void frm_RS232::closeEvent(QCloseEvent* event) {
    if (runInProgress_) {
        // Closing would close the port under a running exchange: close when the run ends.
        closeAfterRun_ = true;
        setWindowTitle(kCaption + QStringLiteral(" - ") + QString::fromUtf8(kWaitForRunText));
        event->ignore();
        return;
    }
    setWindowTitle(kCaption);
    Form_Unload();
    event->accept();
}

SerialWindowHolder::~SerialWindowHolder() {
    // The program ending with the window open still leaves the port closed.
    delete window_.data();
}

void SerialWindowHolder::ShowWindow() {
    if (window_.isNull()) {
        window_ = new frm_RS232(services_, state_);
        window_->setAttribute(Qt::WA_DeleteOnClose);
    }
    if (window_->isMinimized()) {
        window_->showNormal();
    } else {
        window_->show();
    }
    window_->raise();
    window_->activateWindow();
}

bool SerialWindowHolder::RunInProgress() const {
    return !window_.isNull() && window_->Run_In_Progress();
}

}  // namespace lcdprog
