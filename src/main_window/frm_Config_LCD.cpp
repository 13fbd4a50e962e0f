#include "main_window/frm_Config_LCD.h"

#include <algorithm>
#include <vector>

#include <QAction>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QMouseEvent>
#include <QPixmap>
#include <QSettings>
#include <QTabWidget>
#include <QTableWidget>
#include <QUndoStack>
#include <QUrl>

#include "compiler/mod_Compilatore.h"
#include "compiler/picture_check.h"
#include "main_window/mod_Funzioni_Varie.h"
#include "main_window/picture_watch.h"
#include "picture/picture.h"
#include "platform/qt/accessibility.h"
#include "platform/qt/announcer.h"
#include "platform/qt/crisp_picture.h"
#include "platform/qt/history_step.h"
#include "platform/qt/layout.h"
#include "platform/qt/twips.h"
#include "preview_window/frm_Anteprima.h"
#include "project/project_file.h"
#include "project/project_state.h"
#include "state/mod_variabili.h"

namespace lcdprog {
namespace {

using platform::ControlRow;
using platform::Fit_Frame;
using platform::Kind;
using platform::Name_Control;
using platform::Twips;

const std::string kInvalidPicture = "Selezionata immagine non valida";
// Enough for the header and the palette of any information header a 1-bit file may carry.
constexpr std::size_t kPaletteBytes = 1024;
// The corner of a box whose picture the module shows as a negative.
constexpr QRgb kReversedMark = 0xFFE07000;
// The compiler refuses a picture file longer than 32767 bytes (its positions are 16-bit), so
// such a file is not shown or accepted here either: the operator learns it when choosing the
// file, not at the next programming run. One byte more is read so that the length is known.
constexpr std::size_t kPictureReadLimit = kPictureFileMaxLength + 1;
constexpr int kCellTwips = 150;

// A glyph cell keeps a colour identifier, not a colour: its background is looked up in the
// grid's palette each time it is painted, so set and clear cells follow the desktop's colour
// scheme whenever it changes, with nothing to repaint by hand. A grid paints its cells on its
// base colour, with its text colour on top: a clear cell takes the base colour, so that a cell
// clicked twice looks exactly like one never clicked, and a set cell the text colour.
class FontCell final : public QTableWidgetItem {
  public:
    QVariant data(int role) const override {
        const QVariant id = QTableWidgetItem::data(frm_Config_LCD::kColourRole);
        if (role == Qt::AccessibleTextRole) {
            // A screen reader says where the cell is (counted from 1) and what it holds.
            const bool set = id.isValid() && id.toUInt() == frm_Config_LCD::kWindowText;
            return QStringLiteral("riga %1, colonna %2, %3")
                .arg(row() + 1)
                .arg(column() + 1)
                .arg(set ? QStringLiteral("acceso") : QStringLiteral("spento"));
        }
        if (role == Qt::BackgroundRole && id.isValid() && tableWidget() != nullptr) {
            const bool set = id.toUInt() == frm_Config_LCD::kWindowText;
            return QBrush(tableWidget()->palette().color(set ? QPalette::Text : QPalette::Base));
        }
        return QTableWidgetItem::data(role);
    }
};

bool Is_Project_File(const std::string& file) {
    return QString::fromStdString(file).endsWith(QLatin1String(kProjectExtension),
                                                 Qt::CaseInsensitive);
}

// A cell that has a colour of its own: it was clicked, or shows a glyph that was put there.
bool Has_Colour(const QTableWidget* grid, int r, int c) {
    const QTableWidgetItem* item = grid->item(r, c);
    return item != nullptr && item->data(frm_Config_LCD::kColourRole).isValid();
}

// Every cell gets its item at once, colourless (it shows the grid's background, as a cell never
// clicked does), so that a screen reader finds every cell with its place and state.
void Fill_Cells(QTableWidget* grid) {
    for (int r = 0; r < grid->rowCount(); ++r) {
        for (int c = 0; c < grid->columnCount(); ++c) {
            auto* item = new FontCell;
            item->setFlags(Qt::ItemIsEnabled);
            grid->setItem(r, c, item);
        }
    }
}

// A glyph cell as a click leaves it, set or clear.
void Paint_Cell(QTableWidget* grid, int r, int c, bool set) {
    QTableWidgetItem* item = grid->item(r, c);
    if (item == nullptr) {
        item = new FontCell;
        item->setFlags(Qt::ItemIsEnabled);
        grid->setItem(r, c, item);
    }
    item->setData(frm_Config_LCD::kColourRole,
                  set ? frm_Config_LCD::kWindowText : frm_Config_LCD::kWindowBackground);
}

// The picture a box holds before start-up: white with a one-pixel black frame, 1 bit per pixel.
QPixmap Design_Time_Picture(int width, int height) {
    QImage image(width, height, QImage::Format_Mono);
    image.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    image.fill(1);
    for (int x = 0; x < width; ++x) {
        image.setPixel(x, 0, 0);
        image.setPixel(x, height - 1, 0);
    }
    for (int y = 0; y < height; ++y) {
        image.setPixel(0, y, 0);
        image.setPixel(width - 1, y, 0);
    }
    return QPixmap::fromImage(image);
}

// One panel type's tab: its frame and the 2 x 2 picture boxes, each with its label just above.
struct PictureTab {
    const char* type;
    const char* tab;
    int frameWidth, frameHeight, boxWidth, boxHeight, column1, row1;
};
constexpr PictureTab kPictureTabs[] = {
    {"64128A", "128x64 (64128A)", 4545, 3135, 1950, 990, 2400, 2000},
    {"64128E", "128x64 (64128E)", 4545, 3135, 1950, 990, 2400, 2000},
    {"64240B", "240x64 (64240B)", 7815, 3195, 3630, 990, 3990, 2000},
    {"128240A", "240x128 (128240A)", 7815, 5055, 3630, 1950, 3990, 2925},
};
constexpr int kCaptionTwips = 270;  // a label's height: it stands just above its picture

std::vector<ControlRow> Layout() {
    std::vector<ControlRow> rows = {
        {"SST_Select_Image", Kind::Tabs, "", 30, 30, 8200, 5895, "Immagini di sfondo e font"},
    };
    const QString fontsPage = QStringLiteral("SST_Select_Image_Tab%1").arg(std::size(kPictureTabs));
    for (std::size_t t = 0; t < std::size(kPictureTabs); ++t) {
        rows.push_back({QStringLiteral("SST_Select_Image_Tab%1").arg(t), Kind::Page,
                        "SST_Select_Image", 0, 0, 0, 0, kPictureTabs[t].tab});
    }
    rows.push_back({fontsPage, Kind::Page, "SST_Select_Image", 0, 0, 0, 0, "Fonts"});
    for (std::size_t t = 0; t < std::size(kPictureTabs); ++t) {
        const PictureTab& p = kPictureTabs[t];
        const QString type = QString::fromLatin1(p.type);
        const QString frame = "fra_Select_Image_" + type;
        rows.push_back({frame, Kind::Frame, QStringLiteral("SST_Select_Image_Tab%1").arg(t), 120,
                        750, p.frameWidth, p.frameHeight,
                        "Selezionare immagini di sfondo per display " + type + ":"});
        for (int i = 0; i < kSlotsPerPanel; ++i) {
            const int left = i % 2 == 0 ? 120 : p.column1;
            const int top = i / 2 == 0 ? 570 : p.row1;
            rows.push_back({"lbl_Image_" + type,
                            Kind::Label,
                            frame,
                            left,
                            top - kCaptionTwips,
                            p.boxWidth,
                            kCaptionTwips,
                            QStringLiteral("Immagine numero %1:").arg(i + 1),
                            {},
                            {},
                            i});
            rows.push_back({"pct_Image_" + type,
                            Kind::PictureBox,
                            frame,
                            left,
                            top,
                            p.boxWidth,
                            p.boxHeight,
                            {},
                            {},
                            QStringLiteral("lbl_Image_%1_%2").arg(type).arg(i),
                            i});
        }
    }
    rows.insert(
        rows.end(),
        {
            {"fra_Font_64128A_64128E", Kind::Frame, fontsPage, 150, 750, 3015, 5000,
             "Font per display 64128A e 64128E:"},
            {"fra_5x8", Kind::Frame, "fra_Font_64128A_64128E", 150, 300, 1245, 1665,
             "Font 5x8 pixel:"},
            {"msh_Font_5x8", Kind::Grid, "fra_5x8", 210, 270, 825, 1260, {}, {}, "fra_5x8"},
            {"fra_10x16", Kind::Frame, "fra_Font_64128A_64128E", 150, 2040, 1875, 2835,
             "Font 10x16 pixel:"},
            {"msh_Font_10x16", Kind::Grid, "fra_10x16", 150, 270, 1580, 2460, {}, {}, "fra_10x16"},
        });
    return rows;
}

}  // namespace

const QString frm_Config_LCD::kCaption = QStringLiteral("Programmatore LCD grafici");

frm_Config_LCD::frm_Config_LCD(platform::Services& services, ProgramState& state,
                               platform::SerialWindowAccess* serialWindow, QWidget* parent)
    : QMainWindow(parent), services_(services), state_(state), serialWindow_(serialWindow) {
    panels_[k64128A] = {&state_.Images_64128A, 128, 64, nullptr, {}, {}, {}};
    panels_[k64128E] = {&state_.Images_64128E, 128, 64, nullptr, {}, {}, {}};
    panels_[k64240B] = {&state_.Images_64240B, 240, 64, nullptr, {}, {}, {}};
    panels_[k128240A] = {&state_.Images_128240A, 240, 128, nullptr, {}, {}, {}};
    watch_ = new PictureWatch(this);
    connect(watch_, &PictureWatch::changed, this,
            [this](const QStringList& paths) { Picture_Files_Changed(paths); });
    Build_Controls();
    Build_Menus();
    Build_Project_Menus();
    Build_Editing();
    Build_Picture_Editing();
    // A .lcdprj dropped anywhere on the window opens it; a picture goes on the box it lands on.
    setAcceptDrops(true);
}

void frm_Config_LCD::Build_Controls() {
    // Named by its title, which a screen reader reads as the window's name.
    setObjectName(QStringLiteral("frm_Config_LCD"));
    setWindowTitle(kCaption);

    auto* client = new QWidget(this);
    // At least its designed size; larger, the tabs follow it and the glyph grids grow.
    client->setMinimumSize(Twips(8220), Twips(5925));
    setCentralWidget(client);
    // The window's controls were laid out for an 8.25 pt font.
    QFont small = font();
    small.setPointSizeF(8.25);
    setFont(small);

    const std::vector<ControlRow> rows = Layout();
    const platform::Controls c = platform::Build_Controls(client, rows);
    SST_Select_Image = c.Get<QTabWidget>("SST_Select_Image");
    SST_Select_Image->setCurrentIndex(0);
    for (int p = 0; p < kPanelCount; ++p) {
        Panel& panel = panels_[p];
        const QString type = QString::fromLatin1(kPictureTabs[p].type);
        panel.frame = c.Get<QGroupBox>("fra_Select_Image_" + type);
        Fit_Frame(panel.frame, Twips(8200) - 8);
        const QPixmap designPicture = Design_Time_Picture(panel.width, panel.height);
        for (int i = 0; i < kSlotsPerPanel; ++i) {
            panel.labels[i] = c.Get<QLabel>(QStringLiteral("lbl_Image_%1_%2").arg(type).arg(i));
            panel.pictures[i] =
                c.Get<platform::CrispPicture>(QStringLiteral("pct_Image_%1_%2").arg(type).arg(i));
            panel.pictures[i]->setPixmap(designPicture);
            panel.pictures[i]->installEventFilter(this);
            // A picture file dropped on the box takes its slot, as a right-click choice.
            panel.pictures[i]->setAcceptDrops(true);
        }
    }

    fra_Font_64128A_64128E = c.Get<QGroupBox>("fra_Font_64128A_64128E");
    Fit_Frame(fra_Font_64128A_64128E, Twips(8200) - 8);
    fra_5x8 = c.Get<QGroupBox>("fra_5x8");
    fra_10x16 = c.Get<QGroupBox>("fra_10x16");
    Fit_Frame(fra_5x8, fra_Font_64128A_64128E->width() - 4);
    Fit_Frame(fra_10x16, fra_Font_64128A_64128E->width() - 4);
    // Every cell is a pixel of the glyph: a row per bit, a column per entry.
    msh_Font_5x8 = c.Get<QTableWidget>("msh_Font_5x8");
    msh_Font_5x8->setRowCount(8);
    msh_Font_5x8->setColumnCount(static_cast<int>(std::size(state_.Font_5x8)));
    msh_Font_10x16 = c.Get<QTableWidget>("msh_Font_10x16");
    msh_Font_10x16->setRowCount(16);
    msh_Font_10x16->setColumnCount(static_cast<int>(std::size(state_.Font_10x16)));
    Fill_Cells(msh_Font_5x8);
    Fill_Cells(msh_Font_10x16);

    // A click makes the clicked cell current first, then the handler reads the current cell.
    connect(msh_Font_5x8, &QTableWidget::cellClicked, this, [this] { msh_Font_5x8_Click(); });
    connect(msh_Font_10x16, &QTableWidget::cellClicked, this, [this] { msh_Font_10x16_Click(); });
    msh_Font_5x8->installEventFilter(this);
    msh_Font_10x16->installEventFilter(this);
    msh_Font_5x8->viewport()->installEventFilter(this);
    msh_Font_10x16->viewport()->installEventFilter(this);
    client->installEventFilter(this);
    fra_Font_64128A_64128E->parentWidget()->installEventFilter(this);
}

void frm_Config_LCD::Build_Menus() {
    // The serial control `RS232_Interface` and the file dialog `Comm_Open_Save` have no widget
    // here: they are the serial control and the dialog in Services.
    mnu_File = menuBar()->addMenu(QStringLiteral("File"));
    Name_Control(mnu_File, QStringLiteral("mnu_File"), QStringLiteral("File"), QString());
    smnu_File_0 = mnu_File->addAction(QStringLiteral("Esci"));
    smnu_File_0->setObjectName(QStringLiteral("smnu_File_0"));
    connect(smnu_File_0, &QAction::triggered, this, [this] { smnu_File_Click(0); });

    const QString communication = QStringLiteral("&Comunicazione");
    mnu_Comunicazione = menuBar()->addMenu(communication);
    Name_Control(mnu_Comunicazione, QStringLiteral("mnu_Comunicazione"), communication, QString());
    smnu_Comunicazione_0 =
        mnu_Comunicazione->addAction(QStringLiteral("&Attiva/Disattiva seriale"));
    smnu_Comunicazione_0->setObjectName(QStringLiteral("smnu_Comunicazione_0"));
    connect(smnu_Comunicazione_0, &QAction::triggered, this,
            [this] { smnu_Comunicazione_Click(0); });
    // The production station: main() opens it, as it opens the serial window.
    QAction* station = mnu_Comunicazione->addAction(QStringLiteral("Stazione di produzione..."));
    station->setObjectName(QStringLiteral("smnu_Stazione_0"));
    connect(station, &QAction::triggered, this, &frm_Config_LCD::stationRequested);
}

bool frm_Config_LCD::Form_Load() {
    for (Panel& panel : panels_) {
        panel.images->fill(ImageSlot{});
    }
    if (!Load_White_Background("Sfondo_Bianco_128x64.bmp", {k64128A, k64128E}) ||
        !Load_White_Background("Sfondo_Bianco_240x64.bmp", {k64240B}) ||
        !Load_White_Background("Sfondo_Bianco_240x128.bmp", {k128240A})) {
        return false;
    }
    for (QTableWidget* grid : {msh_Font_5x8, msh_Font_10x16}) {
        for (int c = 0; c < grid->columnCount(); ++c) {
            grid->setColumnWidth(c, Twips(kCellTwips));
        }
        for (int r = 0; r < grid->rowCount(); ++r) {
            grid->setRowHeight(r, Twips(kCellTwips));
        }
    }
    glyphBase_ = {Twips(kCellTwips),     fra_Font_64128A_64128E->geometry(),
                  fra_5x8->geometry(),   msh_Font_5x8->geometry(),
                  fra_10x16->geometry(), msh_Font_10x16->geometry()};
    Fit_Glyph_Grids();
    // A new window starts a new history, with nothing unsaved.
    undoStack_->clear();
    Name_Picture_Boxes();
    return true;
}

bool frm_Config_LCD::Load_White_Background(const char* fileName,
                                           std::initializer_list<PanelIndex> which) {
    const std::string name = fileName;
    // Beside the executable, or where an installed tree keeps it; the message names only the file.
    const std::string path = services_.files.ProgramDataFile(name);
    if (!services_.files.FileExists(path)) {
        services_.messages.Show("File " + name + " non trovato. Impossibile continuare", "ERROR",
                                platform::MessageIcon::Critical);
        services_.program.EndNow();
        return false;
    }
    const QImage image = Module_Picture(*which.begin(), path).image;
    if (image.isNull()) {
        services_.messages.Show(
            "File " + name + " non leggibile come immagine. Impossibile continuare", "ERROR",
            platform::MessageIcon::Critical);
        services_.program.EndNow();
        return false;
    }
    for (PanelIndex index : which) {
        Panel& panel = panels_[index];
        panel.white = image;
        for (int i = 0; i < kSlotsPerPanel; ++i) {
            Fill_Slot((*panel.images)[i], index, path, name);
            Show_Box(index, i);
        }
    }
    Follow_Picture_Files();
    return true;
}

frm_Config_LCD::ModulePicture frm_Config_LCD::Module_Picture(int p, const std::string& path) const {
    const Panel& panel = panels_[p];
    // As for a right-click choice, a file the picture loader cannot decode is no picture.
    if (Load_Picture(path).isNull()) {
        return {};
    }
    platform::KeptMessages quiet;
    CompilerIo io{services_.files, quiet};
    BitmapRasterArray raster;
    if (!Load_Bitmap_Raster(io, raster, path, services_.files.GetFileName(path), panel.width,
                            panel.height)) {
        return {};
    }
    // A stored 0 bit is palette index 0, the pixel the module turns on, whatever colour the
    // file's palette gives it.
    ModulePicture picture;
    picture.image = platform::Dots_Image(
        panel.width, panel.height,
        [&](int x, int y) { return ((raster.bytes[y][x / 8] >> (7 - x % 8)) & 1u) == 0; },
        qRgb(0, 0, 0), qRgb(255, 255, 255));
    picture.reversed =
        picture::Has_Reversed_Palette(services_.files.Read(path, kPaletteBytes).bytes);
    return picture;
}

void frm_Config_LCD::Show_Box(int p, int s) {
    const Panel& panel = panels_[p];
    platform::CrispPicture* box = panel.pictures[s];
    const QString kept = QString::fromStdString(keptPaths_[p][s]);
    const std::string& path = (*panel.images)[s].FullPath;
    const ModulePicture picture = kept.isEmpty() ? Module_Picture(p, path) : ModulePicture{};
    QString tip;
    if (!kept.isEmpty()) {
        tip = QStringLiteral(
                  "Immagine non caricata: %1 (%2). Il progetto la conserva: salvando, il percorso "
                  "resta nel file.")
                  .arg(kept, QString::fromStdString(keptReasons_[p][s]));
    } else if (picture.image.isNull()) {
        // The file changed or went away after the slot took it: the slot keeps its path, so the
        // picture comes back with the file, and until then a run stops at it and says why.
        tip = QStringLiteral(
                  "Immagine non leggibile ora: %1. Finché il file non torna il modulo non può "
                  "essere programmato.")
                  .arg(QString::fromStdString(path));
    } else if (picture.reversed) {
        tip = QStringLiteral(
            "Tavolozza invertita: il modulo mostra questa immagine in negativo, come qui.");
    }
    // A red cross over the white picture: the slot is not empty, its picture is away.
    box->setPixmap(QPixmap::fromImage(picture.image.isNull() ? platform::Crossed_Out(panel.white)
                                                             : picture.image));
    box->Set_Corner_Mark(picture.reversed ? QColor(kReversedMark) : QColor());
    box->setToolTip(tip);
    box->setAccessibleDescription(tip);
}

void frm_Config_LCD::Follow_Picture_Files() {
    std::vector<std::string> paths;
    for (const Panel& panel : panels_) {
        for (const ImageSlot& slot : *panel.images) {
            if (!slot.FullPath.empty()) {
                paths.push_back(slot.FullPath);
            }
        }
    }
    watch_->Follow(paths);
}

void frm_Config_LCD::Picture_Files_Changed(const QStringList& paths) {
    for (int p = 0; p < kPanelCount; ++p) {
        for (int s = 0; s < kSlotsPerPanel; ++s) {
            if (paths.contains(QString::fromStdString((*panels_[p].images)[s].FullPath))) {
                Show_Box(p, s);
            }
        }
    }
    picturesChanged_ = true;
    Follow_History();
}

QImage frm_Config_LCD::Load_Picture(const std::string& path) const {
    // Through the file service, so a FIFO or a device is never opened and a lower-cased path
    // still finds its file; the decoder then only sees bytes already in memory.
    const platform::FileContents file = services_.files.Read(path, kPictureReadLimit);
    if (file.status != platform::FileStatus::Ok || file.length > kPictureFileMaxLength) {
        return {};
    }
    // The header test takes a picture whatever its first two bytes are, and the compiler never
    // looks at them either; Qt's decoder insists on "BM", so it is shown the signature it wants.
    std::string bytes = file.bytes;
    if (bytes.size() >= 2) {
        bytes[0] = 'B';
        bytes[1] = 'M';
    }
    QImage image;
    image.loadFromData(reinterpret_cast<const uchar*>(bytes.data()), static_cast<int>(bytes.size()),
                       "BMP");
    return image;
}

void frm_Config_LCD::pct_Image_64128A_MouseDown(int index, Qt::MouseButton button) {
    Select_Picture(k64128A, index, button);
}

void frm_Config_LCD::pct_Image_64128E_MouseDown(int index, Qt::MouseButton button) {
    Select_Picture(k64128E, index, button);
}

void frm_Config_LCD::pct_Image_64240B_MouseDown(int index, Qt::MouseButton button) {
    Select_Picture(k64240B, index, button);
}

void frm_Config_LCD::pct_Image_128240A_MouseDown(int index, Qt::MouseButton button) {
    Select_Picture(k128240A, index, button);
}

void frm_Config_LCD::Select_Picture(PanelIndex which, int index, Qt::MouseButton button) {
    if (button != Qt::RightButton || index < 0 || index >= kSlotsPerPanel) {
        return;
    }
    // The picture selection always asks with the open form.
    const bool SaveDialogMode = false;
    const std::string path = Select_Picture_File(
        SaveDialogMode, services_.dialog, services_.messages, &services_.pump,
        "Scegli l'immagine " + std::to_string(index + 1) + " del " + kPictureTabs[which].type);
    if (Take_Picture(which, index, path)) {
        Check_Palettes({{which, index, path}});
    }
}

bool frm_Config_LCD::Take_Picture(PanelIndex which, int index, const std::string& path,
                                  const QString& step) {
    Panel& panel = panels_[which];
    // The header test, and then the picture must really load: a file that is not a regular
    // file, cannot be read or does not decode is refused like a wrong header, so the box and
    // the slot never disagree.
    QImage image;
    std::string reason = "Nessun file bitmap scelto.";
    if (!path.empty()) {
        if (Check_Bitmap_Header(services_.files, path, panel.width, panel.height)) {
            image = Module_Picture(which, path).image;
        }
        // The sentence a project and the command line give for the same file.
        reason = Check_Picture_File(services_.files, path, panel.width, panel.height).Text();
        if (reason.empty()) {
            reason = "immagine non leggibile";
        }
        // A sentence that names the file: the operator may have picked another one than meant.
        reason = services_.files.GetFileName(path) + ": " + reason;
        if (reason.back() != '.') {
            reason += '.';
        }
    }
    if (image.isNull()) {
        services_.messages.ShowDetailed(kInvalidPicture, "ERROR", platform::MessageIcon::Critical,
                                        reason);
        return false;
    }
    // Every way a picture enters a slot comes through here, so each is one step of the history.
    // A step keeps paths, not pictures: undone or redone, the box shows the file as it is then,
    // and a file is never replaced by another picture (picture_names.h), so a path brought back
    // still means the pixels it meant.
    ImageSlot taken;
    Fill_Slot(taken, which, path, services_.files.GetFileName(path));
    const ImageSlot before = (*panel.images)[index];
    // A picture taken over a kept path drops it; undone, the slot keeps it again.
    const std::string beforeKept = keptPaths_[which][index];
    const std::string beforeReason = keptReasons_[which][index];
    const QString where =
        QStringLiteral("immagine %1 del %2").arg(index + 1).arg(kPictureTabs[which].type);
    undoStack_->push(new platform::HistoryStep(
        (step.isEmpty() ? QStringLiteral("Scelta dell'") : step) + where,
        [=, this] { Put_Slot(which, index, before, beforeKept, beforeReason); },
        [=, this] { Put_Slot(which, index, taken, {}, {}); }, false));
    return true;
}

void frm_Config_LCD::Put_Slot(PanelIndex which, int index, const ImageSlot& slot,
                              const std::string& kept, const std::string& keptReason) {
    (*panels_[which].images)[index] = slot;
    keptPaths_[which][index] = kept;
    keptReasons_[which][index] = keptReason;
    Show_Box(which, index);
    Follow_Picture_Files();
}

void frm_Config_LCD::Name_Picture_Boxes() {
    for (int p = 0; p < kPanelCount; ++p) {
        for (int i = 0; i < kSlotsPerPanel; ++i) {
            platform::Set_Spoken_Name(
                panels_[p].pictures[i],
                QStringLiteral("Immagine numero %1: %2, display %3")
                    .arg(i + 1)
                    .arg(QString::fromStdString((*panels_[p].images)[i].FileName))
                    .arg(QLatin1String(kPictureTabs[p].type)));
        }
    }
}

void frm_Config_LCD::msh_Font_5x8_Click() {
    const GlyphColumns before = Glyph_Of(0);
    if (Toggle_Cell(
            msh_Font_5x8, 0xFFu,
            [this](int c) { return static_cast<unsigned>(state_.Font_5x8[c]); },
            [this](int c, unsigned v) { state_.Font_5x8[c] = static_cast<std::uint8_t>(v); })) {
        Record_Glyph_Step(0, before, QStringLiteral("Punto"));
    }
}

void frm_Config_LCD::msh_Font_10x16_Click() {
    const GlyphColumns before = Glyph_Of(1);
    if (Toggle_Cell(
            msh_Font_10x16, 0xFFFFu,
            [this](int c) { return static_cast<unsigned>(state_.Font_10x16[c]); },
            [this](int c, unsigned v) { state_.Font_10x16[c] = static_cast<std::uint16_t>(v); })) {
        Record_Glyph_Step(1, before, QStringLiteral("Punto"));
    }
}

bool frm_Config_LCD::Toggle_Cell(QTableWidget* grid, unsigned mask,
                                 const std::function<unsigned(int)>& get,
                                 const std::function<void(int, unsigned)>& set) {
    // The cell's stored colour decides, not the table bit; a cell never clicked has no colour
    // of its own and counts as clear.
    const QTableWidgetItem* item = grid->currentItem();
    const bool wasSet = item != nullptr && item->data(kColourRole).isValid() &&
                        item->data(kColourRole).toUInt() == kWindowText;
    const int r = grid->currentRow();
    const int c = grid->currentColumn();
    if (r < 0 || c < 0) {
        return false;
    }
    Paint_Cell(grid, r, c, !wasSet);
    const unsigned bit = 1u << r;
    set(c, wasSet ? get(c) & (bit ^ mask) : get(c) | bit);
    // The cell's name says its state ("riga 1, colonna 1, acceso"), but Qt tells nobody a cell's
    // data changed, and Orca 43 would not speak a cell's new name anyway: the new state is said.
    announcer_->Say(wasSet ? QStringLiteral("spento") : QStringLiteral("acceso"));
    return true;
}

void frm_Config_LCD::smnu_File_Click(int index) {
    if (index == 0) {
        close();
    }
}

void frm_Config_LCD::smnu_Comunicazione_Click(int index) {
    if (index == 0 && serialWindow_ != nullptr) {
        serialWindow_->ShowWindow();
    }
}

bool frm_Config_LCD::Run_In_Progress() const {
    return serialWindow_ != nullptr && serialWindow_->RunInProgress();
}

void frm_Config_LCD::closeEvent(QCloseEvent* event) {
    if (Refuse_Close_While_Locked()) {
        event->ignore();
        return;
    }
    if (Run_In_Progress()) {
        // A programming run is yielding to the window system from inside one of its waits:
        // the operator is told in the caption that it must end first, and the window stays.
        setWindowTitle(kCaption + QStringLiteral(" - ") + QString::fromUtf8(kWaitForRunText));
        event->ignore();
        return;
    }
    if (!Confirm_Discard()) {
        event->ignore();
        return;
    }
    setWindowTitle(Title());
    event->accept();
}

void frm_Config_LCD::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ActivationChange && !Run_In_Progress()) {
        setWindowTitle(Title());
    }
    QMainWindow::changeEvent(event);
}

