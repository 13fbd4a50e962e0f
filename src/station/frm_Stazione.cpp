#include "station/frm_Stazione.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRandomGenerator>
#include <QScrollArea>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <cmath>

#include "link/mod_RS232.h"
#include "main_window/frm_Config_LCD.h"
#include "platform/qt/accessibility.h"
#include "platform/qt/port_table.h"

namespace lcdprog {
namespace {

using platform::Name_Control;

const QString kCaption = QStringLiteral("Stazione di produzione");
constexpr int kRefreshMs = 100;  // the panels follow their ports at most ten times a second
constexpr int kCompileMs = 60000;

// Colours of the last result, readable on the light window background.
const char* const kOkColour = "#1b7f2a";
const char* const kFailedColour = "#c0141c";
const char* const kStoppedColour = "#9a5b00";

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

// "3,5": figures with the decimal comma.
QString Decimal(double value, int decimals) {
    return QString::number(value, 'f', decimals).replace(QLatin1Char('.'), QLatin1Char(','));
}

QLabel* Labelled_Value(QHBoxLayout* row, const QString& caption, const QString& name) {
    auto* label = new QLabel(caption + QStringLiteral(":"));
    auto* value = new QLabel(QStringLiteral("0"));
    label->setBuddy(value);
    // Read as its text (the figure), after the caption that is its buddy.
    Name_Control(value, name, QString(), caption);
    value->setTextInteractionFlags(Qt::TextSelectableByMouse);
    row->addWidget(label);
    row->addWidget(value);
    row->addSpacing(16);
    return value;
}

QPushButton* Button(const QString& caption, const QString& name) {
    auto* button = new QPushButton(caption);
    Name_Control(button, name, caption, QString());
    return button;
}

// The record beside the project, named after it: job.lcdprj keeps its units in job.log.jsonl,
// which is where lcdprog-cli's users are told to put theirs too.
std::string Default_Record(const std::string& project) {
    const QFileInfo info(Q(project));
    return (info.absolutePath() + QStringLiteral("/") + info.completeBaseName() +
            QStringLiteral(".log.jsonl"))
        .toStdString();
}

}  // namespace

frm_Stazione::frm_Stazione(const StationSetup& setup, QWidget* parent)
    : QWidget(parent, Qt::Window), setup_(setup), lock_(setup.cover) {
    askPin = [this](const QString& prompt) -> std::optional<QString> {
        bool ok = false;
        const QString pin =
            QInputDialog::getText(this, kCaption, prompt, QLineEdit::Password, QString(), &ok);
        return ok ? std::optional<QString>(pin) : std::nullopt;
    };
    askClose = [this](const QString& question) {
        return QMessageBox::question(this, kCaption, question) == QMessageBox::Yes;
    };
    if (!setup_.projectPath.empty()) {
        recordPath_ = Default_Record(setup_.projectPath);
    }
    Build_Controls();
    refresh_.setSingleShot(true);
    connect(&refresh_, &QTimer::timeout, this, [this] { Refresh(); });
    Compile();
    Enable_Controls();
    Show_Counts();
}

frm_Stazione::~frm_Stazione() {
    // The window went without a close (the program ended): its ports' processes go with it.
    if (supervisor_ != nullptr) {
        supervisor_->Terminate_All();
    }
}

void frm_Stazione::Build_Controls() {
    const QString title =
        setup_.projectPath.empty()
            ? kCaption
            : kCaption + QStringLiteral(" - ") + QFileInfo(Q(setup_.projectPath)).fileName();
    setWindowTitle(title);
    Name_Control(this, QStringLiteral("frm_Stazione"), title, QString());
    platform::Follow_Title(this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Build_Header());
    layout->addWidget(Build_Ports(), 1);
    layout->addWidget(Build_Footer());
    resize(900, 640);
}

QWidget* frm_Stazione::Build_Header() {
    auto* box = new QWidget;
    auto* grid = new QGridLayout(box);
    grid->setContentsMargins(0, 0, 0, 0);
    const auto add = [grid](int row, const QString& caption, const QString& name) {
        auto* label = new QLabel(caption + QStringLiteral(":"));
        auto* value = new QLabel;
        label->setBuddy(value);
        Name_Control(value, name, QString(), caption);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        grid->addWidget(label, row, 0);
        grid->addWidget(value, row, 1);
        return value;
    };
    lbl_Progetto = add(0, QStringLiteral("Progetto"), QStringLiteral("lbl_Progetto"));
    lbl_Progetto->setText(setup_.projectPath.empty() ? QStringLiteral("nessuno")
                                                     : Q(setup_.projectPath));
    lbl_SHA256 = add(1, QStringLiteral("SHA-256 dell'immagine"), QStringLiteral("lbl_SHA256"));
    lbl_SHA256->setFont(QFont(QStringLiteral("monospace")));
    lbl_Registro = add(2, QStringLiteral("Registro"), QStringLiteral("lbl_Registro"));
    lbl_Registro->setText(Q(recordPath_));
    cmd_Registro = Button(QStringLiteral("Scegli registro..."), QStringLiteral("cmd_Registro"));
    connect(cmd_Registro, &QPushButton::clicked, this, [this] { Choose_Record(); });
    grid->addWidget(cmd_Registro, 2, 2);
    grid->setColumnStretch(1, 1);
    lbl_Avviso = new QLabel;
    Name_Control(lbl_Avviso, QStringLiteral("lbl_Avviso"), QString(), QStringLiteral("Avviso"));
    lbl_Avviso->setWordWrap(true);
    lbl_Avviso->setStyleSheet(QStringLiteral("color: #9a5b00; font-weight: bold;"));
    lbl_Avviso->hide();
    grid->addWidget(lbl_Avviso, 3, 0, 1, 3);
    return box;
}

// The ports as lcdprog-cli ports lists them: the device, then its by-id name and USB serial
// number where known.
QWidget* frm_Stazione::Build_Ports() {
    const platform::PortTable table = platform::PortTable::FromEnvironment();
    auto* area = new QScrollArea;
    area->setObjectName(QStringLiteral("scr_Porte"));
    area->setWidgetResizable(true);
    auto* inside = new QWidget;
    auto* grid = new QGridLayout(inside);
    const int columns = table.Count() <= 2 ? 1 : table.Count() <= 6 ? 2 : 4;
    for (int n = 1; n <= table.Count(); ++n) {
        const std::string device = table.DevicePath(n);
        std::string description = table.Description(n);
        // The first line is the device itself, which the check box already names.
        const auto eol = description.find('\n');
        description = eol == std::string::npos ? std::string() : description.substr(eol + 1);
        Panel panel = Build_Panel(n - 1, device, description);
        grid->addWidget(panel.frame, (n - 1) / columns, (n - 1) % columns);
        panels_.emplace(device, panel);
    }
    if (table.Count() == 0) {
        auto* none = new QLabel(QStringLiteral("Nessuna porta seriale trovata."));
        Name_Control(none, QStringLiteral("lbl_Nessuna_Porta"), none->text(), QString());
        grid->addWidget(none, 0, 0);
    }
    grid->setRowStretch(grid->rowCount(), 1);
    area->setWidget(inside);
    // A USB adapter that comes or goes shows as such on its panel.
    portWatch_ = new QFileSystemWatcher(this);
    for (const std::string& folder : table.Folders()) {
        portWatch_->addPath(Q(folder));
    }
    connect(portWatch_, &QFileSystemWatcher::directoryChanged, this, [this] { Check_Presence(); });
    Check_Presence();
    return area;
}

frm_Stazione::Panel frm_Stazione::Build_Panel(int index, const std::string& device,
                                              const std::string& description) {
    const QString i = QString::number(index);
    const QString dev = Q(device);
    Panel p;
    p.frame = new QGroupBox;
    Name_Control(p.frame, QStringLiteral("fra_Porta_") + i, dev, Q(description));
    auto* v = new QVBoxLayout(p.frame);
    p.check = new QCheckBox(dev);
    Name_Control(p.check, QStringLiteral("chk_Porta_") + i, dev, Q(description));
    v->addWidget(p.check);
    if (!description.empty()) {
        auto* details = new QLabel(Q(description));
        Name_Control(details, QStringLiteral("lbl_Dettagli_") + i, QString(),
                     QStringLiteral("Dettagli ") + dev);
        details->setStyleSheet(QStringLiteral("color: palette(mid);"));
        v->addWidget(details);
    }
    p.state = new QLabel(QStringLiteral("in attesa"));
    Name_Control(p.state, QStringLiteral("lbl_Stato_") + i, QString(),
                 QStringLiteral("Stato ") + dev);
    v->addWidget(p.state);
    p.bar = new QProgressBar;
    Name_Control(p.bar, QStringLiteral("pgb_Porta_") + i, QStringLiteral("Blocchi ") + dev,
                 QString());
    p.bar->setRange(0, kBlocks);
    p.bar->setTextVisible(false);
    v->addWidget(p.bar);
    p.seconds = new QLabel;
    Name_Control(p.seconds, QStringLiteral("lbl_Secondi_") + i, QString(),
                 QStringLiteral("Secondi rimanenti ") + dev);
    v->addWidget(p.seconds);
    p.result = new QLabel;
    Name_Control(p.result, QStringLiteral("lbl_Risultato_") + i, QString(),
                 QStringLiteral("Risultato ") + dev);
    p.result->setStyleSheet(QStringLiteral("font-size: 22pt; font-weight: bold;"));
    v->addWidget(p.result);
    p.detail = new QLabel;
    Name_Control(p.detail, QStringLiteral("lbl_Esito_") + i, QString(),
                 QStringLiteral("Esito ") + dev);
    p.detail->setWordWrap(true);
    v->addWidget(p.detail);
    p.stop = Button(QStringLiteral("Ferma"), QStringLiteral("cmd_Ferma_Porta_") + i);
    p.stop->setAccessibleName(QStringLiteral("Ferma ") + dev);
    connect(p.stop, &QPushButton::clicked, this, [this, device] { cmd_Ferma_Porta_Click(device); });
    v->addWidget(p.stop, 0, Qt::AlignRight);
    return p;
}

QWidget* frm_Stazione::Build_Footer() {
    auto* box = new QWidget;
    auto* v = new QVBoxLayout(box);
    v->setContentsMargins(0, 0, 0, 0);
    auto* counts = new QHBoxLayout;
    lbl_Programmati =
        Labelled_Value(counts, QStringLiteral("Programmati"), QStringLiteral("lbl_Programmati"));
    lbl_Falliti = Labelled_Value(counts, QStringLiteral("Falliti"), QStringLiteral("lbl_Falliti"));
    lbl_Moduli_Ora =
        Labelled_Value(counts, QStringLiteral("Moduli all'ora"), QStringLiteral("lbl_Moduli_Ora"));
    lbl_Resa = Labelled_Value(counts, QStringLiteral("Resa"), QStringLiteral("lbl_Resa"));
    counts->addStretch(1);
    v->addLayout(counts);
    auto* buttons = new QHBoxLayout;
    cmd_Avvia = Button(QStringLiteral("Avvia"), QStringLiteral("cmd_Avvia"));
    cmd_Ferma = Button(QStringLiteral("Ferma"), QStringLiteral("cmd_Ferma"));
    chk_Ciclo_Continuo = new QCheckBox(QStringLiteral("Ciclo continuo"));
    Name_Control(chk_Ciclo_Continuo, QStringLiteral("chk_Ciclo_Continuo"),
                 chk_Ciclo_Continuo->text(),
                 QStringLiteral("Ogni porta aspetta che il modulo sia tolto e che ne arrivi uno "
                                "nuovo, poi lo programma, fino a Ferma"));
    cmd_Blocca = Button(QStringLiteral("Blocca"), QStringLiteral("cmd_Blocca"));
    connect(cmd_Avvia, &QPushButton::clicked, this, [this] { cmd_Avvia_Click(); });
    connect(cmd_Ferma, &QPushButton::clicked, this, [this] { cmd_Ferma_Click(); });
    connect(cmd_Blocca, &QPushButton::clicked, this, [this] { cmd_Blocca_Click(); });
    buttons->addWidget(cmd_Avvia);
    buttons->addWidget(cmd_Ferma);
    buttons->addWidget(chk_Ciclo_Continuo);
    buttons->addStretch(1);
    buttons->addWidget(cmd_Blocca);
    v->addLayout(buttons);
    return box;
}

// The image every port gets, made once by lcdprog-cli image: the compiler lcdprog-cli write
// uses, which also refuses a project whose pictures cannot all be used (the window would show
// those slots white; a production run must not program them so).
void frm_Stazione::Compile() {
    if (setup_.projectPath.empty()) {
        Note(
            QStringLiteral("Nessun progetto aperto: aprire o salvare un progetto, poi riaprire la "
                           "stazione."));
        return;
    }
    if (setup_.unsavedChanges) {
        Note(
            QStringLiteral("Il progetto ha modifiche non salvate: salvarlo, poi riaprire la "
                           "stazione."));
        return;
    }
    QTemporaryDir folder;
    const QString bin = folder.filePath(QStringLiteral("image.bin"));
    QProcess cli;
    cli.start(setup_.cliProgram,
              {QStringLiteral("image"), Q(setup_.projectPath), QStringLiteral("-o"), bin});
    const bool finished = cli.waitForFinished(kCompileMs);
    QFile file(bin);
    if (!finished || cli.exitStatus() != QProcess::NormalExit || cli.exitCode() != 0 ||
        !file.open(QIODevice::ReadOnly) || file.size() != static_cast<qint64>(image_.size())) {
        QString why = QString::fromUtf8(cli.readAllStandardError()).trimmed();
        // lcdprog-cli explains itself on its error output; Qt's own texts are English.
        if (why.isEmpty() && cli.error() == QProcess::FailedToStart) {
            why = QStringLiteral("impossibile avviare ") + setup_.cliProgram;
        } else if (why.isEmpty() && !finished) {
            why = QStringLiteral("lcdprog-cli non ha finito entro %1 secondi.")
                      .arg(kCompileMs / 1000);
        } else if (why.isEmpty() && cli.exitStatus() != QProcess::NormalExit) {
            why = QStringLiteral("lcdprog-cli si è interrotto inaspettatamente.");
        } else if (why.isEmpty()) {
            why = QStringLiteral("lcdprog-cli non ha scritto un'immagine valida.");
        }
        Note(QStringLiteral("Impossibile preparare l'immagine del progetto:\n") + why);
        return;
    }
    file.read(reinterpret_cast<char*>(image_.data()), static_cast<qint64>(image_.size()));
    sha256_ = cli::Image_Sha256(image_);
    lbl_SHA256->setText(Q(sha256_));
    imageReady_ = true;
    // A project changed on disk is not taken up while the station is open: see Project_Changed.
    projectWatch_ = new QFileSystemWatcher({Q(setup_.projectPath)}, this);
    connect(projectWatch_, &QFileSystemWatcher::fileChanged, this, [this] { Project_Changed(); });
}

void frm_Stazione::Project_Changed() {
    if (!imageReady_) {
        return;
    }
    Note(
        QStringLiteral("Il progetto è cambiato dopo l'apertura della stazione: la stazione "
                       "continua a programmare l'immagine mostrata qui sopra. Per usare il "
                       "progetto nuovo chiudere e riaprire la stazione."));
}

void frm_Stazione::Choose_Record() {
    QFileDialog dialog(this, QStringLiteral("Registro delle unità"), Q(recordPath_),
                       QStringLiteral("Registro (*.jsonl);;Tutti i file (*)"));
    // The record is appended to, never replaced: no question about overwriting it.
    dialog.setOptions(QFileDialog::DontUseNativeDialog | QFileDialog::DontConfirmOverwrite);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
        recordPath_ = dialog.selectedFiles().front().toStdString();
        lbl_Registro->setText(Q(recordPath_));
    }
}

