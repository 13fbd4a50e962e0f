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
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QTextEdit>
#include <QTimer>

#include "compiler/mod_Compilatore.h"
#include "link/mod_RS232.h"
#include "platform/qt/accessibility.h"
#include "platform/qt/layout.h"
#include "platform/qt/twips.h"
#include "state/mod_variabili.h"

namespace lcdprog {
namespace {

using platform::Frame;
using platform::Name_Control;
using platform::Place;
using platform::Twips;

constexpr int kHighestProbedPort = 16;
constexpr int kBlocks = 512;  // 65536 / 128: the progress bar counts 128-byte blocks
const std::string kLineSettings = "115200,n,8,1";
// The status line, below the layout's window: two lines of the window's font.
constexpr int kStatusTop = 8730;
constexpr int kStatusHeight = 480;
// The device a list entry names, kept with it so that a new probe can find the chosen one.
constexpr int kDeviceRole = Qt::UserRole;

const char kReady[] = "Pronto";

QPushButton* Button(QWidget* parent, const QString& name, const QString& caption,
                    const QString& tip, int left, int top, int width, int height) {
    auto* button = new QPushButton(caption, parent);
    Place(button, left, top, width, height);
    button->setToolTip(tip);
    Name_Control(button, name, caption, tip);
    return button;
}

QLabel* Label(QWidget* parent, const QString& name, const QString& text, int left, int top,
              int width, int height) {
    auto* label = new QLabel(text, parent);
    Place(label, left, top, width, height);
    Name_Control(label, name, text, QString());
    return label;
}

// A text box named by its label; the label's text is what a screen reader announces for it.
QLineEdit* Text_Box(QWidget* parent, const QString& name, QLabel* label, const QString& text,
                    const QString& tip, int left, int top, int width, int height) {
    auto* edit = new QLineEdit(text, parent);
    Place(edit, left, top, width, height);
    edit->setToolTip(tip);
    edit->setReadOnly(true);
    label->setBuddy(edit);
    Name_Control(edit, name, label->text(), tip);
    return edit;
}

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

// The bar as the link drives it, telling the status line which block is going out.
class ProgressWithStatus final : public platform::ProgressControl {
  public:
    ProgressWithStatus(platform::ProgressControl& bar, RunStatus& status, platform::Clock& clock)
        : bar_(bar), status_(status), clock_(clock) {}
    void SetValue(int value) override {
        bar_.SetValue(value);
        status_.Block(bar_.Value(), clock_.Milliseconds());
    }
    int Value() const override { return bar_.Value(); }

