#include "picture_editor/frm_Modifica_Immagine.h"

#include <QAction>
#include <QActionGroup>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QToolBar>
#include <QToolButton>
#include <QUndoStack>
#include <QVBoxLayout>
#include <algorithm>

#include "picture_editor/picture_canvas.h"
#include "platform/qt/accessibility.h"
#include "platform/qt/history_step.h"
#include "platform/qt/qt_image_reader.h"

namespace lcdprog {
namespace {

using picture::Bits;
using picture::Point;

// The editor opens as large as this allows, and never below 1x.
constexpr int kOpeningWidth = 960;
constexpr int kOpeningHeight = 640;
constexpr int kDefaultThreshold = 128;
constexpr int kDefaultTextSize = 12;
// A piece on the clipboard larger than this is no picture of ours.
constexpr int kPieceMaxSide = 4096;

// The name a screen reader speaks and the description it reads after it: the tool tip, or
// nothing.
void Name(QWidget* w, const QString& objectName, const QString& name, const QString& tip = {}) {
    platform::Name_Control(w, objectName, name, tip);
    w->setToolTip(tip);
    w->setAccessibleDescription(tip);
}

struct ToolRow {
    DrawingTool tool;
    const char* name;  // the menu item is smnu_<name>, its tool button cmd_<name>
    const char* text;
    Qt::Key key;
    const char* tip;
};
constexpr ToolRow kTools[] = {
    {DrawingTool::Pencil, "Matita", "&Matita", Qt::Key_P,
     "Matita (P): un punto, o trascinando una linea continua"},
    {DrawingTool::Eraser, "Gomma", "&Gomma", Qt::Key_G, "Gomma (G): cancella con il bianco"},
    {DrawingTool::Line, "Linea", "&Linea", Qt::Key_L, "Linea (L): con Maiusc a 0, 45 o 90 gradi"},
    {DrawingTool::Rectangle, "Rettangolo", "&Rettangolo", Qt::Key_R,
     "Rettangolo (R): con Maiusc un quadrato"},
    {DrawingTool::Ellipse, "Ellisse", "&Ellisse", Qt::Key_E, "Ellisse (E): con Maiusc un cerchio"},
    {DrawingTool::Fill, "Riempimento", "Riem&pimento", Qt::Key_B,
     "Riempimento (B): colora l'area chiusa intorno al punto"},
    {DrawingTool::Text, "Testo", "&Testo", Qt::Key_T,
     "Testo (T): scrive il testo della casella Testo con la linea di base sul punto"},
    {DrawingTool::Selection, "Selezione", "&Selezione", Qt::Key_S,
     "Selezione (S): trascinando sceglie un'area; trascinando l'area la sposta, con Ctrl la "
     "copia"},
};

// The editor's own copy: "width height\n" and a byte per pixel, 0 black and 1 white.
QByteArray Own_Bytes(const Bits& piece) {
    return QByteArray::number(piece.width) + ' ' + QByteArray::number(piece.height) + '\n' +
           QByteArray(reinterpret_cast<const char*>(piece.index.data()),
                      static_cast<qsizetype>(piece.index.size()));
}

std::optional<Bits> Own_Piece(const QByteArray& bytes) {
    const qsizetype end = bytes.indexOf('\n');
    const QList<QByteArray> size = bytes.left(std::max<qsizetype>(end, 0)).split(' ');
    if (end < 0 || size.size() != 2) {
        return std::nullopt;
    }
    const int width = size[0].toInt();
    const int height = size[1].toInt();
    if (width <= 0 || height <= 0 || width > kPieceMaxSide || height > kPieceMaxSide ||
        bytes.size() - end - 1 != qsizetype{width} * height) {
        return std::nullopt;
    }
    Bits piece{width, height, {}};
    piece.index.assign(bytes.begin() + end + 1, bytes.end());
    if (std::any_of(piece.index.begin(), piece.index.end(), [](std::uint8_t v) { return v > 1; })) {
        return std::nullopt;
    }
    return piece;
}

// Any other picture: as the import converts it (over white, threshold 128), at its own size, or
// shrunk with its proportions kept to fit a picture of `width` x `height`.
std::optional<Bits> Converted_Piece(const QImage& image, int width, int height) {
    picture::Rgba rgba;
    if (image.isNull() || !platform::Rgba_Of(image, rgba) || rgba.width <= 0 || rgba.height <= 0) {
        return std::nullopt;
    }
    picture::Settings settings;
    settings.scaling = picture::Scaling::Original;
    int w = rgba.width;
    int h = rgba.height;
    if (w > width || h > height) {
        const double scale = std::min(double(width) / w, double(height) / h);
        w = std::clamp(static_cast<int>(w * scale + 0.5), 1, width);
        h = std::clamp(static_cast<int>(h * scale + 0.5), 1, height);
        settings.scaling = picture::Scaling::Fit;
    }
    return picture::Convert(rgba, w, h, settings);
}

QImage Clipboard_Image(const Bits& piece) {
    QImage image(piece.width, piece.height, QImage::Format_Mono);
    image.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    for (int y = 0; y < piece.height; ++y) {
        for (int x = 0; x < piece.width; ++x) {
            image.setPixel(x, y, piece.Black(x, y) ? 0 : 1);
        }
    }
    return image;
}

// A label that names the control after it, with the access key it underlines: lbl_Colore for
// cmb_Colore.
QLabel* Label_For(QWidget* field, const QString& text) {
    auto* label = new QLabel(text);
    label->setObjectName(QStringLiteral("lbl_") + field->objectName().section(QLatin1Char('_'), 1));
    label->setBuddy(field);
    return label;
}

}  // namespace

const QString frm_Modifica_Immagine::kClipboardFormat =
    QStringLiteral("application/x-lcdprog-picture-bits");

frm_Modifica_Immagine::frm_Modifica_Immagine(Bits picture, const QString& caption,
                                             platform::MessageBox& messages, QWidget* parent)
    : QDialog(parent), model_(picture), original_(std::move(picture)), messages_(messages) {
    setWindowTitle(caption);
    Name(this, QStringLiteral("frm_Modifica_Immagine"), caption);
    history_ = new QUndoStack(this);

    canvas_ = new PictureCanvas;
    canvas_->setObjectName(QStringLiteral("pct_Disegno"));
    const QString canvasTip = QStringLiteral(
        "Frecce: sposta il cursore (con Ctrl di 8 punti). Spazio: inizia e finisce il disegno. "
        "Esc: lo annulla. Il tasto destro del mouse disegna con l'altro colore.");
    canvas_->setToolTip(canvasTip);
    canvas_->setAccessibleDescription(canvasTip);
    canvas_->Show_Picture(model_.Shown());
    scroll_ = new QScrollArea;
    scroll_->setObjectName(QStringLiteral("scr_Disegno"));
    scroll_->setWidget(canvas_);
    scroll_->setAlignment(Qt::AlignCenter);
    scroll_->setBackgroundRole(QPalette::Dark);

    QMenuBar* menus = Build_Menus();
    QToolBar* tools = Build_Tools(menus);
    QLayout* options = Build_Options();

    lbl_Posizione = new QLabel;
    lbl_Posizione->setObjectName(QStringLiteral("lbl_Posizione"));
    // As wide as the longest place it shows, so that the status beside it does not jump.
    lbl_Posizione->setMinimumWidth(
        lbl_Posizione->fontMetrics().horizontalAdvance(QStringLiteral("x 888, y 888: bianco ")));
    lbl_Stato = new QLabel;
    lbl_Stato->setObjectName(QStringLiteral("lbl_Stato"));
    lbl_Stato->setWordWrap(true);
    cmd_Nuova_Immagine = new QPushButton(QStringLiteral("Nuova immagine"));
    Name(cmd_Nuova_Immagine, QStringLiteral("cmd_Nuova_Immagine"), QStringLiteral("Nuova immagine"),
         QStringLiteral("Un'immagine tutta bianca delle stesse dimensioni"));
    cmd_OK = new QPushButton(QStringLiteral("OK"));
    Name(cmd_OK, QStringLiteral("cmd_OK"), QStringLiteral("OK"),
         QStringLiteral("Usa l'immagine così modificata"));
    cmd_OK->setDefault(true);
    cmd_Annulla = new QPushButton(QStringLiteral("Annulla"));
    Name(cmd_Annulla, QStringLiteral("cmd_Annulla"), QStringLiteral("Annulla"));

    auto* status = new QHBoxLayout;
    status->addWidget(lbl_Posizione);
    status->addWidget(lbl_Stato, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cmd_Nuova_Immagine);
    buttons->addStretch(1);
    buttons->addWidget(cmd_OK);
    buttons->addWidget(cmd_Annulla);
    auto* layout = new QVBoxLayout(this);
    layout->setMenuBar(menus);
    layout->addWidget(tools);
    layout->addLayout(options);
    layout->addWidget(scroll_, 1);
    layout->addLayout(status);
    layout->addLayout(buttons);

    connect(canvas_, &PictureCanvas::pressed, this,
            [this](Point p, Qt::MouseButton button, Qt::KeyboardModifiers keys) {
                Press(p, button, keys);
            });
    connect(canvas_, &PictureCanvas::moved, this,
            [this](Point p, Qt::KeyboardModifiers keys, bool byKeys) {
                if (model_.Drawing()) {
                    model_.Move(p, {keys.testFlag(Qt::ShiftModifier), false});
                }
                Show_State();
                if (byKeys) {
                    Keep_Cursor_In_View();
                }
            });
    connect(canvas_, &PictureCanvas::released, this,
            [this](Point p, Qt::KeyboardModifiers keys) { Release(p, keys); });
    connect(canvas_, &PictureCanvas::spacePressed, this, [this](Qt::KeyboardModifiers keys) {
        if (model_.Drawing()) {
            Release(canvas_->Cursor(), keys);
        } else {
            Press(canvas_->Cursor(), Qt::LeftButton, keys);
        }
    });
    connect(canvas_, &PictureCanvas::zoomStep, this,
            [this](int steps) { Set_Zoom(canvas_->Zoom() + steps); });
    connect(cmd_Nuova_Immagine, &QPushButton::clicked, this,
            [this] { cmd_Nuova_Immagine_Click(); });
    connect(cmd_OK, &QPushButton::clicked, this, &QDialog::accept);
    connect(cmd_Annulla, &QPushButton::clicked, this, &frm_Modifica_Immagine::reject);

    Set_Zoom(std::min(kOpeningWidth / std::max(original_.width, 1),
                      kOpeningHeight / std::max(original_.height, 1)));
    Refresh_Text();
    Show_State();
    canvas_->setFocus();
}

QAction* frm_Modifica_Immagine::Add_Action(QMenu* menu, const QString& objectName,
                                           const QString& text, const QKeySequence& key) {
    auto* action = new QAction(text, this);
    action->setObjectName(objectName);
    action->setShortcut(key);
    menu->addAction(action);
    // Its shortcut works wherever the focus is in this window, the menu never opened.
    addAction(action);
    return action;
}

QMenuBar* frm_Modifica_Immagine::Build_Menus() {
    auto* bar = new QMenuBar(this);
    bar->setObjectName(QStringLiteral("mnu_Barra"));
    QMenu* edit = bar->addMenu(QStringLiteral("&Modifica"));
    Name(edit, QStringLiteral("mnu_Modifica"), QStringLiteral("Modifica"));
    // Their shortcuts work wherever the focus is in this window, the menu never opened.
    const std::array<QAction*, 2> history =
        platform::Add_History_Actions(history_, edit, new platform::Announcer(this));
    addActions({history[0], history[1]});
    edit->addSeparator();

    QAction* cut = Add_Action(edit, QStringLiteral("smnu_Taglia"), QStringLiteral("&Taglia"),
                              QKeySequence::Cut);
    connect(cut, &QAction::triggered, this, [this] {
        Copy_To_Clipboard();
        Record(model_.Clear("taglia"));
    });
    QAction* copy = Add_Action(edit, QStringLiteral("smnu_Copia"), QStringLiteral("&Copia"),
                               QKeySequence::Copy);
    connect(copy, &QAction::triggered, this, [this] { Copy_To_Clipboard(); });
    QAction* paste = Add_Action(edit, QStringLiteral("smnu_Incolla"), QStringLiteral("&Incolla"),
                                QKeySequence::Paste);
    connect(paste, &QAction::triggered, this, [this] { Paste_From_Clipboard(); });
    QAction* clear = Add_Action(edit, QStringLiteral("smnu_Cancella"), QStringLiteral("Cance&lla"),
                                QKeySequence::Delete);
    connect(clear, &QAction::triggered, this, [this] { Record(model_.Clear("cancella")); });
    edit->addSeparator();
    QAction* all = Add_Action(edit, QStringLiteral("smnu_Seleziona_Tutto"),
                              QStringLiteral("Seleziona t&utto"), QKeySequence::SelectAll);
    connect(all, &QAction::triggered, this, [this] {
        Set_Tool(DrawingTool::Selection);
        model_.Select(Area{{0, 0}, original_.width, original_.height});
        Show_State();
    });
    QAction* none =
        Add_Action(edit, QStringLiteral("smnu_Deseleziona"), QStringLiteral("&Deseleziona"),
                   QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_A));
    connect(none, &QAction::triggered, this, [this] {
        model_.Select(std::nullopt);
        Show_State();
    });
    selectionActions_ = {cut, clear, none};
    edit->addSeparator();
    // Each acts on the selection, or on the whole picture when nothing is selected.
    const struct {
        picture::AreaTool tool;
        const char* name;
        const char* text;
        const char* step;
        QKeySequence key;
    } transforms[] = {
        {picture::AreaTool::Invert, "smnu_Inverti", "In&verti", "inverti",
         QKeySequence(Qt::CTRL | Qt::Key_I)},
        {picture::AreaTool::MirrorHorizontally, "smnu_Specchia_Orizzontalmente",
         "Specchia &orizzontalmente", "specchia orizzontalmente",
         QKeySequence(Qt::CTRL | Qt::Key_M)},
        {picture::AreaTool::MirrorVertically, "smnu_Specchia_Verticalmente",
         "Specchia v&erticalmente", "specchia verticalmente",
         QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_M)},
        {picture::AreaTool::Rotate180, "smnu_Ruota_180", "R&uota di 180°", "ruota di 180°",
         QKeySequence(Qt::CTRL | Qt::Key_R)},
    };
    for (const auto& t : transforms) {
        QAction* action =
            Add_Action(edit, QString::fromLatin1(t.name), QString::fromUtf8(t.text), t.key);
        connect(action, &QAction::triggered, this,
                [this, tool = t.tool, step = t.step] { Record(model_.Transform(tool, step)); });
    }
    QAction* invertAll = Add_Action(edit, QStringLiteral("smnu_Inverti_Tutto"),
                                    QStringLiteral("Inverti tutta l'i&mmagine"),
                                    QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_I));
    connect(invertAll, &QAction::triggered, this, [this] { Record(model_.Invert_All()); });
    edit->addSeparator();
    QAction* blank = Add_Action(edit, QStringLiteral("smnu_Nuova_Immagine"),
                                QStringLiteral("&Nuova immagine"), QKeySequence::New);
    connect(blank, &QAction::triggered, this, [this] { cmd_Nuova_Immagine_Click(); });

    QMenu* view = bar->addMenu(QStringLiteral("&Visualizza"));
    Name(view, QStringLiteral("mnu_Visualizza"), QStringLiteral("Visualizza"));
    QAction* in = Add_Action(view, QStringLiteral("smnu_Ingrandisci"),
                             QStringLiteral("&Ingrandisci"), QKeySequence::ZoomIn);
    connect(in, &QAction::triggered, this, [this] { Set_Zoom(canvas_->Zoom() + 1); });
    QAction* out = Add_Action(view, QStringLiteral("smnu_Riduci"), QStringLiteral("&Riduci"),
                              QKeySequence::ZoomOut);
    connect(out, &QAction::triggered, this, [this] { Set_Zoom(canvas_->Zoom() - 1); });
    return bar;
}