void frm_Stazione::Check_Presence() {
    for (auto& [device, panel] : panels_) {
        const bool present = QFileInfo::exists(Q(device));
        if (present != panel.present) {
            panel.present = present;
            panel.state->setText(present ? QStringLiteral("in attesa")
                                         : QStringLiteral("scollegato"));
        }
    }
}

void frm_Stazione::Note(const QString& text) {
    lbl_Avviso->setText(text);
    lbl_Avviso->setVisible(!text.isEmpty());
}

void frm_Stazione::cmd_Avvia_Click() {
    if (Running() || !imageReady_) {
        return;
    }
    std::vector<std::string> devices;
    for (const auto& [device, panel] : panels_) {
        if (panel.check->isChecked()) {
            devices.push_back(device);
        }
    }
    if (devices.empty()) {
        Note(QStringLiteral("Nessuna porta selezionata: spuntare le porte da programmare."));
        return;
    }
    auto supervisor = std::make_unique<cli::PortSupervisor>(
        cli::SupervisorSettings{setup_.cliProgram, chk_Ciclo_Continuo->isChecked(), false}, image_);
    std::string error;
    if (!supervisor->Open_Log(recordPath_, error)) {
        Note(QStringLiteral("Nessun modulo è stato scritto: ") + Q(error) + QStringLiteral("."));
        return;
    }
    Note(QString());
    supervisor->Add_Observer(*this);
    supervisor_ = std::move(supervisor);
    started_ = true;
    runClock_.start();
    for (const std::string& device : devices) {
        Panel& panel = panels_.at(device);
        panel.bar->setValue(0);
        panel.seconds->clear();
        panel.state->setText(QStringLiteral("ricerca del modulo"));
    }
    Enable_Controls();
    supervisor_->Start(devices);
}

