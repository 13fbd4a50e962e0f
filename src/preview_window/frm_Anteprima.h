#pragma once

#include <QImage>
#include <QWidget>
#include <array>
#include <cstdint>
#include <string>

#include "compiler/image_decoder.h"
#include "platform/qt/crisp_picture.h"
#include "platform/services.h"
#include "project/project_state.h"
#include "state/mod_variabili.h"

class QHBoxLayout;
class QLabel;
namespace lcdprog::platform {
class CrispPicture;
}
class QPushButton;
class QSpinBox;

namespace lcdprog {

// The preview: what each panel and both glyphs will show once the module is programmed, decoded
// from a compiled memory image (never from the picture files themselves), at an integer zoom, in
// the colours of a lit LCD. The main window calls Refresh() after every change of a slot or a
// glyph; "Salva immagine .bin..." writes the 65,536 bytes the module would receive, "Salva
// immagine PNG..." every picture as a PNG file, as `lcdprog-cli image --png` writes them.
class frm_Anteprima final : public QWidget {
    Q_OBJECT
  public:
    frm_Anteprima(platform::Services& services, ProgramState& state, QWidget* parent = nullptr);

    // Compiles the current slots and glyphs into the preview's own image and redraws.
    void Refresh();
    void Set_Zoom(int zoom);
    // Sizes the window to fit `available` (a screen's work area, in the window's own pixels at
    // whatever scale): the largest zoom up to the default whose panels fit the width, no larger
    // than the area, the rest reached by scrolling. The buttons above the panels stay in view.
    void Fit_To(const QRect& available);
    // The project's pictures that were not taken: their slots show a red cross and name the
    // file, since what the preview shows there is the white picture a run would send instead.
    void Set_Kept_Paths(const PicturePaths& kept);
    void cmd_Salva_Bin_Click();
    // Asks for a folder and writes into it 64128A_1.png .. 128240A_4.png, glyph_5x8.png and
    // glyph_10x16.png (files of those names are replaced), all of them or none.
    void cmd_Salva_Png_Click();

    // True when the last Refresh compiled every picture: the preview is what a run would send.
    bool Current() const { return current_; }
    const MemoryImageBytes& Image() const { return image_; }
    // A panel picture (panel in slot-array order, slot 0..3) or a glyph (0: 5x8, 1: 10x16) as
    // shown, one image pixel per panel pixel, in kLit and kDark.
    QImage Picture(int panel, int slot) const;
    QImage Glyph(int which) const;

    static const QString kCaption;
    static constexpr QRgb kLit = platform::kLcdLit;
    static constexpr QRgb kDark = platform::kLcdDark;
    static constexpr int kMaxZoom = 6;

  private:
    QHBoxLayout* Build_Top_Row();
    QWidget* Build_Pictures();
    void Show_Pictures();

    platform::Services& services_;
    ProgramState& state_;
    MemoryImageBytes image_{};
    bool current_ = false;
    int zoom_ = 2;
    std::array<std::array<platform::CrispPicture*, kSlotsPerPanel>, kPanelLayouts.size()>
        pictures_{};
    std::array<platform::CrispPicture*, 2> glyphs_{};
    QWidget* content_ = nullptr;
    PicturePaths kept_;
    QSpinBox* txt_Zoom = nullptr;
    QLabel* lbl_Stato = nullptr;
    QPushButton* cmd_Salva_Bin = nullptr;
    QPushButton* cmd_Salva_Png = nullptr;
    QPushButton* cmd_Chiudi = nullptr;
};

}  // namespace lcdprog
