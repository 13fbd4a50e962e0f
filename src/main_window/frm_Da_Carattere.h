#pragma once

#include <QDialog>
#include <QFont>
#include <QString>
#include <optional>

#include "state/glyph_tools.h"

class QDialogButtonBox;
class QFontComboBox;
class QLabel;
class QLineEdit;
class QSlider;

namespace lcdprog {

// One character of `font` drawn into a glyph of `size`: the largest pixel size whose ink (pixels
// darker than `threshold`, 0-255) fits, centred. nullopt for a character with no ink at all.
std::optional<GlyphColumns> Render_Character(const QFont& font, const QString& character,
                                             int threshold, GlyphSize size);

// "Da carattere...": a font, a character and a threshold, with the glyph they give shown before
// it is taken. The window takes Glyph() when exec() returned Accepted.
class frm_Da_Carattere final : public QDialog {
    Q_OBJECT
  public:
    frm_Da_Carattere(GlyphSize size, QWidget* parent);
    std::optional<GlyphColumns> Glyph() const { return glyph_; }

  private:
    void Show_Preview();

    GlyphSize size_;
    std::optional<GlyphColumns> glyph_;
    QFontComboBox* cmb_Font = nullptr;
    QLineEdit* txt_Carattere = nullptr;
    QSlider* sld_Soglia = nullptr;
    QLabel* pct_Anteprima = nullptr;
    QLabel* lbl_Esito = nullptr;
    QDialogButtonBox* buttons_ = nullptr;
};

}  // namespace lcdprog