void frm_Stazione::cmd_Ferma_Click() {
    if (Running()) {
        supervisor_->Stop_All();
    }
}

void frm_Stazione::cmd_Ferma_Porta_Click(const std::string& device) {
    if (Running()) {
        supervisor_->Stop_Port(device);
    }
}

void frm_Stazione::cmd_Blocca_Click() {
    if (!lock_.Locked()) {
        const auto pin = askPin(QStringLiteral("PIN per sbloccare (tenuto solo in memoria):"));
        if (!pin) {
            return;
        }
        if (pin->isEmpty()) {
            Note(QStringLiteral("Il PIN non può essere vuoto: la stazione non è bloccata."));
            return;
        }
        const auto again = askPin(QStringLiteral("Ripetere il PIN:"));
        if (!again || *again != *pin) {
            Note(QStringLiteral("I due PIN non coincidono: la stazione non è bloccata."));
            return;
        }
        // Only a salted hash stays in memory, never the PIN itself.
        pinSalt_ = QByteArray::number(QRandomGenerator::system()->generate64());
        pinHash_ = QCryptographicHash::hash(pinSalt_ + pin->toUtf8(), QCryptographicHash::Sha256);
        lock_.Lock();
        Note(QString());
    } else {
        const auto pin = askPin(QStringLiteral("PIN per sbloccare:"));
        if (!pin) {
            return;
        }
        if (QCryptographicHash::hash(pinSalt_ + pin->toUtf8(), QCryptographicHash::Sha256) !=
            pinHash_) {
            Note(QStringLiteral("PIN errato: la stazione resta bloccata."));
            return;
        }
        lock_.Unlock();
        pinHash_.clear();
        Note(QString());
    }
    Enable_Controls();
}

