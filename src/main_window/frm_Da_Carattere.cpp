#include "main_window/frm_Da_Carattere.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QSettings>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>
#include <bit>
#include <vector>

#include "picture/character.h"
#include "platform/qt/accessibility.h"
#include "platform/qt/character_fonts.h"

namespace lcdprog {
namespace {

constexpr int kPreviewCell = 12;  // logical pixels per glyph pixel in the preview
constexpr int kDefaultThreshold = 128;
constexpr int kPixelFileRole = Qt::UserRole;
constexpr int kFamilyRole = Qt::UserRole + 1;

picture::Cell Cell_Of(GlyphSize size) {
    return size.rows == kGlyph5x8.rows ? picture::kCell5x8 : picture::kCell10x16;
}

QString Settings_Group(GlyphSize size) {
    return QStringLiteral("daCarattere/") + QLatin1String(size.name) + QLatin1Char('/');
}

}  // namespace

CharacterGlyph Character_Glyph(const CharacterFont& font, const picture::PixelFont* pixels,
                               const QString& text, int threshold, GlyphSize size) {
    CharacterGlyph result;
    const QList<uint> characters = text.toUcs4();
    if (characters.isEmpty()) {
        result.said = QStringLiteral("Scrivere un carattere.");
        return result;
    }
    if (characters.size() > 1) {
        // Only one character fits a glyph: the others would be dropped without a word.
        result.said = QStringLiteral("Un solo carattere alla volta: «%1» ne ha %2.")
                          .arg(text)
                          .arg(characters.size());
        return result;
    }
    const auto character = static_cast<char32_t>(characters.front());
    const picture::Cell cell = Cell_Of(size);
    std::optional<picture::CharacterRaster> raster;
    if (!font.pixelFile.empty()) {
        if (pixels == nullptr) {
            result.said = QStringLiteral("Il font %1 non si può leggere.").arg(font.name);
            return result;
        }
        raster = pixels->Glyph(character);
    } else {
        raster = platform::Outline_Character(
            font.family, platform::Outline_Pixel_Size(font.family, cell.height), character);
    }
    if (!raster) {
        result.said = QStringLiteral("Il font %1 non ha il carattere «%2».").arg(font.name, text);
        return result;
    }
    result.shaded = std::any_of(raster->level.begin(), raster->level.end(),
                                [](std::uint8_t level) { return level != 0 && level != 255; });
    const picture::CellPlacement placed = picture::Place_In_Cell(*raster, threshold, cell);
    if (placed.inkOutside > 0) {
        result.said =
            QStringLiteral("Il carattere «%1» del font %2 non entra nella cella %3: %4.")
                .arg(text, font.name, QLatin1String(size.name),
                     placed.inkOutside == 1
                         ? QStringLiteral("1 punto resterebbe fuori")
                         : QStringLiteral("%1 punti resterebbero fuori").arg(placed.inkOutside));
        return result;
    }
    GlyphColumns glyph(static_cast<std::size_t>(size.columns), 0);
    int set = 0;
    for (int c = 0; c < size.columns; ++c) {
        for (int r = 0; r < size.rows; ++r) {
            if (placed.cell.Black(c, r)) {
                glyph[static_cast<std::size_t>(c)] |= 1u << r;
                ++set;
            }
        }
    }
    if (set == 0) {
        result.said = QStringLiteral("Il carattere non ha punti da disegnare.");
        return result;
    }
    result.glyph = glyph;
    result.said =
        QStringLiteral("Glifo %1: %2 punti accesi.").arg(QLatin1String(size.name)).arg(set);
    return result;
}

frm_Da_Carattere::frm_Da_Carattere(GlyphSize size, QWidget* parent) : QDialog(parent), size_(size) {
    const QString title = QStringLiteral("Glifo %1 da un carattere").arg(QLatin1String(size.name));
    setWindowTitle(title);
    platform::Name_Control(this, QStringLiteral("frm_Da_Carattere"), title, QString());

    // The pixel fonts first, made for cells like these; then the outline fonts, each family once.
    cmb_Font = new QComboBox(this);
    for (const platform::PixelFontFile& file : platform::Pixel_Font_Files()) {
        cmb_Font->addItem(platform::Pixel_Font_Label(file.name), QString::fromStdString(file.path));
    }
    if (cmb_Font->count() > 0) {
        cmb_Font->insertSeparator(cmb_Font->count());
    }
    for (const QString& family : platform::Outline_Families()) {
        cmb_Font->addItem(family);
        cmb_Font->setItemData(cmb_Font->count() - 1, family, kFamilyRole);
    }
    txt_Carattere = new QLineEdit(this);
    sld_Soglia = new QSlider(Qt::Horizontal, this);
    sld_Soglia->setRange(1, 255);
    sld_Soglia->setPageStep(16);
    pct_Anteprima = new QLabel(this);
    pct_Anteprima->setFixedSize(size.columns * kPreviewCell + 2, size.rows * kPreviewCell + 2);
    pct_Anteprima->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    lbl_Esito = new QLabel(this);
    lbl_Esito->setWordWrap(true);
    buttons_ = new QDialogButtonBox(this);
    QPushButton* ok = buttons_->addButton(QStringLiteral("Usa"), QDialogButtonBox::AcceptRole);
    QPushButton* cancel =
        buttons_->addButton(QStringLiteral("Annulla"), QDialogButtonBox::RejectRole);
    ok->setDefault(true);

    // What was chosen last time for this glyph size; the first time, the pixel font of the
    // cell's own size (5x8), or the first as wide as the cell (10x20 for 10x16).
    const QSettings settings;
    const QString group = Settings_Group(size);
    QString font = settings.value(group + QStringLiteral("font")).toString();
    if (font.isEmpty() || cmb_Font->findText(font) < 0) {
        const QString width = QString::number(size.columns) + QLatin1Char('x');
        font = platform::Pixel_Font_Label(QString::fromLatin1(size.name));
        for (int i = 0; cmb_Font->findText(font) < 0 && i < cmb_Font->count(); ++i) {
            if (cmb_Font->itemText(i).startsWith(width)) {
                font = cmb_Font->itemText(i);
            }
        }
    }
    cmb_Font->setCurrentIndex(std::max(0, cmb_Font->findText(font)));
    txt_Carattere->setText(
        settings.value(group + QStringLiteral("character"), QStringLiteral("A")).toString());
    sld_Soglia->setValue(
        settings.value(group + QStringLiteral("threshold"), kDefaultThreshold).toInt());

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("&Font:"), cmb_Font);
    form->addRow(QStringLiteral("&Carattere:"), txt_Carattere);
    // The value beside the slider, as in "Importa immagine": the same threshold can be typed
    // again another day.
    txt_Soglia = new QSpinBox(this);
    txt_Soglia->setRange(sld_Soglia->minimum(), sld_Soglia->maximum());
    txt_Soglia->setValue(sld_Soglia->value());
    auto* thresholdRow = new QHBoxLayout;
    thresholdRow->addWidget(sld_Soglia, 1);
    thresholdRow->addWidget(txt_Soglia);
    form->addRow(QStringLiteral("&Soglia:"), thresholdRow);
    if (auto* label = qobject_cast<QLabel*>(form->labelForField(thresholdRow))) {
        label->setBuddy(sld_Soglia);
    }
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(pct_Anteprima, 0, Qt::AlignHCenter);
    layout->addWidget(lbl_Esito);
    layout->addWidget(buttons_);

