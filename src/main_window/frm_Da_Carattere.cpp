#include "main_window/frm_Da_Carattere.h"

#include <QDialogButtonBox>
#include <QFontComboBox>
#include <QFontMetrics>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>
#include <bit>
#include <vector>

#include "platform/qt/accessibility.h"

namespace lcdprog {
namespace {

constexpr int kPreviewCell = 12;  // pixels per glyph pixel in the preview
constexpr int kDefaultThreshold = 128;

// The first character of a text, a surrogate pair kept whole.
QString First_Character(const QString& text) {
    if (text.isEmpty()) {
        return {};
    }
    return text.left(text.at(0).isHighSurrogate() && text.size() > 1 ? 2 : 1);
}

}  // namespace

std::optional<GlyphColumns> Render_Character(const QFont& font, const QString& character,
                                             int threshold, GlyphSize size) {
    if (character.isEmpty()) {
        return std::nullopt;
    }
    // From a size whose letters certainly overflow the glyph down to the smallest: the first
    // that fits is the largest. The canvas leaves a size's worth of room on every side, so
    // accents and descenders are never cut off before they are measured.
    for (int pixels = size.rows * 2; pixels >= 2; --pixels) {
        QFont sized = font;
        sized.setPixelSize(pixels);
        const QFontMetrics metrics(sized);
        const int side = pixels * 3 + metrics.horizontalAdvance(character);
        QImage canvas(side, side, QImage::Format_Grayscale8);
        canvas.fill(255);
        {
            QPainter painter(&canvas);
            painter.setRenderHint(QPainter::TextAntialiasing);
            painter.setFont(sized);
            painter.setPen(Qt::black);
            painter.drawText(pixels, pixels + metrics.ascent(), character);
        }
        std::vector<std::uint8_t> grey(static_cast<std::size_t>(side) * side);
        for (int y = 0; y < side; ++y) {
            const uchar* line = canvas.constScanLine(y);
            std::copy(line, line + side, grey.begin() + static_cast<std::ptrdiff_t>(y) * side);
        }
        if (auto glyph = Centre_Ink(grey, side, side, threshold, size)) {
            return glyph;
        }
    }
    return std::nullopt;
}

frm_Da_Carattere::frm_Da_Carattere(GlyphSize size, QWidget* parent) : QDialog(parent), size_(size) {
    const QString title = QStringLiteral("Glifo %1 da un carattere").arg(QLatin1String(size.name));
    setWindowTitle(title);
    platform::Name_Control(this, QStringLiteral("frm_Da_Carattere"), title, QString());

    cmb_Font = new QFontComboBox(this);
    txt_Carattere = new QLineEdit(QStringLiteral("A"), this);
    txt_Carattere->setMaxLength(2);
    sld_Soglia = new QSlider(Qt::Horizontal, this);
    sld_Soglia->setRange(1, 255);
    sld_Soglia->setValue(kDefaultThreshold);
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

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("&Font:"), cmb_Font);
    form->addRow(QStringLiteral("&Carattere:"), txt_Carattere);
    // The value beside the slider, as in "Importa immagine": the same threshold can be typed
    // again another day.
    auto* txtSoglia = new QSpinBox(this);
    txtSoglia->setRange(sld_Soglia->minimum(), sld_Soglia->maximum());
    txtSoglia->setValue(sld_Soglia->value());
    auto* thresholdRow = new QHBoxLayout;
    thresholdRow->addWidget(sld_Soglia, 1);
    thresholdRow->addWidget(txtSoglia);
    form->addRow(QStringLiteral("&Soglia:"), thresholdRow);
    if (auto* label = qobject_cast<QLabel*>(form->labelForField(thresholdRow))) {
        label->setBuddy(sld_Soglia);
    }
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(pct_Anteprima, 0, Qt::AlignHCenter);
    layout->addWidget(lbl_Esito);
    layout->addWidget(buttons_);

    platform::Name_Control(cmb_Font, QStringLiteral("cmb_Font"), QStringLiteral("Font"), QString());
    platform::Name_Control(txt_Carattere, QStringLiteral("txt_Carattere"),
                           QStringLiteral("Carattere"), QString());
    platform::Name_Control(sld_Soglia, QStringLiteral("sld_Soglia"), QStringLiteral("Soglia"),
                           QStringLiteral("Più alta: più punti accesi"));
    platform::Name_Control(txtSoglia, QStringLiteral("txt_Soglia"), QStringLiteral("Soglia"),
                           QString());
    platform::Name_Control(pct_Anteprima, QStringLiteral("pct_Anteprima"),
                           QStringLiteral("Anteprima del glifo"), QString());
    lbl_Esito->setObjectName(QStringLiteral("lbl_Esito"));
    ok->setObjectName(QStringLiteral("cmd_Usa"));
    cancel->setObjectName(QStringLiteral("cmd_Annulla"));

    connect(buttons_, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(cmb_Font, &QFontComboBox::currentFontChanged, this, [this] { Show_Preview(); });
    connect(txt_Carattere, &QLineEdit::textChanged, this, [this] { Show_Preview(); });
    connect(sld_Soglia, &QSlider::valueChanged, this, [this] { Show_Preview(); });
    connect(sld_Soglia, &QSlider::valueChanged, txtSoglia, &QSpinBox::setValue);
    connect(txtSoglia, &QSpinBox::valueChanged, sld_Soglia, &QSlider::setValue);
    Show_Preview();
}

void frm_Da_Carattere::Show_Preview() {
    const QString character = First_Character(txt_Carattere->text());
    glyph_ = Render_Character(cmb_Font->currentFont(), character, sld_Soglia->value(), size_);
    QPixmap preview(size_.columns * kPreviewCell, size_.rows * kPreviewCell);
    preview.fill(palette().color(QPalette::Base));
    {
        QPainter painter(&preview);
        for (int c = 0; c < size_.columns && glyph_; ++c) {
            for (int r = 0; r < size_.rows; ++r) {
                if ((((*glyph_)[c] >> r) & 1u) != 0) {
                    painter.fillRect(c * kPreviewCell, r * kPreviewCell, kPreviewCell, kPreviewCell,
                                     palette().color(QPalette::Text));
                }
            }
        }
        painter.setPen(palette().color(QPalette::Mid));
        for (int c = 1; c < size_.columns; ++c) {
            painter.drawLine(c * kPreviewCell, 0, c * kPreviewCell, preview.height());
        }
        for (int r = 1; r < size_.rows; ++r) {
            painter.drawLine(0, r * kPreviewCell, preview.width(), r * kPreviewCell);
        }
    }
    pct_Anteprima->setPixmap(preview);
    // What the preview shows, in words, for whoever cannot see it.
    QString said;
    if (character.isEmpty()) {
        said = QStringLiteral("Scrivere un carattere.");
    } else if (!glyph_) {
        said = QStringLiteral("Il carattere non ha punti da disegnare con questa soglia.");
    } else {
        int set = 0;
        for (unsigned column : *glyph_) {
            set += std::popcount(column);
        }
        said = QStringLiteral("Glifo %1: %2 punti accesi.").arg(QLatin1String(size_.name)).arg(set);
    }
    lbl_Esito->setText(said);
    for (QAbstractButton* button : buttons_->buttons()) {
        if (buttons_->buttonRole(button) == QDialogButtonBox::AcceptRole) {
            button->setEnabled(glyph_.has_value());
        }
    }
}

}  // namespace lcdprog