void frm_Stazione::Enable_Controls() {
    const bool running = Running();
    cmd_Avvia->setEnabled(imageReady_ && !running);
    cmd_Ferma->setEnabled(running);
    chk_Ciclo_Continuo->setEnabled(!running);
    // The record is chosen once, before the first unit.
    cmd_Registro->setEnabled(!started_ && !lock_.Locked());
    const QString blocca = lock_.Locked() ? QStringLiteral("Sblocca") : QStringLiteral("Blocca");
    cmd_Blocca->setText(blocca);
    cmd_Blocca->setAccessibleName(blocca);
    for (auto& [device, panel] : panels_) {
        panel.check->setEnabled(!running);
        bool portRunning = false;
        if (running) {
            for (const auto& port : supervisor_->Ports()) {
                portRunning = portRunning || (port->device == device && !port->ended);
            }
        }
        panel.stop->setEnabled(portRunning);
    }
}

void frm_Stazione::On_Result(const cli::PortState&, const cli::UnitResult& result) {
    // A unit the operator stopped says nothing about the modules: neither count has it.
    if (result.ok) {
        ++programmed_;
    } else if (!result.interrupted) {
        ++failed_;
    }
}

void frm_Stazione::On_Log_Failed(const std::string& error) {
    Note(QStringLiteral("Attenzione: ") + Q(error) +
         QStringLiteral(". Le unità seguenti non sono registrate."));
}