QToolBar* frm_Modifica_Immagine::Build_Tools(QMenuBar* menus) {
    // Between "Modifica" and "Visualizza".
    auto* menu = new QMenu(QStringLiteral("&Strumenti"), menus);
    menus->insertMenu(menus->actions().value(1), menu);
    Name(menu, QStringLiteral("mnu_Strumenti"), QStringLiteral("Strumenti"));
    auto* bar = new QToolBar;
    Name(bar, QStringLiteral("tlb_Strumenti"), QStringLiteral("Strumenti"));
    bar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    tools_ = new QActionGroup(this);
    for (const ToolRow& row : kTools) {
        const QString name = QString::fromLatin1(row.name);
        QAction* action = Add_Action(menu, QStringLiteral("smnu_") + name,
                                     QString::fromUtf8(row.text), QKeySequence(row.key));
        action->setCheckable(true);
        action->setToolTip(QString::fromUtf8(row.tip));
        tools_->addAction(action);
        bar->addAction(action);
        Name(bar->widgetForAction(action), QStringLiteral("cmd_") + name, name,
             QString::fromUtf8(row.tip));
        toolActions_[row.tool] = action;
        connect(action, &QAction::triggered, this, [this, tool = row.tool] { Set_Tool(tool); });
    }
    toolActions_[DrawingTool::Pencil]->setChecked(true);
    menu->addSeparator();
    bar->addSeparator();
    smnu_Forma_Piena = Add_Action(menu, QStringLiteral("smnu_Forma_Piena"),
                                  QStringLiteral("&Forma piena"), QKeySequence(Qt::Key_F));
    smnu_Forma_Piena->setCheckable(true);
    const QString filledTip = QStringLiteral("Forma piena (F): rettangoli ed ellissi pieni");
    smnu_Forma_Piena->setToolTip(filledTip);
    bar->addAction(smnu_Forma_Piena);
    Name(bar->widgetForAction(smnu_Forma_Piena), QStringLiteral("cmd_Forma_Piena"),
         QStringLiteral("Forma piena"), filledTip);
    connect(smnu_Forma_Piena, &QAction::toggled, this, [this](bool filled) {
        model_.Set_Shape(filled ? picture::Shape::Filled : picture::Shape::Outline);
    });
    QAction* swap = Add_Action(menu, QStringLiteral("smnu_Scambia_Colori"),
                               QStringLiteral("Scam&bia nero e bianco"), QKeySequence(Qt::Key_X));
    connect(swap, &QAction::triggered, this,
            [this] { cmb_Colore->setCurrentIndex(1 - cmb_Colore->currentIndex()); });
    return bar;
}

