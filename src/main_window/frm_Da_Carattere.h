#pragma once

#include <QDialog>
#include <QString>
#include <optional>
#include <string>

#include "picture/pixel_font.h"
#include "platform/qt/character_fonts.h"
#include "state/glyph_tools.h"

class QComboBox;
class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QSlider;
class QSpinBox;

namespace lcdprog {

// A font "Da carattere..." offers: a pixel font's file, or an outline family.
struct CharacterFont {
    QString name;           // as the list shows it
    std::string pixelFile;  // a pixel font's file; empty for an outline family
    QString family;         // an outline font's family
};

// One character of a font in a glyph cell, and what the operator is told about it.
struct CharacterGlyph {
    // The glyph, when the character is one the font has, has ink and fits the cell whole.
    std::optional<GlyphColumns> glyph;
    QString said;
    // The font gave levels between ink and paper, so the threshold decides which is which.
    bool shaded = false;
};

// The character `text` (exactly one: more is refused) of `font` (`pixels`: a pixel font already
// read, else an outline family drawn at the cell's size) in the glyph cell of `size`, on the
// cell's baseline and never scaled: a symbol keeps its own place and size.
CharacterGlyph Character_Glyph(const CharacterFont& font, const picture::PixelFont* pixels,
                               const QString& text, int threshold, GlyphSize size);

// "Da carattere...": a font, a character and a threshold, with the glyph they give shown before
// it is taken. The window takes Glyph() when exec() returned Accepted. The choices are kept for
// the next time, for each glyph size.
class frm_Da_Carattere final : public QDialog {
    Q_OBJECT
  public:
    frm_Da_Carattere(GlyphSize size, QWidget* parent);
    std::optional<GlyphColumns> Glyph() const { return glyph_; }

  private:
    void Show_Preview();
    void Remember() const;
    CharacterFont Font() const;

    GlyphSize size_;
    std::optional<GlyphColumns> glyph_;
    platform::PixelFontCache pixelFonts_;
    QComboBox* cmb_Font = nullptr;
    QLineEdit* txt_Carattere = nullptr;
    QSlider* sld_Soglia = nullptr;
    QSpinBox* txt_Soglia = nullptr;
    QLabel* pct_Anteprima = nullptr;
    QLabel* lbl_Esito = nullptr;
    QDialogButtonBox* buttons_ = nullptr;
};

}  // namespace lcdprog
