#include "station/frm_Stazione.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCryptographicHash>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QFutureWatcher>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPromise>
#include <QPushButton>
#include <QRandomGenerator>
#include <QScreen>
#include <QScrollArea>
#include <QSettings>
#include <QThreadPool>
#include <QVBoxLayout>
#include <QVariantMap>
#include <cmath>

#include "cli/commands.h"
#include "link/mod_RS232.h"
#include "link/run_outcome.h"
#include "platform/decimal_text.h"
#include "platform/posix_file_service.h"
#include "platform/qt/accessibility.h"
#include "platform/qt/announcer.h"
#include "platform/qt/port_table.h"

namespace lcdprog {
namespace {

using platform::Name_Control;

const QString kCaption = QStringLiteral("Stazione di produzione");
constexpr int kRefreshMs = 100;  // the panels follow their ports at most ten times a second

// What the settings keep: each position's name and tick by the device's stable name, and the
// continuous cycle.
const QString kPositionsKey = QStringLiteral("stazione/posti");
const QString kCycleKey = QStringLiteral("stazione/ciclo_continuo");

// Colours of the result, readable on the light window background.
const char* const kOkColour = "#1b7f2a";
const char* const kFailedColour = "#c0141c";
const char* const kStoppedColour = "#9a5b00";
const char* const kWritingColour = "#1f4e9c";
const char* const kResultStyle = "font-size: 15pt; font-weight: bold; color: %1;";

QString Q(const std::string& text) {
    return QString::fromStdString(text);
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

QString Default_Name(int index) {
    return QStringLiteral("Posto %1").arg(index + 1);
}

void Set_Result(QLabel* label, const QString& text, const char* colour) {
    label->setText(text);
    label->setStyleSheet(QString::fromLatin1(kResultStyle).arg(QLatin1String(colour)));
}

}  // namespace

frm_Stazione::frm_Stazione(const StationSetup& setup, QWidget* parent)
    : QWidget(parent, Qt::Window), setup_(setup) {
    platform::Name_Window(this, QStringLiteral("frm_Stazione"));
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
    if (!setup_.files) {
        setup_.files = std::make_shared<platform::PosixFileService>();
    }
    Build_Controls();
    refresh_.setSingleShot(true);
    connect(&refresh_, &QTimer::timeout, this, [this] { Refresh(); });
    Prepare_Image();
    Enable_Controls();
    Show_Counts();
}

frm_Stazione::~frm_Stazione() {
    // The window went without a close (the program ended): its ports' processes go with it, and
    // the main window is let go.
    if (supervisor_ != nullptr) {
        supervisor_->Terminate_All();
    }
    if (locked_ && setup_.lock != nullptr) {
        setup_.lock->UnlockProject();
    }
}

void frm_Stazione::Build_Controls() {
    const QString title =
        setup_.projectPath.empty()
            ? kCaption
            : kCaption + QStringLiteral(" - ") + QFileInfo(Q(setup_.projectPath)).fileName();
    setWindowTitle(title);
    announcer_ = new platform::Announcer(this);
    auto* layout = new QVBoxLayout(this);
    QWidget* header = Build_Header();
    QScrollArea* ports = Build_Ports();
    QWidget* footer = Build_Footer();
    layout->addWidget(header);
    layout->addWidget(ports, 1);
    layout->addWidget(footer);
    // As large as the positions want, within the screen (eight fit a 1366 x 768 one); a scroll
    // area only for benches larger than that.
    const QMargins m = layout->contentsMargins();
    const QSize inside = ports->widget()->sizeHint();
    QSize size(std::max({inside.width(), header->sizeHint().width(), footer->sizeHint().width()}) +
                   m.left() + m.right(),
               header->sizeHint().height() + inside.height() + footer->sizeHint().height() +
                   2 * layout->spacing() + m.top() + m.bottom());
    size = size.expandedTo(QSize(760, 480));
    if (const QScreen* screen = this->screen(); screen != nullptr) {
        size = size.boundedTo(screen->availableSize());
    }
    resize(size);
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

// The ports as lcdprog-cli ports lists them, each a position of the bench named by the operator;
// its device, by-id name and USB serial number are in its details.
QScrollArea* frm_Stazione::Build_Ports() {
    const platform::PortTable table = platform::PortTable::FromEnvironment();
    auto* area = new QScrollArea;
    area->setObjectName(QStringLiteral("scr_Porte"));
    area->setWidgetResizable(true);
    area->setFrameShape(QFrame::NoFrame);
    // Tab goes through the positions themselves, and the area follows the focus: a stop of its
    // own would be a nameless one.
    area->setFocusPolicy(Qt::NoFocus);
    auto* inside = new QWidget;
    auto* grid = new QGridLayout(inside);
    grid->setContentsMargins(0, 0, 0, 0);
    // Four across from five positions on: two rows of four fit a 1366 x 768 screen.
    const int columns = table.Count() <= 2 ? table.Count() : table.Count() <= 4 ? 2 : 4;
    for (int n = 1; n <= table.Count(); ++n) {
        const std::string device = table.DevicePath(n);
        Panel panel = Build_Panel(n - 1, device, table.Description(n));
        grid->addWidget(panel.frame, (n - 1) / columns, (n - 1) % columns);
        panels_.emplace(device, panel);
    }
    for (int c = 0; c < columns; ++c) {
        grid->setColumnStretch(c, 1);
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
    const std::string byId = platform::By_Id_Name(device);
    const QVariantMap remembered =
        QSettings().value(kPositionsKey).toMap().value(Q(byId.empty() ? device : byId)).toMap();
    const QString name = remembered.value(QStringLiteral("nome"), Default_Name(index)).toString();

    Panel p;
    p.index = index;
    p.key = byId.empty() ? device : byId;
    p.frame = new QGroupBox;
    Name_Control(p.frame, QStringLiteral("fra_Porta_") + i, name, Q(description));
    auto* v = new QVBoxLayout(p.frame);
    v->setContentsMargins(6, 4, 6, 4);
    v->setSpacing(2);

    auto* top = new QHBoxLayout;
    p.check = new QCheckBox;
    Name_Control(p.check, QStringLiteral("chk_Porta_") + i, name,
                 QStringLiteral("Programmare il modulo su ") + dev);
    p.check->setChecked(remembered.value(QStringLiteral("spuntato"), false).toBool());
    connect(p.check, &QCheckBox::toggled, this, [this] { Remember_Positions(); });
    p.name = new QLineEdit(name);
    Name_Control(p.name, QStringLiteral("txt_Posto_") + i, QStringLiteral("Nome del posto"),
                 QStringLiteral("Il nome resta legato al dispositivo ") + dev);
    p.name->setFrame(false);
    p.name->setStyleSheet(QStringLiteral("font-weight: bold; background: transparent;"));
    // An empty name goes back to the default: a position always has one.
    connect(p.name, &QLineEdit::editingFinished, this, [this, device] {
        Panel& panel = panels_.at(device);
        if (panel.name->text().trimmed().isEmpty()) {
            panel.name->setText(Default_Name(panel.index));
        }
        platform::Set_Spoken_Name(panel.check, panel.name->text());
        platform::Set_Spoken_Name(panel.frame, panel.name->text());
        Remember_Positions();
    });
    p.stop = Button(QStringLiteral("Ferma"), QStringLiteral("cmd_Ferma_Porta_") + i);
    p.stop->setAccessibleName(QStringLiteral("Ferma ") + name);
    connect(p.stop, &QPushButton::clicked, this, [this, device] { cmd_Ferma_Porta_Click(device); });
    top->addWidget(p.check);
    top->addWidget(p.name, 1);
    top->addWidget(p.stop);
    v->addLayout(top);

    // The device, whole in the tool tip with its by-id name and USB details.
    p.device = new QLabel;
    Name_Control(p.device, QStringLiteral("lbl_Dettagli_") + i, QString(),
                 QStringLiteral("Dispositivo ") + name);
    p.device->setToolTip(Q(description));
    p.device->setStyleSheet(QStringLiteral("color: palette(mid);"));
    p.device->setText(p.device->fontMetrics().elidedText(dev, Qt::ElideLeft, 280));
    v->addWidget(p.device);

    auto* line = new QHBoxLayout;
    p.state = new QLabel(QStringLiteral("in attesa"));
    Name_Control(p.state, QStringLiteral("lbl_Stato_") + i, QString(),
                 QStringLiteral("Stato ") + name);
    p.seconds = new QLabel;
    Name_Control(p.seconds, QStringLiteral("lbl_Secondi_") + i, QString(),
                 QStringLiteral("Secondi rimanenti ") + name);
    line->addWidget(p.state, 1);
    line->addWidget(p.seconds);
    v->addLayout(line);
    p.bar = new QProgressBar;
    Name_Control(p.bar, QStringLiteral("pgb_Porta_") + i, QStringLiteral("Blocchi ") + name,
                 QString());
    p.bar->setRange(0, kBlocks);
    p.bar->setTextVisible(false);
    p.bar->setMaximumHeight(12);
    v->addWidget(p.bar);
    p.result = new QLabel;
    Name_Control(p.result, QStringLiteral("lbl_Risultato_") + i, QString(),
                 QStringLiteral("Risultato ") + name);
    p.result->setWordWrap(true);
    Set_Result(p.result, QString(), kOkColour);
    // Room for two lines, so that the panels do not jump when a result comes or goes.
    p.result->setMinimumHeight(2 * QFontMetrics(p.result->font()).height() + 8);
    v->addWidget(p.result);
    p.detail = new QLabel;
    Name_Control(p.detail, QStringLiteral("lbl_Esito_") + i, QString(),
                 QStringLiteral("Esito ") + name);
    p.detail->setWordWrap(true);
    p.detail->setMinimumHeight(2 * p.detail->fontMetrics().height());
    p.detail->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    v->addWidget(p.detail);
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
    lbl_Interrotti =
        Labelled_Value(counts, QStringLiteral("Interrotti"), QStringLiteral("lbl_Interrotti"));
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
    chk_Ciclo_Continuo->setChecked(QSettings().value(kCycleKey, false).toBool());
    connect(chk_Ciclo_Continuo, &QCheckBox::toggled, this,
            [](bool on) { QSettings().setValue(kCycleKey, on); });
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

void frm_Stazione::Remember_Positions() const {
    QSettings settings;
    QVariantMap positions = settings.value(kPositionsKey).toMap();
    for (const auto& [device, panel] : panels_) {
        positions.insert(Q(panel.key),
                         QVariantMap{{QStringLiteral("nome"), panel.name->text()},
                                     {QStringLiteral("spuntato"), panel.check->isChecked()}});
    }
    settings.setValue(kPositionsKey, positions);
}

// The image every port gets, made once with the compiler lcdprog-cli uses, which also refuses a
// project whose pictures cannot all be used (the window would show those slots white; a
// production run must not program them so). Pictures on a slow share take their time: the
// compile runs on a thread of the pool and the window stays at the operator's hand meanwhile.
void frm_Stazione::Prepare_Image() {
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
    Note(QStringLiteral("Preparazione dell'immagine del progetto..."));
    preparing_ = true;
    using Compiled = std::shared_ptr<const platform::Result<cli::Image>>;
    auto promise = std::make_shared<QPromise<Compiled>>();
    auto* watcher = new QFutureWatcher<Compiled>(this);
    connect(watcher, &QFutureWatcher<Compiled>::finished, this, [this, watcher] {
        Take_Image(*watcher->result());
        watcher->deleteLater();
    });
    watcher->setFuture(promise->future());
    // The job keeps what it reads by value: a station closed meanwhile only drops its result.
    QThreadPool::globalInstance()->start(
        [promise, files = setup_.files, path = setup_.projectPath] {
            promise->start();
            promise->addResult(std::make_shared<const platform::Result<cli::Image>>(
                cli::Compile_Project(*files, path)));
            promise->finish();
        });
}

void frm_Stazione::Take_Image(const platform::Result<cli::Image>& image) {
    preparing_ = false;
    if (!image) {
        Note(QStringLiteral("Impossibile preparare l'immagine del progetto:\n") +
             Q(image.Why().text));
        return;
    }
    image_ = *image;
    sha256_ = cli::Image_Sha256(image_);
    lbl_SHA256->setText(Q(sha256_));
    imageReady_ = true;
    Note(QString());
    // A project changed on disk is not taken up while the station is open: see Project_Changed.
    projectWatch_ = new QFileSystemWatcher({Q(setup_.projectPath)}, this);
    connect(projectWatch_, &QFileSystemWatcher::fileChanged, this, [this] { Project_Changed(); });
    Enable_Controls();
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
    // A refusal or a warning is heard where the operator is, not only shown above the ports.
    if (!text.isEmpty()) {
        announcer_->Say(text);
    }
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
    if (const platform::Result<> opened = supervisor->Open_Log(recordPath_); !opened) {
        Note(QStringLiteral("Nessun modulo è stato scritto: ") + Q(opened.Text()) +
             QStringLiteral("."));
        return;
    }
    Note(QString());
    supervisor->Add_Observer(*this);
    supervisor_ = std::move(supervisor);
    started_ = true;
    runClock_.start();
    for (const std::string& device : devices) {
        // The units of the last run may have been swapped since: nothing of theirs stays.
        Panel& panel = panels_.at(device);
        panel.bar->setValue(0);
        panel.seconds->clear();
        panel.state->setText(QStringLiteral("ricerca del modulo"));
        Clear_Result(panel);
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
    if (!locked_) {
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
        locked_ = true;
        if (setup_.lock != nullptr) {
            // Closing the main window would end the program, and the station with it.
            setup_.lock->LockProject([this] {
                Note(
                    QStringLiteral("La stazione è bloccata: il programma non si chiude. "
                                   "Sbloccarla con il PIN, poi chiudere."));
                show();
                raise();
                activateWindow();
            });
        }
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
        locked_ = false;
        if (setup_.lock != nullptr) {
            setup_.lock->UnlockProject();
        }
        pinHash_.clear();
        Note(QString());
    }
    Enable_Controls();
}

void frm_Stazione::Enable_Controls() {
    const bool running = Running();
    const bool avvia = imageReady_ && !running;
    // Avvia and Ferma take turns: the one coming on first, so that the focus goes straight from
    // the one going off to it (Qt would walk it down to "Blocca", speaking every stop on the way).
    if (running) {
        cmd_Ferma->setEnabled(true);
        platform::Pass_Focus(cmd_Avvia, cmd_Ferma);
    } else if (avvia) {
        cmd_Avvia->setEnabled(true);
        platform::Pass_Focus(cmd_Ferma, cmd_Avvia);
    }
    cmd_Avvia->setEnabled(avvia);
    cmd_Ferma->setEnabled(running);
    chk_Ciclo_Continuo->setEnabled(!running);
    // The record is chosen once, before the first unit.
    cmd_Registro->setEnabled(!started_ && !locked_);
    const QString blocca = locked_ ? QStringLiteral("Sblocca") : QStringLiteral("Blocca");
    cmd_Blocca->setText(blocca);
    platform::Set_Spoken_Name(cmd_Blocca, blocca);
    for (auto& [device, panel] : panels_) {
        panel.check->setEnabled(!running);
        panel.name->setReadOnly(locked_);
        bool portRunning = false;
        if (running) {
            for (const auto& port : supervisor_->Ports()) {
                portRunning = portRunning || (port->device == device && !port->ended);
            }
        }
        if (!portRunning) {
            platform::Pass_Focus(panel.stop, running ? cmd_Ferma : cmd_Avvia);
        }
        panel.stop->setEnabled(portRunning);
    }
}

void frm_Stazione::On_Result(const cli::PortState&, const cli::UnitResult& result) {
    counts_.Add(result);
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
    QStringList heard;
    for (const auto& port : supervisor_->Ports()) {
        Show_Port(panels_.at(port->device), *port, heard);
    }
    // Units that ended together are heard in one sentence: each announcement cuts off the one
    // before it.
    if (!heard.isEmpty()) {
        announcer_->Say(heard.join(QStringLiteral(". ")));
    }
    Show_Counts();
    Enable_Controls();
}

void frm_Stazione::Clear_Result(Panel& panel) {
    Set_Result(panel.result, QString(), kOkColour);
    panel.detail->clear();
    panel.heard.clear();
}

void frm_Stazione::Show_Port(Panel& panel, const cli::PortState& port, QStringList& heard) {
    const auto& last = port.last;
    const bool writing = port.step == cli::PortStep::Writing;
    QString state = QStringLiteral("ricerca del modulo");
    if (port.openFailed) {
        state = QStringLiteral("scollegato");
    } else if (writing) {
        state = QStringLiteral("scrittura");
    } else if (port.step == cli::PortStep::Opening) {
        state = QStringLiteral("apertura della porta");
    } else if (port.step == cli::PortStep::Waiting) {
        state = port.waitingForPlug ? QStringLiteral("in attesa di un modulo")
                                    : QStringLiteral("togliere il modulo");
    } else if (last && port.step == cli::PortStep::Idle) {
        state = last->Ok()                                      ? QStringLiteral("programmato")
                : last->outcome.failure == RunFailure::PortLost ? QStringLiteral("scollegato")
                : last->Interrupted()                           ? QStringLiteral("interrotto")
                                                                : QStringLiteral("fallito");
    } else if (port.ended) {
        state = QStringLiteral("in attesa");
    }
    panel.state->setText(state);
    panel.bar->setValue(writing ? port.block : last ? last->outcome.blocks : 0);
    const auto left = cli::Seconds_Left(port, supervisor_->Elapsed_Ms());
    panel.seconds->setText(left ? Q(Seconds_Left_Text(*left)) : QString());

    // A result is shown only while its unit is in place: the supervisor forgets it when a new
    // unit starts or the unit was taken away.
    if (port.openFailed) {
        Set_Result(panel.result, QStringLiteral("NON APERTA"), kFailedColour);
        panel.detail->setText(Q(One_Line(port.openError)));
    } else if (writing) {
        Set_Result(panel.result, QStringLiteral("IN SCRITTURA: NON SCOLLEGARE"), kWritingColour);
        panel.detail->setText(QStringLiteral("modulo %1").arg(port.unit));
    } else if (last) {
        const RunFailure failure = last->outcome.failure;
        Set_Result(panel.result,
                   last->Ok()                        ? QStringLiteral("OK")
                   : failure == RunFailure::PortLost ? QStringLiteral("PORTA PERSA")
                   : last->Interrupted()             ? QStringLiteral("INTERROTTO")
                                                     : QStringLiteral("FALLITO"),
                   last->Ok()            ? kOkColour
                   : last->Interrupted() ? kStoppedColour
                                         : kFailedColour);
        panel.detail->setText(QStringLiteral("modulo %1: ").arg(last->unit) +
                              Q(Outcome_Text(last->outcome)));
    } else {
        Clear_Result(panel);
    }
    // A unit's end (or a port that would not open) is heard once, named by its position.
    if ((port.openFailed || (last && !writing)) && panel.heard != panel.detail->text()) {
        panel.heard = panel.detail->text();
        heard << panel.name->text() + QStringLiteral(", ") + panel.heard;
    }
}

void frm_Stazione::Show_Counts() {
    lbl_Programmati->setText(QString::number(counts_.programmed));
    lbl_Falliti->setText(QString::number(counts_.failed));
    lbl_Interrotti->setText(QString::number(counts_.interrupted));
    const qint64 ms = runMs_ + (Running() ? runClock_.elapsed() : 0);
    lbl_Moduli_Ora->setText(counts_.programmed > 0 && ms > 0
                                ? QString::number(std::lround(counts_.programmed * 3600000.0 / ms))
                                : QStringLiteral("-"));
    // Stopped units say nothing about the modules: the yield is of those that ran to the end.
    const int units = counts_.programmed + counts_.failed;
    lbl_Resa->setText(units > 0 ? Q(platform::Decimal_Text(100.0 * counts_.programmed / units, 1)) +
                                      QStringLiteral(" %")
                                : QStringLiteral("-"));
}

void frm_Stazione::closeEvent(QCloseEvent* event) {
    if (locked_) {
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

}  // namespace lcdprog
