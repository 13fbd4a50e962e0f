#include "main_window/import_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>

#include "compiler/image_decoder.h"
#include "platform/qt/accessibility.h"
#include "platform/qt/crisp_picture.h"

namespace lcdprog {
namespace {

using platform::Name_Control;

// The panel types as their tabs name them, in slot-array order.
constexpr const char* kPanelCaptions[] = {"128x64 (64128A)", "128x64 (64128E)", "240x64 (64240B)",
                                          "240x128 (128240A)"};
// The preview is about as wide as the widest panel at twice its size.
constexpr int kPreviewWidth = 480;

template <typename Widget>
Widget* Named(Widget* w, const char* name, const QString& caption) {
    Name_Control(w, QString::fromLatin1(name), caption, QString());
    return w;
}

// A field with its caption on the left; the caption's access key moves to the field, and the
// field is announced by the caption's words.
void Add_Row(QFormLayout& form, const QString& label, QWidget* field) {
    auto* caption = new QLabel(label);
    caption->setBuddy(field);
    form.addRow(caption, field);
    Name_Control(field, field->objectName(), QString(label).remove(QLatin1Char('&')).chopped(1),
                 field->accessibleDescription());
}

}  // namespace

const QString frm_Importa_Immagine::kCaption = QStringLiteral("Importa immagine");

frm_Importa_Immagine::frm_Importa_Immagine(picture::Rgba source, const std::string& sourceName,
                                           int panel, int slot, QWidget* parent)
    : QDialog(parent), source_(picture::Prepare(source)) {
    Build_Controls(sourceName, panel, slot);
    Refresh();
}

void frm_Importa_Immagine::Build_Controls(const std::string& sourceName, int panel, int slot) {
    setWindowTitle(kCaption);
    Name_Control(this, QStringLiteral("frm_Importa_Immagine"), kCaption, QString());

    auto* form = new QFormLayout;
    Build_Placement_Rows(*form, panel, slot);
    Build_Shape_Rows(*form);
    Build_Tone_Rows(*form);

    pct_Anteprima = new platform::CrispPicture;
    Name_Control(pct_Anteprima, QStringLiteral("pct_Anteprima"),
                 QStringLiteral("Anteprima di ") + QString::fromStdString(sourceName),
                 QStringLiteral("Come il modulo mostrerà l'immagine"));
    pct_Anteprima->setAlignment(Qt::AlignCenter);
    pct_Anteprima->setMinimumSize(kPreviewWidth, kPreviewWidth / 2 + 16);

    auto* top = new QHBoxLayout;
    top->addLayout(form);
    top->addWidget(pct_Anteprima, 1);
    auto* all = new QVBoxLayout(this);
    all->addLayout(top);
    all->addLayout(Build_Buttons());
    Connect_Refresh();
}

// Where the picture goes: the panel type and the slot.
void frm_Importa_Immagine::Build_Placement_Rows(QFormLayout& form, int panel, int slot) {
    cmb_Display = Named(new QComboBox, "cmb_Display", QString());
    for (const char* caption : kPanelCaptions) {
        cmb_Display->addItem(QString::fromLatin1(caption));
    }
    cmb_Display->setCurrentIndex(std::clamp(panel, 0, int(std::size(kPanelCaptions)) - 1));
    Add_Row(form, QStringLiteral("&Display:"), cmb_Display);

    cmb_Immagine = Named(new QComboBox, "cmb_Immagine", QString());
    for (int i = 1; i <= 4; ++i) {
        cmb_Immagine->addItem(QStringLiteral("Immagine numero %1").arg(i));
    }
    cmb_Immagine->setCurrentIndex(std::clamp(slot, 0, 3));
    Add_Row(form, QStringLiteral("&Posizione:"), cmb_Immagine);
}

// How the picture is laid on the panel.
void frm_Importa_Immagine::Build_Shape_Rows(QFormLayout& form) {
    cmb_Scala = Named(new QComboBox, "cmb_Scala", QString());
    cmb_Scala->addItems({QStringLiteral("Adatta"), QStringLiteral("Riempi"),
                         QStringLiteral("Estendi"), QStringLiteral("Originale")});
    cmb_Scala->setToolTip(
        QStringLiteral("Adatta: tutta l'immagine, centrata su bianco. Riempi: copre il display, "
                       "ritagliata al centro. Estendi: deformata fino ai bordi. Originale: un "
                       "pixel per pixel, centrata."));
    Add_Row(form, QStringLiteral("&Scala:"), cmb_Scala);

    cmb_Rotazione = Named(new QComboBox, "cmb_Rotazione", QString());
    cmb_Rotazione->addItems({QStringLiteral("0°"), QStringLiteral("90°"), QStringLiteral("180°"),
                             QStringLiteral("270°")});
    Add_Row(form, QStringLiteral("&Rotazione:"), cmb_Rotazione);

    chk_Specchia = Named(new QCheckBox(QStringLiteral("Spe&cchia")), "chk_Specchia",
                         QStringLiteral("Specchia"));
    form.addRow(QString(), chk_Specchia);
}

// How its colours become black and white dots.
void frm_Importa_Immagine::Build_Tone_Rows(QFormLayout& form) {
    cmb_Conversione = Named(new QComboBox, "cmb_Conversione", QString());
    cmb_Conversione->addItems({QStringLiteral("Soglia"), QStringLiteral("Floyd-Steinberg"),
                               QStringLiteral("Atkinson"), QStringLiteral("Ordinato (Bayer 8x8)")});
    Add_Row(form, QStringLiteral("C&onversione:"), cmb_Conversione);

    txt_Soglia = Named(new QSpinBox, "txt_Soglia", QString());
    txt_Soglia->setRange(0, 255);
    txt_Soglia->setValue(picture::Settings{}.threshold);
    txt_Soglia->setToolTip(QStringLiteral("Un punto più scuro di questo livello diventa nero"));
    sld_Soglia = Named(new QSlider(Qt::Horizontal), "sld_Soglia", QStringLiteral("Soglia"));
    sld_Soglia->setRange(0, 255);
    sld_Soglia->setValue(txt_Soglia->value());
    auto* threshold = new QWidget;
    auto* thresholdRow = new QHBoxLayout(threshold);
    thresholdRow->setContentsMargins(0, 0, 0, 0);
    thresholdRow->addWidget(sld_Soglia, 1);
    thresholdRow->addWidget(txt_Soglia);
    auto* thresholdLabel = new QLabel(QStringLiteral("So&glia:"));
    thresholdLabel->setBuddy(txt_Soglia);
    form.addRow(thresholdLabel, threshold);
    Name_Control(txt_Soglia, txt_Soglia->objectName(), QStringLiteral("Soglia"),
                 txt_Soglia->toolTip());

    txt_Luminosita = Named(new QSpinBox, "txt_Luminosita", QString());
    txt_Luminosita->setRange(-picture::kBrightnessLimit, picture::kBrightnessLimit);
    txt_Luminosita->setValue(picture::Settings{}.brightness);
    Add_Row(form, QStringLiteral("&Luminosità:"), txt_Luminosita);
    txt_Contrasto = Named(new QSpinBox, "txt_Contrasto", QString());
    txt_Contrasto->setRange(-picture::kContrastLimit, picture::kContrastLimit);
    txt_Contrasto->setValue(picture::Settings{}.contrast);
    Add_Row(form, QStringLiteral("Co&ntrasto:"), txt_Contrasto);

    chk_Inverti =
        Named(new QCheckBox(QStringLiteral("&Inverti")), "chk_Inverti", QStringLiteral("Inverti"));
    form.addRow(QString(), chk_Inverti);
}

QHBoxLayout* frm_Importa_Immagine::Build_Buttons() {
    cmd_OK = Named(new QPushButton(QStringLiteral("OK")), "cmd_OK", QStringLiteral("OK"));
    cmd_Annulla =
        Named(new QPushButton(QStringLiteral("Annulla")), "cmd_Annulla", QStringLiteral("Annulla"));
    cmd_OK->setDefault(true);
    connect(cmd_OK, &QPushButton::clicked, this, &QDialog::accept);
    connect(cmd_Annulla, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmd_OK);
    buttons->addWidget(cmd_Annulla);
    return buttons;
}

// Every setting redraws the preview at once; the slider and the box of the threshold follow
// each other.
void frm_Importa_Immagine::Connect_Refresh() {
    const auto refresh = [this] { Refresh(); };
    for (QComboBox* box : {cmb_Display, cmb_Scala, cmb_Rotazione, cmb_Conversione}) {
        connect(box, &QComboBox::currentIndexChanged, this, refresh);
    }
    for (QCheckBox* box : {chk_Specchia, chk_Inverti}) {
        connect(box, &QCheckBox::toggled, this, refresh);
    }
    for (QSpinBox* box : {txt_Soglia, txt_Luminosita, txt_Contrasto}) {
        connect(box, &QSpinBox::valueChanged, this, refresh);
    }
    connect(sld_Soglia, &QSlider::valueChanged, txt_Soglia, &QSpinBox::setValue);
    connect(txt_Soglia, &QSpinBox::valueChanged, sld_Soglia, &QSlider::setValue);
}

int frm_Importa_Immagine::Panel() const {
    return cmb_Display->currentIndex();
}

int frm_Importa_Immagine::Slot() const {
    return cmb_Immagine->currentIndex();
}

picture::Settings frm_Importa_Immagine::Settings() const {
    picture::Settings s;
    s.scaling = static_cast<picture::Scaling>(cmb_Scala->currentIndex());
    s.rotation = cmb_Rotazione->currentIndex() * 90;
    s.mirror = chk_Specchia->isChecked();
    s.conversion = static_cast<picture::Conversion>(cmb_Conversione->currentIndex());
    s.threshold = txt_Soglia->value();
    s.brightness = txt_Luminosita->value();
    s.contrast = txt_Contrasto->value();
    s.invert = chk_Inverti->isChecked();
    return s;
}

void frm_Importa_Immagine::Apply_Settings(const picture::Settings& s) {
    cmb_Scala->setCurrentIndex(static_cast<int>(s.scaling));
    cmb_Rotazione->setCurrentIndex(std::clamp(s.rotation / 90, 0, 3));
    chk_Specchia->setChecked(s.mirror);
    cmb_Conversione->setCurrentIndex(static_cast<int>(s.conversion));
    txt_Soglia->setValue(s.threshold);
    txt_Luminosita->setValue(s.brightness);
    txt_Contrasto->setValue(s.contrast);
    chk_Inverti->setChecked(s.invert);
    Refresh();
}

void frm_Importa_Immagine::Refresh() {
    const picture::Settings s = Settings();
    const PanelLayout& panel = kPanelLayouts[static_cast<std::size_t>(Panel())];
    const PlacedKey key{Panel(), s.scaling, s.rotation, s.mirror, s.brightness, s.contrast};
    if (!(key == placedKey_)) {
        placed_ = picture::Place(source_, panel.width, panel.height, s);
        placedKey_ = key;
    }
    result_ = picture::Quantise(placed_, s);
    pct_Anteprima->setPixmap(QPixmap::fromImage(Preview()));
    pct_Anteprima->Set_Zoom(std::max(1, kPreviewWidth / panel.width));
}

QImage frm_Importa_Immagine::Preview() const {
    // Palette index 0 is the pixel the module darkens.
    return platform::Dots_Image(
        result_.width, result_.height, [this](int x, int y) { return result_.Black(x, y); },
        platform::kLcdDark, platform::kLcdLit);
}

}  // namespace lcdprog