void frm_Stazione::On_Change() {
    if (!refresh_.isActive()) {
        refresh_.start(kRefreshMs);
    }
}

void frm_Stazione::On_All_Ended() {
    // Called from inside the supervisor: it is let go once its call has returned.
    QTimer::singleShot(0, this, [this] { Finish_Run(); });
}

void frm_Stazione::Finish_Run() {
    if (supervisor_ == nullptr) {
        return;
    }
    refresh_.stop();
    Refresh();
    runMs_ += runClock_.elapsed();
    supervisor_.reset();
    Show_Counts();
    Enable_Controls();
    if (closeWhenStopped_) {
        close();
    }
}

void frm_Stazione::Refresh() {
    if (supervisor_ == nullptr) {
        return;
    }
    for (const auto& port : supervisor_->Ports()) {
        Show_Port(panels_.at(port->device), *port);
    }
    Show_Counts();
    Enable_Controls();
}

void frm_Stazione::Show_Port(Panel& panel, const cli::PortState& port) {
    QString state = QStringLiteral("ricerca del modulo");
    const auto& last = port.last;
    const bool shown =
        last && port.step != cli::PortStep::Writing && port.step != cli::PortStep::Detecting;
    if (port.openFailed) {
        state = QStringLiteral("scollegato");
    } else if (port.step == cli::PortStep::Writing) {
        state = QStringLiteral("scrittura");
    } else if (port.step == cli::PortStep::Waiting && port.waitingForPlug) {
        state = QStringLiteral("in attesa");
    } else if (shown) {
        state = last->ok            ? QStringLiteral("programmato")
                : last->portLost    ? QStringLiteral("scollegato")
                : last->interrupted ? QStringLiteral("in attesa")
                                    : QStringLiteral("fallito");
    } else if (port.ended) {
        state = QStringLiteral("in attesa");
    }
    panel.state->setText(state);
    panel.bar->setValue(port.step == cli::PortStep::Writing || shown ? port.block : 0);
    const int left = cli::Seconds_Left(port, supervisor_->Elapsed_Ms());
    panel.seconds->setText(left >= 0 ? QStringLiteral("%1 s rimanenti").arg(left) : QString());
    if (port.openFailed) {
        panel.result->setText(QStringLiteral("NON APERTA"));
        panel.result->setStyleSheet(
            QStringLiteral("font-size: 22pt; font-weight: bold; color: %1;").arg(kFailedColour));
        panel.detail->setText(Q(cli::One_Line(port.openError)));
    } else if (last) {
        const char* colour = last->ok            ? kOkColour
                             : last->interrupted ? kStoppedColour
                                                 : kFailedColour;
        panel.result->setText(last->ok            ? QStringLiteral("OK")
                              : last->interrupted ? QStringLiteral("INTERROTTO")
                                                  : QStringLiteral("FALLITO"));
        panel.result->setStyleSheet(
            QStringLiteral("font-size: 22pt; font-weight: bold; color: %1;").arg(colour));
        QString detail =
            QStringLiteral("modulo %1: ").arg(last->unit) + Q(cli::Unit_Result_Text(*last));
        if (!last->error.empty()) {
            detail += QStringLiteral(": ") + Q(cli::One_Line(last->error));
        }
        panel.detail->setText(detail);
    }
}