    platform::Name_Control(cmb_Font, QStringLiteral("cmb_Font"), QStringLiteral("Font"),
                           QStringLiteral("Prima i font a pixel, disegnati per celle come "
                                          "questa; poi i font vettoriali"));
    platform::Name_Control(txt_Carattere, QStringLiteral("txt_Carattere"),
                           QStringLiteral("Carattere"), QString());
    platform::Name_Control(sld_Soglia, QStringLiteral("sld_Soglia"), QStringLiteral("Soglia"),
                           QStringLiteral("Più alta: più punti accesi"));
    platform::Name_Control(txt_Soglia, QStringLiteral("txt_Soglia"), QStringLiteral("Soglia"),
                           QString());
    platform::Name_Control(pct_Anteprima, QStringLiteral("pct_Anteprima"),
                           QStringLiteral("Anteprima del glifo"), QString());
    lbl_Esito->setObjectName(QStringLiteral("lbl_Esito"));
    ok->setObjectName(QStringLiteral("cmd_Usa"));
    cancel->setObjectName(QStringLiteral("cmd_Annulla"));

    connect(buttons_, &QDialogButtonBox::accepted, this, [this] {
        Remember();
        accept();
    });
    connect(buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(cmb_Font, &QComboBox::currentIndexChanged, this, [this] { Show_Preview(); });
    connect(txt_Carattere, &QLineEdit::textChanged, this, [this] { Show_Preview(); });
    connect(sld_Soglia, &QSlider::valueChanged, this, [this] { Show_Preview(); });
    connect(sld_Soglia, &QSlider::valueChanged, txt_Soglia, &QSpinBox::setValue);
    connect(txt_Soglia, &QSpinBox::valueChanged, sld_Soglia, &QSlider::setValue);
    Show_Preview();
}

CharacterFont frm_Da_Carattere::Font() const {
    const int i = cmb_Font->currentIndex();
    return {cmb_Font->itemText(i), cmb_Font->itemData(i, kPixelFileRole).toString().toStdString(),
            cmb_Font->itemData(i, kFamilyRole).toString()};
}

void frm_Da_Carattere::Remember() const {
    QSettings settings;
    const QString group = Settings_Group(size_);
    settings.setValue(group + QStringLiteral("font"), cmb_Font->currentText());
    settings.setValue(group + QStringLiteral("character"), txt_Carattere->text());
    settings.setValue(group + QStringLiteral("threshold"), sld_Soglia->value());
}

void frm_Da_Carattere::Show_Preview() {
    const CharacterFont font = Font();
    const picture::PixelFont* pixels =
        font.pixelFile.empty() ? nullptr : pixelFonts_.Font(font.pixelFile);
    const CharacterGlyph result =
        Character_Glyph(font, pixels, txt_Carattere->text(), sld_Soglia->value(), size_);
    glyph_ = result.glyph;
    // Without shades between ink and paper every threshold gives the same glyph.
    sld_Soglia->setEnabled(result.shaded);
    txt_Soglia->setEnabled(result.shaded);

    // Drawn at the screen's own scale: each cell a whole number of device pixels.
    const qreal ratio = devicePixelRatioF();
    QPixmap preview(QSize(size_.columns, size_.rows) * kPreviewCell * ratio);
    preview.setDevicePixelRatio(ratio);
    preview.fill(palette().color(QPalette::Base));
    {
        QPainter painter(&preview);
        for (int c = 0; c < size_.columns && glyph_; ++c) {
            for (int r = 0; r < size_.rows; ++r) {
                if ((((*glyph_)[static_cast<std::size_t>(c)] >> r) & 1u) != 0) {
                    painter.fillRect(c * kPreviewCell, r * kPreviewCell, kPreviewCell, kPreviewCell,
                                     palette().color(QPalette::Text));
                }
            }
        }
        painter.setPen(QPen(palette().color(QPalette::Mid), 0));
        for (int c = 1; c < size_.columns; ++c) {
            painter.drawLine(c * kPreviewCell, 0, c * kPreviewCell, size_.rows * kPreviewCell);
        }
        for (int r = 1; r < size_.rows; ++r) {
            painter.drawLine(0, r * kPreviewCell, size_.columns * kPreviewCell, r * kPreviewCell);
        }
    }
    pct_Anteprima->setPixmap(preview);
    // What the preview shows, in words, for whoever cannot see it.
    lbl_Esito->setText(result.said);
    for (QAbstractButton* button : buttons_->buttons()) {
        if (buttons_->buttonRole(button) == QDialogButtonBox::AcceptRole) {
            button->setEnabled(glyph_.has_value());
        }
    }
}

}  // namespace lcdprog