QLayout* frm_Modifica_Immagine::Build_Options() {
    cmb_Colore = new QComboBox;
    cmb_Colore->addItems({QStringLiteral("Nero"), QStringLiteral("Bianco")});
    Name(cmb_Colore, QStringLiteral("cmb_Colore"), QStringLiteral("Colore"),
         QStringLiteral("Il colore del tasto sinistro e di Spazio; il destro usa l'altro (X li "
                        "scambia)"));
    txt_Zoom = new QSpinBox;
    txt_Zoom->setRange(PictureCanvas::kMinZoom, PictureCanvas::kMaxZoom);
    txt_Zoom->setSuffix(QStringLiteral("x"));
    Name(txt_Zoom, QStringLiteral("txt_Zoom"), QStringLiteral("Zoom"),
         QStringLiteral("Ctrl e la rotella del mouse, Ctrl+più e Ctrl+meno"));
    txt_Testo = new QLineEdit;
    Name(txt_Testo, QStringLiteral("txt_Testo"), QStringLiteral("Testo"),
         QStringLiteral("Il testo che lo strumento Testo scrive"));
    cmb_Carattere = new QComboBox;
    int preferred = 0;
    const std::vector<TextFont>& fonts = fonts_.List();
    for (std::size_t i = 0; i < fonts.size(); ++i) {
        cmb_Carattere->addItem(fonts[i].name);
        // Thirteen rows: a clear label with room for two lines on a 64-row panel.
        if (fonts[i].name.startsWith(QStringLiteral("6x13 "))) {
            preferred = static_cast<int>(i);
        }
    }
    cmb_Carattere->setCurrentIndex(preferred);
    Name(cmb_Carattere, QStringLiteral("cmb_Carattere"), QStringLiteral("Carattere"),
         QStringLiteral("I caratteri a punti (pixel) o un carattere installato"));
    txt_Dimensione = new QSpinBox;
    txt_Dimensione->setRange(4, 128);
    txt_Dimensione->setValue(kDefaultTextSize);
    txt_Dimensione->setSuffix(QStringLiteral(" px"));
    Name(txt_Dimensione, QStringLiteral("txt_Dimensione"), QStringLiteral("Dimensione"),
         QStringLiteral("L'altezza del carattere installato in punti dell'immagine"));
    chk_Grassetto = new QCheckBox(QStringLiteral("&Grassetto"));
    Name(chk_Grassetto, QStringLiteral("chk_Grassetto"), QStringLiteral("Grassetto"));
    txt_Soglia = new QSpinBox;
    txt_Soglia->setRange(1, 255);
    txt_Soglia->setValue(kDefaultThreshold);
    Name(txt_Soglia, QStringLiteral("txt_Soglia"), QStringLiteral("Soglia"),
         QStringLiteral("Più alta: più punti accesi"));

    auto* drawing = new QHBoxLayout;
    drawing->addWidget(Label_For(cmb_Colore, QStringLiteral("C&olore:")));
    drawing->addWidget(cmb_Colore);
    drawing->addWidget(Label_For(txt_Zoom, QStringLiteral("&Zoom:")));
    drawing->addWidget(txt_Zoom);
    drawing->addStretch(1);
    auto* text = new QHBoxLayout;
    text->addWidget(Label_For(txt_Testo, QStringLiteral("&Testo:")));
    text->addWidget(txt_Testo, 1);
    text->addWidget(Label_For(cmb_Carattere, QStringLiteral("&Carattere:")));
    text->addWidget(cmb_Carattere);
    text->addWidget(Label_For(txt_Dimensione, QStringLiteral("&Dimensione:")));
    text->addWidget(txt_Dimensione);
    text->addWidget(chk_Grassetto);
    text->addWidget(Label_For(txt_Soglia, QStringLiteral("Sog&lia:")));
    text->addWidget(txt_Soglia);
    auto* rows = new QVBoxLayout;
    rows->addLayout(drawing);
    rows->addLayout(text);

    connect(txt_Zoom, &QSpinBox::valueChanged, this, [this](int zoom) {
        canvas_->Set_Zoom(zoom);
        Keep_Cursor_In_View();
    });
    connect(txt_Testo, &QLineEdit::textChanged, this, [this] { Refresh_Text(); });
    connect(cmb_Carattere, &QComboBox::currentIndexChanged, this, [this] { Refresh_Text(); });
    connect(txt_Dimensione, &QSpinBox::valueChanged, this, [this] { Refresh_Text(); });
    connect(chk_Grassetto, &QCheckBox::toggled, this, [this] { Refresh_Text(); });
    connect(txt_Soglia, &QSpinBox::valueChanged, this, [this] { Refresh_Text(); });
    return rows;
}

