#pragma once

// The dialog "Importa immagine": any decoded picture onto a panel as the module will show it,
// with the scaling, rotation, levels and conversion the operator picks. It only shows and
// chooses: writing the file and filling the slot are picture_import.h's.

#include <QDialog>
#include <QImage>
#include <array>
#include <optional>
#include <string>

#include "picture/picture.h"

class QCheckBox;
class QComboBox;
class QFormLayout;
class QHBoxLayout;
class QLabel;
class QPushButton;
class QSlider;
class QSpinBox;

namespace lcdprog {
namespace platform {
class CrispPicture;
}

class frm_Importa_Immagine final : public QDialog {
    Q_OBJECT
  public:
    // `panel` in slot-array order (kPanelLayouts), `slot` 0..3: the destination it starts on.
    frm_Importa_Immagine(picture::Rgba source, const std::string& sourceName, int panel, int slot,
                         QWidget* parent = nullptr);

    int Panel() const;
    int Slot() const;
    picture::Settings Settings() const;
    // Sets every control to `settings` (out-of-range values at their nearest) and redraws.
    void Apply_Settings(const picture::Settings& settings);
    // The picture the preview shows, bit for bit what "OK" writes.
    const picture::Bits& Result() const { return result_; }
    // The preview one pixel per panel pixel, in the preview window's colours.
    QImage Preview() const;
    // Recomputes the result from the controls and redraws; every control change calls it.
    void Refresh();

    static const QString kCaption;

  private:
    void Build_Controls(const std::string& sourceName, int panel, int slot);
    void Build_Placement_Rows(QFormLayout& form, int panel, int slot);
    void Build_Shape_Rows(QFormLayout& form);
    void Build_Tone_Rows(QFormLayout& form);
    QHBoxLayout* Build_Buttons();
    void Connect_Refresh();

    picture::Prepared source_;
    // The placed levels depend on fewer settings than the result: a threshold or conversion
    // change only cuts them again.
    struct PlacedKey {
        int panel = -1;
        picture::Scaling scaling{};
        int rotation = 0;
        bool mirror = false;
        int brightness = 0;
        int contrast = 0;
        bool operator==(const PlacedKey&) const = default;
    };
    PlacedKey placedKey_;
    picture::Levels placed_;
    picture::Bits result_;

    QComboBox* cmb_Display = nullptr;
    QComboBox* cmb_Immagine = nullptr;
    QComboBox* cmb_Scala = nullptr;
    QComboBox* cmb_Rotazione = nullptr;
    QCheckBox* chk_Specchia = nullptr;
    QComboBox* cmb_Conversione = nullptr;
    QSpinBox* txt_Soglia = nullptr;
    QSlider* sld_Soglia = nullptr;
    QSpinBox* txt_Luminosita = nullptr;
    QSpinBox* txt_Contrasto = nullptr;
    QCheckBox* chk_Inverti = nullptr;
    platform::CrispPicture* pct_Anteprima = nullptr;
    QPushButton* cmd_OK = nullptr;
    QPushButton* cmd_Annulla = nullptr;
};

}  // namespace lcdprog
