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
#include <QTextEdit>

#include "compiler/mod_Compilatore.h"
#include "link/mod_RS232.h"
#include "link/programming_run.h"
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
    setFixedSize(Twips(5805), Twips(8730));
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

    sendCounter_ = std::make_unique<platform::QtTextControl>(*txt_Send_Packet);
    receivedCounter_ = std::make_unique<platform::QtTextControl>(*txt_Received_Packet);
    spy_ = std::make_unique<platform::QtRichTextControl>(*rtb_RS232_SPY);
    progress_ = std::make_unique<platform::QtProgressControl>(*pgb_RS232);

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
    {
        BusyPointer busy;
        cmb_RS232->clear();
        Probe_Ports();
    }
    if (cmb_RS232->count() > 0) {
        cmb_RS232->setEditText(cmb_RS232->itemText(0));
        cmb_RS232->setCurrentIndex(0);
        cmd_ON->setEnabled(true);
    } else {
        cmb_RS232->setEditText(QString());
        cmd_ON->setEnabled(false);
    }
    cmd_OFF->setEnabled(false);
    fra_Comandi->setEnabled(false);
    cmd_Write_RS232->setEnabled(false);
    if (cmb_RS232->count() == 0) {
        Report_No_Port();
    }
}

// Ports 1 to 16 in order; the list ends before the first port that fails, and every port that
// opened is closed again before the next is tried.
void frm_RS232::Probe_Ports() {
    platform::SerialControl& rs = services_.serial;
    for (int n = 1; n <= kHighestProbedPort; ++n) {
        rs.SetCommPort(n);
        if (!rs.SetPortOpen(true)) {
            return;
        }
        if (rs.PortOpen()) {
            cmb_RS232->addItem(QStringLiteral("COM %1").arg(n));
            cmb_RS232->setItemData(cmb_RS232->count() - 1, QString::fromStdString(rs.DevicePath(n)),
                                   Qt::ToolTipRole);
        }
        if (rs.PortOpen() && !rs.SetPortOpen(false)) {
            return;
        }
    }
}

void frm_RS232::Report_No_Port() {
    std::string text = "Nessuna porta seriale utilizzabile.\r\n";
    const std::string reason = services_.serial.LastError();
    if (!reason.empty()) {
        text += reason + "\r\n";
    }
    text +=
        "Verificare che l'adattatore seriale sia collegato e che l'utente abbia il permesso di "
        "usarlo: deve far parte del gruppo proprietario del dispositivo (dialout su Debian), "
        "poi uscire e rientrare nella sessione.";
    services_.messages.Show(text, "Porte seriali", platform::MessageIcon::Exclamation);
}

void frm_RS232::Form_Unload() {
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
}

void frm_RS232::cmd_OFF_Click() {
    services_.serial.SetPortOpen(false);
    spy_->SetText("");
    spy_->Flush();
    cmd_OFF->setEnabled(false);
    cmd_ON->setEnabled(true);
    fra_Comandi->setEnabled(false);
    cmd_Write_RS232->setEnabled(false);
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
    Run_Programming(CompilerIo{services_.files, services_.messages},
                    LinkIo{services_.serial, services_.clock, services_.pump, services_.messages,
                           *sendCounter_, *receivedCounter_, *spy_, *progress_});
    // During the run the trace, the counters and the bar follow at most ten times a second; at
    // its end they show the exact final state at once.
    spy_->Flush();
    sendCounter_->Flush();
    receivedCounter_->Flush();
    progress_->Flush();
    cmd_Exit->setEnabled(true);
    cmd_OFF->setEnabled(true);
    RunInProgress = false;
    if (closeAfterRun_) {
        closeAfterRun_ = false;
        close();
    }
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