bool frm_Modifica_Immagine::Changed() const {
    return Result().index != original_.index;
}

void frm_Modifica_Immagine::Set_Tool(DrawingTool tool) {
    toolActions_[tool]->setChecked(true);
    model_.Set_Tool(tool);
    lbl_Stato->clear();
    Show_State();
}

void frm_Modifica_Immagine::Set_Text_Options(const QString& font, int pixelSize, bool bold,
                                             int threshold) {
    const int index = cmb_Carattere->findText(font);
    if (index >= 0) {
        cmb_Carattere->setCurrentIndex(index);
    }
    txt_Dimensione->setValue(pixelSize);
    chk_Grassetto->setChecked(bold);
    txt_Soglia->setValue(threshold);
}

void frm_Modifica_Immagine::Set_Text(const QString& text) {
    txt_Testo->setText(text);
}

void frm_Modifica_Immagine::Refresh_Text() {
    const auto index = static_cast<std::size_t>(cmb_Carattere->currentIndex());
    if (index >= fonts_.List().size()) {
        return;
    }
    const TextFont& font = fonts_.List()[index];
    // A pixel font has the one size it was drawn at, and a bold cut or none.
    txt_Dimensione->setEnabled(!font.Pixel());
    chk_Grassetto->setEnabled(!font.Pixel() || !font.boldFile.empty());
    int missing = 0;
    model_.Set_Text(fonts_.Line(index, txt_Testo->text(), txt_Dimensione->value(),
                                chk_Grassetto->isChecked() && chk_Grassetto->isEnabled(), missing),
                    txt_Soglia->value());
    lbl_Stato->setText(
        missing == 0
            ? QString()
            : QStringLiteral("Il font %1 non ha %2 dei caratteri del testo: non vengono disegnati.")
                  .arg(font.name)
                  .arg(missing));
    Show_State();
}