  private:
    platform::ProgressControl& bar_;
    RunStatus& status_;
    platform::Clock& clock_;
};

QPointer<frm_RS232>& Instance() {
    static QPointer<frm_RS232> instance;
    return instance;
}

}  // namespace

const QString frm_RS232::kCaption = QStringLiteral("Comunicazione seriale verso modulo LCD");

frm_RS232::frm_RS232(platform::Services& services) : services_(services) {
    setObjectName(QStringLiteral("frm_RS232"));
    setWindowTitle(kCaption);
    setAccessibleName(kCaption);
    setAccessibleDescription(QStringLiteral("frm_RS232"));
    Build_Controls();
    setFixedSize(Twips(5805), Twips(kStatusTop + kStatusHeight));
    Centre_On_Screen();
    Form_Load();
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

    fra_Select_RS232 =
        Frame(this, QStringLiteral("fra_Select_RS232"),
              QStringLiteral("Seleziona porta seriale tra quelle disponibili:"), 60, 0, 5715, 8715);
    QWidget* outer = fra_Select_RS232;

    fra_RS232 = Frame(outer, QStringLiteral("fra_RS232"), QStringLiteral("Porte disponibili:"), 120,
                      240, 1995, 735);
    cmb_RS232 = new QComboBox(fra_RS232);
    cmb_RS232->setEditable(true);
    cmb_RS232->setInsertPolicy(QComboBox::NoInsert);
    cmb_RS232->setEditText(QStringLiteral("Combo1"));
    Place(cmb_RS232, 120, 300, 1755, 315);
    const QString comboTip = QStringLiteral("Selezionare una porta seriale dall'elenco");
    cmb_RS232->setToolTip(comboTip);
    Name_Control(cmb_RS232, QStringLiteral("cmb_RS232"), fra_RS232->title(), comboTip);

    fra_Speed = Frame(outer, QStringLiteral("fra_Speed"),
                      QStringLiteral("Impostazioni porta seriale:"), 2220, 240, 3375, 1515);
    lbl_Baud_Rates = Label(fra_Speed, QStringLiteral("lbl_Baud_Rates"),
                           QStringLiteral("Baud Rates:"), 120, 300, 1700, 255);
    lbl_Lenght_Byte = Label(fra_Speed, QStringLiteral("lbl_Lenght_Byte"),
                            QStringLiteral("Lunghezza dato in bit:"), 120, 600, 1700, 255);
    lbl_Parity_Bit = Label(fra_Speed, QStringLiteral("lbl_Parity_Bit"),
                           QStringLiteral("Bit di parità:"), 120, 900, 1700, 255);
    lbl_Stop_Bit = Label(fra_Speed, QStringLiteral("lbl_Stop_Bit"), QStringLiteral("Bit di stop:"),
                         120, 1200, 1695, 255);
    txt_Baud_Rates = Text_Box(fra_Speed, QStringLiteral("txt_Baud_Rates"), lbl_Baud_Rates,
                              QStringLiteral("115200"),
                              QStringLiteral("Velocità trasmissione dati"), 1860, 240, 1275, 285);
    txt_Lenght_Byte =
        Text_Box(fra_Speed, QStringLiteral("txt_Lenght_Byte"), lbl_Lenght_Byte, QStringLiteral("8"),
                 QStringLiteral("Lunghezza dato 8 bit"), 1860, 540, 1275, 285);
    txt_Parity_Bit =
        Text_Box(fra_Speed, QStringLiteral("txt_Parity_Bit"), lbl_Parity_Bit,
                 QStringLiteral("Nessuno"), QStringLiteral("Bit di parità"), 1860, 840, 1275, 285);
    txt_Stop_Bit =
        Text_Box(fra_Speed, QStringLiteral("txt_Stop_Bit"), lbl_Stop_Bit, QStringLiteral("1"),
                 QStringLiteral("Numero bit di stop"), 1860, 1140, 1275, 285);

    fra_Set_Port = Frame(outer, QStringLiteral("fra_Set_Port"),
                         QStringLiteral("Attiva porta selezionata:"), 120, 1020, 1995, 735);
    cmd_ON = Button(fra_Set_Port, QStringLiteral("cmd_ON"), QStringLiteral("ON"),
                    QStringLiteral("Attiva porta seriale selezionata"), 120, 300, 795, 315);
    cmd_OFF = Button(fra_Set_Port, QStringLiteral("cmd_OFF"), QStringLiteral("OFF"),
                     QStringLiteral("Disattiva porta seriale"), 1080, 300, 795, 315);

    fra_Comandi =
        Frame(outer, QStringLiteral("fra_Comandi"),
              QStringLiteral("Lettura/Scrittura modulo LCD alarm:"), 120, 1800, 5475, 735);
    cmd_Write_RS232 =
        Button(fra_Comandi, QStringLiteral("cmd_Write_RS232"), QStringLiteral("Scrivi modulo LCD"),
               QStringLiteral("Scrive modulo LCD gestione allarmi"), 180, 300, 1650, 315);

    rtb_RS232_SPY = new QTextEdit(outer);
    Place(rtb_RS232_SPY, 120, 2580, 5475, 4755);
    rtb_RS232_SPY->setReadOnly(true);
    rtb_RS232_SPY->setTextInteractionFlags(Qt::TextSelectableByMouse |
                                           Qt::TextSelectableByKeyboard);
    rtb_RS232_SPY->setAcceptRichText(false);
    rtb_RS232_SPY->setFont(Trace_Font());
    Name_Control(rtb_RS232_SPY, QStringLiteral("rtb_RS232_SPY"),
                 QStringLiteral("Traccia della comunicazione seriale"), QString());

    lbl_Send_Packet = Label(outer, QStringLiteral("lbl_Send_Packet"),
                            QStringLiteral("Pacchetti inviati al PIC:"), 180, 7980, 1755, 255);
    lbl_Received_Packet =
        Label(outer, QStringLiteral("lbl_Received_Packet"),
              QStringLiteral("Pacchetti ricevuti dal PIC:"), 180, 8340, 1995, 255);
    txt_Send_Packet =
        Text_Box(outer, QStringLiteral("txt_Send_Packet"), lbl_Send_Packet, QStringLiteral("0"),
                 QStringLiteral("Numero pacchetti inviati al PIC"), 2400, 7920, 1275, 285);
    txt_Received_Packet = Text_Box(
        outer, QStringLiteral("txt_Received_Packet"), lbl_Received_Packet, QStringLiteral("0"),
        QStringLiteral("Numero pacchetti ricevuti dal PIC"), 2400, 8280, 1275, 285);

    // Over fra_Comandi's area but not inside it: disabling the frame must leave Stop usable.
    cmd_Stop_RS232 =
        Button(outer, QStringLiteral("cmd_Stop_RS232"), QStringLiteral("Stop "),
               QStringLiteral("Abortisce scrittura / lettura modulo LCD gestione allarmi"), 3780,
               2100, 1650, 315);
    cmd_Stop_RS232->raise();

    pgb_RS232 = new QProgressBar(outer);
    Place(pgb_RS232, 120, 7440, 5475, 375);
    pgb_RS232->setRange(0, kBlocks);
    pgb_RS232->setValue(0);
    Name_Control(pgb_RS232, QStringLiteral("pgb_RS232"),
                 QStringLiteral("Avanzamento della scrittura"), QString());

    cmd_Exit = Button(outer, QStringLiteral("cmd_Exit"), QStringLiteral("E&xit"), QString(), 3840,
                      7920, 1650, 615);

    // Below the layout's controls, which all keep their places: what is going on, in words.
    lbl_Stato = new QLabel(QString::fromLatin1(kReady), this);
    Place(lbl_Stato, 60, kStatusTop, 5715, kStatusHeight);
    lbl_Stato->setWordWrap(true);
    lbl_Stato->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    Name_Control(lbl_Stato, QStringLiteral("lbl_Stato"), QStringLiteral("Stato"), QString());

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

    // Tab order of the layout, over the controls that can take the focus.
    const QWidget* order[] = {cmb_RS232,       txt_Baud_Rates,      txt_Lenght_Byte,
                              txt_Parity_Bit,  txt_Stop_Bit,        cmd_ON,
                              cmd_OFF,         cmd_Write_RS232,     rtb_RS232_SPY,
                              txt_Send_Packet, txt_Received_Packet, cmd_Stop_RS232,
                              cmd_Exit};
    for (std::size_t i = 1; i < std::size(order); ++i) {
        QWidget::setTabOrder(const_cast<QWidget*>(order[i - 1]), const_cast<QWidget*>(order[i]));
    }

    sendCounter_ = std::make_unique<platform::QtTextControl>(*txt_Send_Packet, &together_);
    receivedCounter_ = std::make_unique<platform::QtTextControl>(*txt_Received_Packet, &together_);
    spy_ = std::make_unique<platform::QtRichTextControl>(*rtb_RS232_SPY, &together_);
    if (lbl_Stato != nullptr) {
        status_ = std::make_unique<platform::QtLabelControl>(*lbl_Stato, together_);
    }
    // The bar last: whoever watches it change sees every other widget already up to date.
    progress_ = std::make_unique<platform::QtProgressControl>(*pgb_RS232, &together_);
    runProgress_ = std::make_unique<ProgressWithStatus>(*progress_, runStatus_, services_.clock);

    connect(cmd_ON, &QPushButton::clicked, this, &frm_RS232::cmd_ON_Click);
    connect(cmd_OFF, &QPushButton::clicked, this, &frm_RS232::cmd_OFF_Click);
    connect(cmd_Write_RS232, &QPushButton::clicked, this, &frm_RS232::cmd_Write_RS232_Click);
    connect(cmd_Stop_RS232, &QPushButton::clicked, this, &frm_RS232::cmd_Stop_RS232_Click);
    connect(cmd_Exit, &QPushButton::clicked, this, &frm_RS232::cmd_Exit_Click);
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

// "COM 3 (/dev/ttyS0) non si apre: <why>. Le porte seguenti non sono state provate: COM 4
// (/dev/ttyS1)." for the port that ended the probe.
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
    if (RunInProgress || !isVisible()) {
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
        return;
    }
    List_Ports(/*firstProbe=*/false);
}

void frm_RS232::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (portsChanged_ && openDevice_.empty() && !RunInProgress) {
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
    cmd_ON->setEnabled(false);
    fra_Comandi->setEnabled(true);
    cmd_Write_RS232->setEnabled(true);
    openDevice_ = rs.DevicePath(port);
    lostDuringRun_ = false;
    runStatus_.Say("COM " + std::to_string(port) + " aperta");
    together_.Flush();
}

void frm_RS232::cmd_OFF_Click() {
    services_.serial.SetPortOpen(false);
    spy_->SetText("");
    runStatus_.Say("Porta chiusa");
    spy_->Flush();
    cmd_OFF->setEnabled(false);
    cmd_ON->setEnabled(true);
    fra_Comandi->setEnabled(false);
    cmd_Write_RS232->setEnabled(false);
    openDevice_.clear();
    lostDuringRun_ = false;
    if (portsChanged_) {
        // What changed while the port was open reaches the list once the window is idle again.
        QTimer::singleShot(0, this, &frm_RS232::Ports_Changed);
    }
}

void frm_RS232::cmd_Stop_RS232_Click() {
    StopRequested = true;
}

void frm_RS232::cmd_Exit_Click() {
    close();
}

void frm_RS232::cmd_Write_RS232_Click() {
    // The exchanges assume one run at a time on a port that stays open: a click that arrives
    // while a run yields is dropped.
    if (RunInProgress) {
        return;
    }
    RunInProgress = true;
    spy_->SetText("");
    sendCounter_->SetText("0");
    receivedCounter_->SetText("0");
    cmd_Exit->setEnabled(false);
    cmd_OFF->setEnabled(false);
    StopRequested = false;
    runStatus_.Run_Started(services_.clock.Milliseconds());
    const RunEnding ending = Run_Programming();
    runStatus_.Run_Ended(ending, services_.clock.Milliseconds());
    if (!services_.serial.PortOpen() && !openDevice_.empty()) {
        lostDuringRun_ = true;
        runStatus_.Say(runStatus_.Text() + ". " + services_.serial.LastError());
    }
    // During the run the trace, the counters, the bar and the status line follow together at
    // most ten times a second; at its end they show the exact final state at once.
    together_.Flush();
    cmd_Exit->setEnabled(true);
    cmd_OFF->setEnabled(true);
    RunInProgress = false;
    if (closeAfterRun_) {
        closeAfterRun_ = false;
        close();
    }
}

// Compile, detect, program, and reset unless the programming ended because of Stop.
RunEnding frm_RS232::Run_Programming() {
    if (!Compile_Image(CompilerIo{services_.files, services_.messages})) {
        return RunEnding::CompileFailed;
    }
    const LinkIo io{services_.serial, services_.clock,   services_.pump, services_.messages,
                    *sendCounter_,    *receivedCounter_, *spy_,          *runProgress_};
    runStatus_.Looking_For_Module();
    if (!Find_Module(io)) {
        return RunEnding::NoModule;
    }
    runStatus_.Writing_Started(services_.clock.Milliseconds());
    const bool programmed = Write_EEPROM_I2C(io);
    if (!programmed && StopRequested) {
        return RunEnding::Stopped;
    }
    const bool reset = Reset_PIC(io);
    return !programmed ? RunEnding::WriteFailed : reset ? RunEnding::Done : RunEnding::ResetFailed;
}

void frm_RS232::closeEvent(QCloseEvent* event) {
    if (RunInProgress) {
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

void Show_frm_RS232(platform::Services& services) {
    QPointer<frm_RS232>& instance = Instance();
    if (instance.isNull()) {
        instance = new frm_RS232(services);
        instance->setAttribute(Qt::WA_DeleteOnClose);
    }
    if (instance->isMinimized()) {
        instance->showNormal();
    } else {
        instance->show();
    }
    instance->raise();
    instance->activateWindow();
}

frm_RS232* Current_frm_RS232() {
    return Instance().data();
}

}  // namespace lcdprog