bool frm_Config_LCD::Slot_Of(const QObject* watched, int& p, int& i) const {
    for (p = 0; p < kPanelCount; ++p) {
        for (i = 0; i < kSlotsPerPanel; ++i) {
            if (watched == panels_[p].pictures[i]) {
                return true;
            }
        }
    }
    return false;
}

bool frm_Config_LCD::eventFilter(QObject* watched, QEvent* event) {
    // (Boxes already filtered while the window is being built: the grids come after them.)
    for (int g = 0; g < 2 && msh_Font_10x16 != nullptr; ++g) {
        if (watched == (g == 0 ? msh_Font_5x8 : msh_Font_10x16)->viewport() &&
            Follow_Stroke(g, event)) {
            return true;
        }
    }
    if (event->type() == QEvent::Resize && watched == centralWidget()) {
        SST_Select_Image->resize(centralWidget()->size() -
                                 QSize(Twips(8220 - 8200), Twips(5925 - 5895)));
        // The station's notice keeps covering all of it.
        if (auto* notice =
                findChild<QLabel*>(QStringLiteral("lbl_Bloccato"), Qt::FindDirectChildrenOnly)) {
            notice->setGeometry(centralWidget()->geometry());
        }
    } else if (event->type() == QEvent::Resize && fra_Font_64128A_64128E != nullptr &&
               watched == fra_Font_64128A_64128E->parentWidget()) {
        Fit_Glyph_Grids();
    }
    int p = 0;
    int i = 0;
    // A file dragged onto a picture box: a picture takes that slot, a project opens.
    if ((event->type() == QEvent::DragEnter || event->type() == QEvent::Drop) &&
        Slot_Of(watched, p, i)) {
        auto* drop = static_cast<QDropEvent*>(event);
        const std::string file = Dropped_File(drop->mimeData());
        if (file.empty()) {
            return false;
        }
        drop->acceptProposedAction();
        if (event->type() == QEvent::Drop) {
            if (Is_Project_File(file)) {
                Open_Project(file);
            } else {
                Drop_Picture(static_cast<PanelIndex>(p), i, file);
            }
        }
        return true;
    }
    // A double click or Enter on a box opens its picture in the editor.
    const bool edit = (event->type() == QEvent::MouseButtonDblClick &&
                       static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) ||
                      (event->type() == QEvent::KeyPress &&
                       (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Return ||
                        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Enter));
    if (edit && Slot_Of(watched, p, i)) {
        Edit_Picture(static_cast<PanelIndex>(p), i);
        return true;
    }
    const bool press = event->type() == QEvent::MouseButtonPress;
    // The context-menu key (or Shift+F10) on a focused picture box counts as the right button.
    // So does Space, as it presses a focused button.
    const bool menuKey =
        (event->type() == QEvent::ContextMenu &&
         static_cast<QContextMenuEvent*>(event)->reason() == QContextMenuEvent::Keyboard) ||
        (event->type() == QEvent::KeyPress &&
         static_cast<QKeyEvent*>(event)->key() == Qt::Key_Space &&
         static_cast<QKeyEvent*>(event)->modifiers() == Qt::NoModifier);
    if ((press || menuKey) && Slot_Of(watched, p, i)) {
        const Qt::MouseButton button =
            press ? static_cast<QMouseEvent*>(event)->button() : Qt::RightButton;
        switch (p) {
            case k64128A:
                pct_Image_64128A_MouseDown(i, button);
                break;
            case k64128E:
                pct_Image_64128E_MouseDown(i, button);
                break;
            case k64240B:
                pct_Image_64240B_MouseDown(i, button);
                break;
            default:
                pct_Image_128240A_MouseDown(i, button);
                break;
        }
        return true;
    }
    // Space on a grid toggles its current cell, as a click does.
    if (event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Space &&
        (watched == msh_Font_5x8 || watched == msh_Font_10x16)) {
        if (watched == msh_Font_5x8) {
            msh_Font_5x8_Click();
        } else {
            msh_Font_10x16_Click();
        }
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void frm_Config_LCD::Set_Glyph_Cell(int glyph, int r, int c, bool on) {
    Paint_Cell(glyph == 0 ? msh_Font_5x8 : msh_Font_10x16, r, c, on);
    const unsigned bit = 1u << r;
    if (glyph == 0) {
        state_.Font_5x8[c] =
            static_cast<std::uint8_t>(on ? state_.Font_5x8[c] | bit : state_.Font_5x8[c] & ~bit);
    } else {
        state_.Font_10x16[c] = static_cast<std::uint16_t>(on ? state_.Font_10x16[c] | bit
                                                             : state_.Font_10x16[c] & ~bit);
    }
}

bool frm_Config_LCD::Follow_Stroke(int glyph, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseMove &&
        type != QEvent::MouseButtonRelease) {
        return false;
    }
    QTableWidget* grid = glyph == 0 ? msh_Font_5x8 : msh_Font_10x16;
    const auto* mouse = static_cast<QMouseEvent*>(event);
    const QModelIndex cell = grid->indexAt(mouse->position().toPoint());
    if (type == QEvent::MouseButtonPress) {
        stroke_ = {};
        if (mouse->button() == Qt::LeftButton && cell.isValid()) {
            const QVariant colour = cell.data(kColourRole);
            const bool set = colour.isValid() && colour.toUInt() == kWindowText;
            stroke_ = {glyph, !set, false, cell.row(), cell.column(), Glyph_Of(glyph)};
        }
        return false;  // the grid's own press: the cell becomes current
    }
    if (stroke_.glyph != glyph) {
        return false;
    }
    if (type == QEvent::MouseMove) {
        if (!(mouse->buttons() & Qt::LeftButton) || !cell.isValid() ||
            (cell.row() == stroke_.row && cell.column() == stroke_.column)) {
            return stroke_.moved;
        }
        if (!stroke_.moved) {
            stroke_.moved = true;
            Set_Glyph_Cell(glyph, stroke_.row, stroke_.column, stroke_.on);
        }
        // Every cell on the straight way there, however fast the pointer went.
        const int dr = std::abs(cell.row() - stroke_.row),
                  dc = std::abs(cell.column() - stroke_.column);
        const int sr = cell.row() > stroke_.row ? 1 : -1,
                  sc = cell.column() > stroke_.column ? 1 : -1;
        int r = stroke_.row, c = stroke_.column, error = dc - dr;
        while (r != cell.row() || c != cell.column()) {
            const int twice = 2 * error;
            if (twice > -dr) {
                error -= dr;
                c += sc;
            }
            if (twice < dc) {
                error += dc;
                r += sr;
            }
            Set_Glyph_Cell(glyph, r, c, stroke_.on);
        }
        stroke_.row = r;
        stroke_.column = c;
        return true;
    }
    const Stroke done = std::exchange(stroke_, Stroke{});
    if (!done.moved) {
        return false;  // a click: the grid's handler toggles the cell
    }
    grid->setCurrentCell(done.row, done.column);
    if (Glyph_Of(glyph) != done.before) {
        Record_Glyph_Step(glyph, done.before, QStringLiteral("Tratto"));
    }
    return true;
}

void frm_Config_LCD::Show_Glyphs() {
    Show_Glyph(0, Glyph_Of(0));
    Show_Glyph(1, Glyph_Of(1));
}

GlyphColumns frm_Config_LCD::Glyph_Of(int glyph) const {
    return glyph == 0 ? GlyphColumns(state_.Font_5x8.begin(), state_.Font_5x8.end())
                      : GlyphColumns(state_.Font_10x16.begin(), state_.Font_10x16.end());
}

void frm_Config_LCD::Show_Glyph(int glyph, const GlyphColumns& columns) {
    QTableWidget* grid = glyph == 0 ? msh_Font_5x8 : msh_Font_10x16;
    for (int c = 0; c < grid->columnCount(); ++c) {
        if (glyph == 0) {
            state_.Font_5x8[c] = static_cast<std::uint8_t>(columns[c]);
        } else {
            state_.Font_10x16[c] = static_cast<std::uint16_t>(columns[c]);
        }
        // The cells take the glyph's bits with the colours a click would give them; a cell
        // never clicked and still clear keeps no colour of its own.
        for (int r = 0; r < grid->rowCount(); ++r) {
            const bool set = ((columns[c] >> r) & 1u) != 0;
            if (set || Has_Colour(grid, r, c)) {
                Paint_Cell(grid, r, c, set);
            }
        }
    }
}

void frm_Config_LCD::smnu_Anteprima_Click(int index) {
    if (index != 0) {
        return;
    }
    if (preview_ == nullptr) {
        // A window of its own that closes with this one; it follows every change from here on.
        preview_ = new frm_Anteprima(services_, state_, this);
        connect(this, &frm_Config_LCD::projectChanged, preview_, [this] {
            preview_->Set_Kept_Paths(keptPaths_);
            preview_->Refresh();
        });
    }
    preview_->Set_Kept_Paths(keptPaths_);
    preview_->Refresh();
    preview_->show();
    preview_->raise();
    preview_->activateWindow();
}

std::string frm_Config_LCD::Dropped_File(const QMimeData* data) {
    if (data == nullptr || !data->hasUrls() || data->urls().size() != 1 ||
        !data->urls().front().isLocalFile()) {
        return {};
    }
    return QFile::encodeName(data->urls().front().toLocalFile()).toStdString();
}

void frm_Config_LCD::dragEnterEvent(QDragEnterEvent* event) {
    if (Is_Project_File(Dropped_File(event->mimeData()))) {
        event->acceptProposedAction();
    }
}

void frm_Config_LCD::dropEvent(QDropEvent* event) {
    const std::string file = Dropped_File(event->mimeData());
    if (Is_Project_File(file)) {
        event->acceptProposedAction();
        Open_Project(file);
    }
}

}  // namespace lcdprog