picture::Pen frm_Modifica_Immagine::Pen_Of(Qt::MouseButton button) const {
    const bool black = (cmb_Colore->currentIndex() == 0) == (button != Qt::RightButton);
    return black ? picture::Pen::Ink : picture::Pen::Paper;
}

void frm_Modifica_Immagine::Press(Point p, Qt::MouseButton button, Qt::KeyboardModifiers keys) {
    if (model_.Tool() == DrawingTool::Text && !model_.Has_Text()) {
        lbl_Stato->setText(QStringLiteral("Scrivere prima il testo nella casella Testo."));
        return;
    }
    Record(model_.Press(p, Pen_Of(button),
                        {keys.testFlag(Qt::ShiftModifier), keys.testFlag(Qt::ControlModifier)}));
}

void frm_Modifica_Immagine::Release(Point p, Qt::KeyboardModifiers keys) {
    Record(model_.Release(p, {keys.testFlag(Qt::ShiftModifier), false}));
}

void frm_Modifica_Immagine::Record(std::optional<EditorStep> step) {
    if (step) {
        history_->push(new platform::HistoryStep(
            QString::fromStdString(step->name),
            [this, before = std::move(step->before)] {
                model_.Restore(before);
                Show_State();
            },
            [this, after = std::move(step->after)] {
                model_.Restore(after);
                Show_State();
            },
            true));
    }
    Show_State();
}