void frm_Stazione::Show_Counts() {
    lbl_Programmati->setText(QString::number(programmed_));
    lbl_Falliti->setText(QString::number(failed_));
    const qint64 ms = runMs_ + (Running() ? runClock_.elapsed() : 0);
    lbl_Moduli_Ora->setText(programmed_ > 0 && ms > 0
                                ? QString::number(std::lround(programmed_ * 3600000.0 / ms))
                                : QStringLiteral("-"));
    const int units = programmed_ + failed_;
    lbl_Resa->setText(units > 0 ? Decimal(100.0 * programmed_ / units, 1) + QStringLiteral(" %")
                                : QStringLiteral("-"));
}

void frm_Stazione::closeEvent(QCloseEvent* event) {
    if (lock_.Locked()) {
        Note(QStringLiteral("Sbloccare la stazione prima di chiuderla."));
        event->ignore();
        return;
    }
    if (!Running()) {
        event->accept();
        return;
    }
    event->ignore();
    if (closeWhenStopped_ ||
        askClose(
            QStringLiteral("La stazione sta programmando. Fermare tutte le porte e chiudere?"))) {
        // As Ferma: every port stops the way the window's Stop does; the window goes once the
        // last port's process has ended.
        closeWhenStopped_ = true;
        // The run may have ended while the question was open: then there is nothing to stop.
        if (Running()) {
            supervisor_->Stop_All();
        } else {
            event->accept();
        }
    }
}

frm_Stazione* Show_frm_Stazione(frm_Config_LCD* mainWindow) {
    static QPointer<frm_Stazione> station;
    if (station == nullptr) {
        StationSetup setup;
        setup.projectPath = mainWindow->Project_Path();
        setup.unsavedChanges = mainWindow->Modified();
        // lcdprog-cli lies beside lcdprog, in the build tree and in an installed tree alike.
        setup.cliProgram = QCoreApplication::applicationDirPath() + QStringLiteral("/lcdprog-cli");
        setup.cover = mainWindow;
        station = new frm_Stazione(setup);
        station->setAttribute(Qt::WA_DeleteOnClose);
        QObject::connect(mainWindow, &frm_Config_LCD::projectChanged, station,
                         &frm_Stazione::Project_Changed);
    }
    station->show();
    station->raise();
    station->activateWindow();
    return station;
}

}  // namespace lcdprog
