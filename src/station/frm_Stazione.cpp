#include "station/frm_Stazione.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCryptographicHash>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QFormLayout>
#include <QFutureWatcher>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
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
#include <QSpinBox>
#include <QTableWidget>
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
#include "platform/qt/log.h"
#include "platform/qt/port_table.h"
#include "platform/qt/qt_text.h"
#include "records/uploader.h"
#include "station/panel_words.h"

namespace lcdprog {
namespace {

using platform::Name_Control;

const QString kCaption = QStringLiteral("Stazione di produzione");
constexpr int kRefreshMs = 100;  // the panels follow their ports at most ten times a second

// What the settings keep: each position's name and tick by the device's stable name, and the
// continuous cycle.
const QString kPositionsKey = QStringLiteral("stazione/posti");
const QString kCycleKey = QStringLiteral("stazione/ciclo_continuo");
// The station's own settings, and the last job, asked again at the next Avvia. The database is
// kept as typed, which never holds a password: a connection string with one is refused.
const QString kStationKey = QStringLiteral("stazione/nome");
const QString kDatabaseKey = QStringLiteral("stazione/database");
const QString kSerialKey = QStringLiteral("stazione/chiedi_matricola");
const QString kJobKey = QStringLiteral("stazione/commessa");

// Colours of the result, readable on the light window background.
const char* const kOkColour = "#1b7f2a";
const char* const kFailedColour = "#c0141c";
const char* const kStoppedColour = "#9a5b00";
const char* const kWritingColour = "#1f4e9c";
const char* const kResultStyle = "font-size: 15pt; font-weight: bold; color: %1;";

using platform::Q;

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

// A station setting that stays from one opening to the next.
QCheckBox* Remembered_Check(const QString& caption, const QString& name, const QString& description,
                            const QString& key) {
    auto* check = new QCheckBox(caption);
    Name_Control(check, name, caption, description);
    check->setChecked(QSettings().value(key, false).toBool());
    QObject::connect(check, &QCheckBox::toggled, [key](bool on) { QSettings().setValue(key, on); });
    return check;
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

const char* Colour_Of(Tone tone) {
    switch (tone) {
        case Tone::Writing:
            return kWritingColour;
        case Tone::Stopped:
            return kStoppedColour;
        case Tone::Failed:
            return kFailedColour;
        case Tone::Ok:
        case Tone::Neutral:
            break;
    }
    return kOkColour;
}

// A sentence of the records' words ("la commessa ... è completa") on its own.
QString Sentence(const QString& text) {
    return text.isEmpty() ? text : text.front().toUpper() + text.mid(1);
}

// The job's texts are stored exactly as typed; only what the records cannot hold is refused.
platform::Result<> Check_Job(const ProductionJob& job) {
    const auto refuse = [](std::string why) {
        return platform::Refusal{platform::RefusalKind::Invalid, std::move(why)};
    };
    if (job.operatorName.trimmed().isEmpty()) {
        return refuse("manca il nome dell'operatore");
    }
    if (job.workOrder.trimmed().isEmpty()) {
        return refuse("manca la commessa");
    }
    if (job.quantity < 1 || job.quantity > records::kMaxQuantity) {
        return refuse("la quantità della commessa va da 1 a " +
                      std::to_string(records::kMaxQuantity));
    }
    if (platform::Result<> ok =
            records::Check_Storable(QStringLiteral("l'operatore"), job.operatorName);
        !ok) {
        return ok;
    }
    return records::Check_Storable(QStringLiteral("la commessa"), job.workOrder);
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
    askJob = [this](const ProductionJob& last) { return Ask_Job(last); };
    // Programming a unit twice is the exception: No is the answer a hurried Enter gives.
    askReprogram = [this](const QString& question) {
        return QMessageBox::question(this, kCaption, question, QMessageBox::Yes | QMessageBox::No,
                                     QMessageBox::No) == QMessageBox::Yes;
    };
    if (!setup_.projectPath.empty()) {
        recordPath_ = Default_Record(setup_.projectPath);
    }
    if (!setup_.files) {
        setup_.files = std::make_shared<platform::PosixFileService>();
    }
    Build_Controls();
    Database_Edited();
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
    // QWidget's destructor takes the focus away from a field, which then reports its editing
    // finished: to a station that is no longer there.
    for (QLineEdit* field : findChildren<QLineEdit*>()) {
        field->disconnect(this);
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
    const auto edit = [grid](int row, const QString& caption, const QString& name,
                             const QString& description) {
        auto* label = new QLabel(caption + QStringLiteral(":"));
        auto* field = new QLineEdit;
        label->setBuddy(field);
        Name_Control(field, name, caption, description);
        grid->addWidget(label, row, 0);
        grid->addWidget(field, row, 1);
        return field;
    };
    txt_Stazione = edit(3, QStringLiteral("Stazione"), QStringLiteral("txt_Stazione"),
                        QStringLiteral("Il nome della stazione nei record; conta le unità"));
    txt_Stazione->setText(
        QSettings().value(kStationKey, records::Default_Station_Name()).toString());
    connect(txt_Stazione, &QLineEdit::editingFinished, this, [this] {
        // Always a name: numbering and reports go by it.
        if (txt_Stazione->text().trimmed().isEmpty() ||
            !records::Check_Storable(QString(), txt_Stazione->text())) {
            txt_Stazione->setText(
                QSettings().value(kStationKey, records::Default_Station_Name()).toString());
        }
        QSettings().setValue(kStationKey, txt_Stazione->text());
    });
    txt_Database = edit(4, QStringLiteral("Database"), QStringLiteral("txt_Database"),
                        QStringLiteral("Stringa di connessione libpq del database dell'impianto "
                                       "(host=... dbname=... user=...); la password in "
                                       "~/.pgpass. Vuota: solo il registro locale"));
    txt_Database->setText(QSettings().value(kDatabaseKey).toString());
    connect(txt_Database, &QLineEdit::editingFinished, this, [this] { Database_Edited(); });
    lbl_Database = new QLabel;
    Name_Control(lbl_Database, QStringLiteral("lbl_Database"), QString(),
                 QStringLiteral("Stato del database"));
    grid->addWidget(lbl_Database, 4, 2);
    lbl_Operatore = add(5, QStringLiteral("Operatore"), QStringLiteral("lbl_Operatore"));
    lbl_Commessa = add(6, QStringLiteral("Commessa"), QStringLiteral("lbl_Commessa"));
    for (QLabel* job : {lbl_Operatore, lbl_Commessa}) {
        job->setStyleSheet(QStringLiteral("font-weight: bold;"));
    }
    grid->setColumnStretch(1, 1);
    lbl_Avviso = new QLabel;
    Name_Control(lbl_Avviso, QStringLiteral("lbl_Avviso"), QString(), QStringLiteral("Avviso"));
    lbl_Avviso->setWordWrap(true);
    lbl_Avviso->setStyleSheet(QStringLiteral("color: #9a5b00; font-weight: bold;"));
    lbl_Avviso->hide();
    grid->addWidget(lbl_Avviso, 7, 0, 1, 3);
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
    p.path = device;
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
    // A barcode reader types like a keyboard and ends with Enter.
    p.serial = new QLineEdit;
    Name_Control(p.serial, QStringLiteral("txt_Matricola_") + i,
                 QStringLiteral("Matricola ") + name,
                 QStringLiteral("La matricola del prossimo modulo: scriverla o leggerla con il "
                                "lettore di codici, poi Invio"));
    p.serial->setPlaceholderText(QStringLiteral("matricola, poi Invio"));
    p.serial->setEnabled(false);
    p.serial->setVisible(QSettings().value(kSerialKey, false).toBool());
    connect(p.serial, &QLineEdit::returnPressed, this,
            [this, device] { Take_Serial(panels_.at(device)); });
    v->addWidget(p.serial);
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
    // The work order's figures, as lcdprog-cli report --order gives them.
    tbl_Commessa = new QTableWidget(0, 0);
    Name_Control(tbl_Commessa, QStringLiteral("tbl_Commessa"),
                 QStringLiteral("Dati della commessa"), QString());
    tbl_Commessa->verticalHeader()->hide();
    tbl_Commessa->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tbl_Commessa->setFocusPolicy(Qt::NoFocus);
    tbl_Commessa->hide();
    v->addWidget(tbl_Commessa);
    auto* buttons = new QHBoxLayout;
    cmd_Avvia = Button(QStringLiteral("Avvia"), QStringLiteral("cmd_Avvia"));
    cmd_Ferma = Button(QStringLiteral("Ferma"), QStringLiteral("cmd_Ferma"));
    chk_Ciclo_Continuo =
        Remembered_Check(QStringLiteral("Ciclo continuo"), QStringLiteral("chk_Ciclo_Continuo"),
                         QStringLiteral("Ogni porta aspetta che il modulo sia tolto e che ne "
                                        "arrivi uno nuovo, poi lo programma, fino a Ferma"),
                         kCycleKey);
    chk_Chiedi_Matricola = Remembered_Check(
        QStringLiteral("Chiedi matricola"), QStringLiteral("chk_Chiedi_Matricola"),
        QStringLiteral("Ogni posto programma solo dopo aver ricevuto la matricola del modulo"),
        kSerialKey);
    connect(chk_Chiedi_Matricola, &QCheckBox::toggled, this, [this](bool on) {
        for (auto& [device, panel] : panels_) {
            panel.serial->setVisible(on);
        }
    });
    cmd_Blocca = Button(QStringLiteral("Blocca"), QStringLiteral("cmd_Blocca"));
    connect(cmd_Avvia, &QPushButton::clicked, this, [this] { cmd_Avvia_Click(); });
    connect(cmd_Ferma, &QPushButton::clicked, this, [this] { cmd_Ferma_Click(); });
    connect(cmd_Blocca, &QPushButton::clicked, this, [this] { cmd_Blocca_Click(); });
    buttons->addWidget(cmd_Avvia);
    buttons->addWidget(cmd_Ferma);
    buttons->addWidget(chk_Ciclo_Continuo);
    buttons->addWidget(chk_Chiedi_Matricola);
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
    using Compiled = std::shared_ptr<const platform::Result<MemoryImageBytes>>;
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
            promise->addResult(std::make_shared<const platform::Result<MemoryImageBytes>>(
                cli::Compile_Project(*files, path)));
            promise->finish();
        });
}

void frm_Stazione::Take_Image(const platform::Result<MemoryImageBytes>& image) {
    preparing_ = false;
    if (!image) {
        Note(QStringLiteral("Impossibile preparare l'immagine del progetto:\n") +
             Q(image.Why().text));
        return;
    }
    image_ = *image;
    sha256_ = Image_Sha256(image_);
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
        Start_Uploader();
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
        qCInfo(platform::Station_Log) << "said:" << text;
        announcer_->Say(text);
    }
}

void frm_Stazione::cmd_Avvia_Click() {
    if (Running() || !imageReady_) {
        return;
    }
    std::vector<std::string> devices;
    std::vector<std::string> positions;
    for (const auto& [device, panel] : panels_) {
        if (panel.check->isChecked()) {
            devices.push_back(device);
            positions.push_back(panel.name->text().toStdString());
        }
    }
    if (devices.empty()) {
        Note(QStringLiteral("Nessuna porta selezionata: spuntare le porte da programmare."));
        return;
    }
    const QVariantMap last = QSettings().value(kJobKey).toMap();
    const std::optional<ProductionJob> job =
        askJob({last.value(QStringLiteral("operatore")).toString(),
                last.value(QStringLiteral("commessa")).toString(),
                last.value(QStringLiteral("quantita"), 1).toInt()});
    if (!job || !Prepare_Job(*job)) {
        return;
    }
    cli::SupervisorSettings settings{setup_.cliProgram, chk_Ciclo_Continuo->isChecked(), false};
    settings.quantity = job_.quantity;
    settings.goodBefore = history_.Good();
    settings.nextUnit = [this](const cli::PortState& port) { return Next_Unit(port); };
    auto supervisor = std::make_unique<cli::PortSupervisor>(std::move(settings), image_);
    const cli::RecordContext context{txt_Stazione->text(),
                                     QFileInfo(Q(setup_.projectPath)).absoluteFilePath(),
                                     job_.operatorName, job_.workOrder};
    if (const platform::Result<> opened = supervisor->Open_Record(Q(recordPath_), context);
        !opened) {
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
        panel.pendingSerial.clear();
        panel.refusal.clear();
        Clear_Result(panel);
    }
    Show_Job();
    Enable_Controls();
    qCInfo(platform::Station_Log) << "start:" << devices.size() << "ports, work order"
                                  << job_.workOrder << "quantity" << job_.quantity << "operator"
                                  << job_.operatorName << "project" << context.project;
    supervisor_->Start(devices, positions);
}

std::optional<ProductionJob> frm_Stazione::Ask_Job(const ProductionJob& last) {
    QDialog dialog(this);
    dialog.setWindowTitle(QStringLiteral("Avvio della produzione"));
    auto* form = new QFormLayout(&dialog);
    auto* name = new QLineEdit(last.operatorName);
    Name_Control(name, QStringLiteral("txt_Operatore"), QStringLiteral("Operatore"), QString());
    auto* order = new QLineEdit(last.workOrder);
    Name_Control(order, QStringLiteral("txt_Commessa"), QStringLiteral("Commessa"), QString());
    auto* quantity = new QSpinBox;
    Name_Control(quantity, QStringLiteral("spn_Quantita"), QStringLiteral("Quantità"),
                 QStringLiteral("Le unità buone della commessa: raggiunte, la stazione si ferma"));
    quantity->setRange(1, records::kMaxQuantity);
    quantity->setValue(std::max(last.quantity, 1));
    form->addRow(QStringLiteral("&Operatore:"), name);
    form->addRow(QStringLiteral("&Commessa:"), order);
    form->addRow(QStringLiteral("&Quantità:"), quantity);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("Avvia"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Annulla"));
    form->addRow(buttons);
    const auto complete = [=] {
        buttons->button(QDialogButtonBox::Ok)
            ->setEnabled(!name->text().trimmed().isEmpty() && !order->text().trimmed().isEmpty());
    };
    connect(name, &QLineEdit::textChanged, &dialog, complete);
    connect(order, &QLineEdit::textChanged, &dialog, complete);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    complete();
    // The same operator and work order after a pause: one Enter.
    (order->text().isEmpty() && !name->text().isEmpty() ? order : name)->setFocus();
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return ProductionJob{name->text(), order->text(), quantity->value()};
}

// The job is taken, and remembered for the next Avvia, only when it can be programmed: its texts
// fit a record, its record file can be read, and its work order is not complete already.
bool frm_Stazione::Prepare_Job(const ProductionJob& job) {
    const auto refuse = [this](const std::string& why) {
        Note(QStringLiteral("Produzione non avviata: ") + Q(why) + QStringLiteral("."));
        return false;
    };
    if (platform::Result<> ok = Check_Job(job); !ok) {
        return refuse(ok.Text());
    }
    platform::Result<records::WorkOrderHistory> history =
        records::WorkOrderHistory::Load(Q(recordPath_), job.workOrder);
    if (!history) {
        return refuse(history.Text());
    }
    if (history->Good() >= job.quantity) {
        return refuse(
            records::Complete_Text(job.workOrder, history->Good(), job.quantity).toStdString());
    }
    QSettings().setValue(kJobKey, QVariantMap{{QStringLiteral("operatore"), job.operatorName},
                                              {QStringLiteral("commessa"), job.workOrder},
                                              {QStringLiteral("quantita"), job.quantity}});
    job_ = job;
    history_ = std::move(history.Value());
    return true;
}

void frm_Stazione::Show_Job() {
    lbl_Operatore->setText(job_.operatorName);
    lbl_Commessa->setText(job_.workOrder + QStringLiteral(": ") +
                          records::Good_Units_Text(history_.Good(), job_.quantity));
    const records::Table table =
        records::Report_Table({history_.Totals()}, records::GroupBy::WorkOrder);
    tbl_Commessa->setColumnCount(static_cast<int>(table.header.size()));
    tbl_Commessa->setRowCount(1);
    tbl_Commessa->setHorizontalHeaderLabels(table.header);
    for (int c = 0; c < table.header.size(); ++c) {
        const QString cell = table.rows.front().value(c);
        tbl_Commessa->setItem(0, c,
                              new QTableWidgetItem(cell.isEmpty() ? QStringLiteral("-") : cell));
    }
    tbl_Commessa->resizeColumnsToContents();
    tbl_Commessa->setFixedHeight(tbl_Commessa->horizontalHeader()->height() +
                                 tbl_Commessa->rowHeight(0) + 2 * tbl_Commessa->frameWidth());
    tbl_Commessa->show();
}

// The setting as typed, kept only when it is a connection string without a password.
void frm_Stazione::Database_Edited() {
    const QString remembered = QSettings().value(kDatabaseKey).toString();
    const QString typed = txt_Database->text().trimmed();
    if (typed.isEmpty()) {
        database_.reset();
    } else {
        const platform::Result<records::ConnectionTarget> target = records::Parse_Conninfo(typed);
        if (!target) {
            // The old setting stays, and nothing typed with a password stays on the screen.
            txt_Database->setText(remembered);
            Note(QStringLiteral("Database non cambiato: ") + Q(target.Text()) +
                 QStringLiteral("."));
            return;
        }
        database_ = *target;
    }
    if (typed != remembered) {
        QSettings().setValue(kDatabaseKey, typed);
    }
    if (!uploader_ || typed != remembered) {
        Start_Uploader();
    }
}

void frm_Stazione::Start_Uploader() {
    uploader_.reset();
    if (!database_ || recordPath_.empty()) {
        lbl_Database->setText(
            database_ ? QString() : QStringLiteral("Database: nessuno, solo il registro locale"));
        return;
    }
    lbl_Database->setText(QStringLiteral("Database: collegamento in corso"));
    uploader_ = std::make_unique<records::BackgroundUploader>(Q(recordPath_), *database_);
    connect(uploader_.get(), &records::BackgroundUploader::Status_Changed, this,
            [this](const records::UploadStatus& status) { Show_Upload(status); });
}

void frm_Stazione::Show_Upload(const records::UploadStatus& status) {
    lbl_Database->setText(Status_Text(status));
    if (!status.notices.isEmpty()) {
        Note(QStringLiteral("Database: ") + status.notices.join(QStringLiteral("; ")) +
             QStringLiteral("."));
    }
}

const cli::PortState* frm_Stazione::Port_Of(const Panel& panel) const {
    if (supervisor_ == nullptr) {
        return nullptr;
    }
    for (const auto& port : supervisor_->Ports()) {
        if (port->device == panel.path) {
            return port.get();
        }
    }
    return nullptr;
}

// A position takes the serial of its next unit from the moment its last unit has a result: the
// operator reads the new unit's label while taking the old one out.
bool frm_Stazione::Serial_Wanted(const Panel& panel) const {
    const cli::PortState* port = Port_Of(panel);
    return chk_Chiedi_Matricola->isChecked() && port != nullptr && !port->ended &&
           !port->openFailed && !port->armed;
}

std::optional<cli::UnitIdentity> frm_Stazione::Next_Unit(const cli::PortState& port) {
    if (!chk_Chiedi_Matricola->isChecked()) {
        return cli::UnitIdentity{};
    }
    Panel& panel = panels_.at(port.device);
    if (panel.pendingSerial.isEmpty()) {
        return std::nullopt;
    }
    cli::UnitIdentity identity{panel.pendingSerial, panel.pendingReprogrammed};
    panel.pendingSerial.clear();
    panel.pendingReprogrammed = false;
    return identity;
}

void frm_Stazione::Take_Serial(Panel& panel) {
    const QString serial = panel.serial->text();
    if (!Serial_Wanted(panel) || serial.trimmed().isEmpty()) {
        return;
    }
    // Cleared either way, so that the next scan starts on an empty field.
    panel.serial->clear();
    const auto refuse = [&](const QString& why) {
        panel.refusal = why;
        panel.heard.clear();  // the same refusal again is heard again
        Refresh();
    };
    if (platform::Result<> ok = records::Check_Storable(QStringLiteral("la matricola"), serial);
        !ok) {
        return refuse(Q(ok.Text()));
    }
    for (const auto& [device, other] : panels_) {
        const cli::PortState* port = Port_Of(other);
        if ((&other != &panel && other.pendingSerial == serial) ||
            (port != nullptr && port->armed && port->identity.serial == serial)) {
            return refuse(
                QStringLiteral("la matricola %1 è già al %2").arg(serial, other.name->text()));
        }
    }
    const records::UnitRecord* good = history_.Good_Record(serial);
    if (good != nullptr && !askReprogram(Sentence(records::Already_Good_Text(*good)) +
                                         QStringLiteral(".\nProgrammarla di nuovo?"))) {
        return refuse(records::Already_Good_Text(*good));
    }
    panel.refusal.clear();
    panel.pendingSerial = serial;
    panel.pendingReprogrammed = good != nullptr;
    supervisor_->Arm_Waiting();
    Refresh();
    Focus_Next_Serial(panel.index);
}

// The next position, in the bench's order, that still needs a serial: a reader's next scan goes
// there without the operator touching the mouse.
void frm_Stazione::Focus_Next_Serial(int after) {
    std::vector<Panel*> order(panels_.size());
    for (auto& [device, panel] : panels_) {
        order[static_cast<std::size_t>(panel.index)] = &panel;
    }
    const int n = static_cast<int>(order.size());
    for (int k = 1; k <= n; ++k) {
        Panel& panel = *order[static_cast<std::size_t>((after + k + n) % n)];
        if (Serial_Wanted(panel) && panel.pendingSerial.isEmpty()) {
            panel.serial->setFocus();
            return;
        }
    }
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
    chk_Chiedi_Matricola->setEnabled(!running);
    // The record is chosen once, before the first unit.
    cmd_Registro->setEnabled(!started_ && !locked_);
    txt_Stazione->setReadOnly(running || locked_);
    txt_Database->setReadOnly(running || locked_);
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

void frm_Stazione::On_Result(const cli::PortState& port, const cli::UnitResult& result) {
    qCInfo(platform::Station_Log) << "position" << port.position.c_str() << "unit" << result.unit
                                  << "serial" << result.serial.c_str() << ":"
                                  << (result.Ok() ? "programmed"
                                                  : Run_Failure_Name(result.outcome.failure));
    counts_.Add(result);
    if (supervisor_->Quantity_Reached()) {
        Note(Sentence(records::Complete_Text(job_.workOrder, supervisor_->Good(), job_.quantity)) +
             QStringLiteral(": la stazione non avvia altre unità."));
    }
}

void frm_Stazione::On_Recorded(const records::UnitRecord& record) {
    history_.Add(record);
    if (uploader_) {
        uploader_->Send_Soon();
    }
    Show_Job();
}

void frm_Stazione::On_Log_Failed(const std::string& error) {
    Note(QStringLiteral("Attenzione: ") + Q(error) + QStringLiteral("."));
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
    // A reader types into whatever has the focus, and would rename a position or press a
    // button: unless the operator is typing somewhere, the focus goes to the first position
    // that waits for a serial.
    const auto* focus = qobject_cast<const QLineEdit*>(QApplication::focusWidget());
    const bool typing = focus != nullptr && focus->isEnabled() && !focus->isReadOnly() &&
                        (focus->isModified() || focus->objectName().startsWith("txt_Matricola_"));
    if (chk_Chiedi_Matricola->isChecked() && !typing) {
        Focus_Next_Serial(-1);
    }
}

void frm_Stazione::Clear_Result(Panel& panel) {
    Set_Result(panel.result, QString(), kOkColour);
    panel.detail->clear();
    panel.heard.clear();
}

void frm_Stazione::Show_Port(Panel& panel, const cli::PortState& port, QStringList& heard) {
    const PanelWords words =
        Panel_Words(port, {chk_Chiedi_Matricola->isChecked(), panel.pendingSerial, panel.refusal});
    const auto& last = port.last;
    const bool writing = port.step == cli::PortStep::Writing;
    panel.state->setText(words.state);
    panel.bar->setValue(writing ? port.block : last ? last->outcome.blocks : 0);
    const auto left = cli::Seconds_Left(port, supervisor_->Elapsed_Ms());
    panel.seconds->setText(left ? Q(Seconds_Left_Text(*left)) : QString());
    Set_Result(panel.result, words.result, Colour_Of(words.tone));
    panel.detail->setText(words.detail);
    panel.serial->setEnabled(Serial_Wanted(panel));
    // A unit's end, a port that would not open or a serial refused is heard once, named by its
    // position.
    if (words.result.isEmpty()) {
        panel.heard.clear();
    } else if (words.tone != Tone::Writing && panel.heard != words.detail) {
        panel.heard = words.detail;
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