void frm_Modifica_Immagine::Show_State() {
    canvas_->Show_Picture(model_.Shown());
    canvas_->Show_Selection(model_.Selection());
    lbl_Posizione->setText(canvas_->Cursor_Text());
    const bool selected = model_.State().selection.has_value();
    for (QAction* action : selectionActions_) {
        action->setEnabled(selected);
    }
}

void frm_Modifica_Immagine::Set_Zoom(int zoom) {
    txt_Zoom->setValue(std::clamp(zoom, PictureCanvas::kMinZoom, PictureCanvas::kMaxZoom));
}

void frm_Modifica_Immagine::Keep_Cursor_In_View() {
    const QRect cursor = canvas_->Cursor_Rect();
    scroll_->ensureVisible(cursor.center().x(), cursor.center().y(), cursor.width(),
                           cursor.height());
}

void frm_Modifica_Immagine::Copy_To_Clipboard() {
    const Bits piece = model_.Copy();
    auto* data = new QMimeData;
    data->setImageData(Clipboard_Image(piece));
    data->setData(kClipboardFormat, Own_Bytes(piece));
    QGuiApplication::clipboard()->setMimeData(data);
}

void frm_Modifica_Immagine::Paste_From_Clipboard() {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    std::optional<Bits> piece;
    if (data != nullptr && data->hasFormat(kClipboardFormat)) {
        piece = Own_Piece(data->data(kClipboardFormat));
    } else if (data != nullptr && data->hasImage()) {
        piece = Converted_Piece(qvariant_cast<QImage>(data->imageData()), original_.width,
                                original_.height);
    }
    if (!piece) {
        messages_.Show("Gli appunti non contengono un'immagine.", "WARNING",
                       platform::MessageIcon::Exclamation);
        return;
    }
    const std::optional<Area> selection = model_.State().selection;
    Record(model_.Paste(std::move(*piece), selection ? selection->at : canvas_->Cursor()));
    // Selected and floating: a drag moves it at once.
    Set_Tool(DrawingTool::Selection);
}

void frm_Modifica_Immagine::cmd_Nuova_Immagine_Click() {
    Record(model_.New_Picture());
}

void frm_Modifica_Immagine::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    if (key == Qt::Key_Escape && (model_.Drawing() || model_.Selection())) {
        // Escape takes back the gesture in progress, then the selection, and only then closes.
        if (model_.Drawing()) {
            model_.Cancel();
        } else {
            model_.Select(std::nullopt);
        }
        Show_State();
        return;
    }
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) && model_.Drawing()) {
        Release(canvas_->Cursor(), event->modifiers());
        return;
    }
    QDialog::keyPressEvent(event);
}

void frm_Modifica_Immagine::reject() {
    if (Changed()) {
        switch (messages_.AskSave("L'immagine è stata modificata. Salvare le modifiche?",
                                  windowTitle().toStdString())) {
            case platform::SaveChoice::Save:
                accept();
                return;
            case platform::SaveChoice::Cancel:
                return;
            case platform::SaveChoice::Discard:
                break;
        }
    }
    QDialog::reject();
}

}  // namespace lcdprog
