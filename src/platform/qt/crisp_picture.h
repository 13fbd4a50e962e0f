#pragma once

// Pictures made of dots (a panel's pixels, a glyph's cells) drawn for the screen at any scale
// factor: every dot becomes the same whole number of device pixels, with no smoothing, so that
// a two-coloured picture stays two-coloured at 100, 125, 150 or 200 % and a dither can be
// judged as the module will show it. The preview, the import dialog, the picture boxes and the
// picture editor all draw through here.

#include <QColor>
#include <QImage>
#include <QLabel>
#include <functional>

namespace lcdprog::platform {

// The colours of a lit LCD, as every window shows a panel's picture.
inline constexpr QRgb kLcdLit = 0xFFA8C64E;   // the backlit glass
inline constexpr QRgb kLcdDark = 0xFF1F2A10;  // a pixel that is on

// One image pixel per dot: `darkColour` where `dark(x, y)`, `litColour` elsewhere.
QImage Dots_Image(int width, int height, const std::function<bool(int x, int y)>& dark,
                  QRgb darkColour, QRgb litColour);

// Device pixels per dot for `zoom` logical pixels per dot on a device of `ratio`: the whole
// number at or below their product, and at least one. At 150 % a zoom of 1 is one device pixel
// (the picture a little smaller) rather than one and a half (the picture smeared).
int Device_Pixels_Per_Dot(int zoom, qreal ratio);

// `dots` enlarged Device_Pixels_Per_Dot(zoom, ratio) times by repeating each pixel, carrying
// that device pixel ratio: drawn by a painter on a device of the same ratio it covers whole
// device pixels.
QImage Crisp_Image(const QImage& dots, int zoom, qreal ratio);

// `dots` with a red frame and a red cross over them, one dot wide: the slot keeps a picture that
// is away, and this stands in its place.
QImage Crossed_Out(QImage dots);

// A label whose pixmap holds one pixel per dot and is shown `zoom` logical pixels per dot, crisp
// on whatever it is painted on (a screen at any scale, a grab, a print). pixmap() stays the dots
// themselves, what tests and screen readers are given.
class CrispPicture : public QLabel {
    Q_OBJECT
  public:
    explicit CrispPicture(QWidget* parent = nullptr);
    void Set_Zoom(int zoom);
    int Zoom() const { return zoom_; }
    // A small triangle in the top right corner of the picture, over it: something about the
    // picture deserves a look (its tool tip says what). An invalid colour takes it away.
    void Set_Corner_Mark(const QColor& colour);
    QColor Corner_Mark() const { return mark_; }
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    int zoom_ = 1;
    QColor mark_;
};

}  // namespace lcdprog::platform
