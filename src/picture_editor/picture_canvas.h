#pragma once

#include <QImage>
#include <QPainter>
#include <QWidget>
#include <optional>

#include "picture/picture.h"
#include "picture_editor/editor_model.h"

namespace lcdprog {

// The editor's drawing surface: the picture as the module shows it (the preview's colours),
// each of its pixels a square of whole device pixels at zoom 1 to 16, a grid between the pixels
// from zoom 4, the selection's outline and the keyboard's pixel cursor. It only shows and reports:
// mouse buttons and keys come out as signals in picture pixels, and the window decides what they
// draw. Its accessible name is the cursor's place and pixel ("x 12, y 40: nero").
class PictureCanvas final : public QWidget {
    Q_OBJECT
  public:
    explicit PictureCanvas(QWidget* parent = nullptr);

    // Repaints only the pixels that differ from the picture shown before.
    void Show_Picture(const picture::Bits& picture);
    void Show_Selection(std::optional<Area> area);
    const picture::Bits& Picture() const { return picture_; }

    static constexpr int kMinZoom = 1;
    static constexpr int kMaxZoom = 16;
    static constexpr int kGridZoom = 4;  // from here on the pixels are told apart by a grid
    void Set_Zoom(int zoom);
    int Zoom() const { return zoom_; }
    // Device pixels per picture pixel at the screen's scale, a whole number (as the preview and
    // the picture boxes draw), so that every picture pixel is drawn the same size, unsmoothed.
    int Device_Scale() const;

    // The keyboard's pixel, kept inside the picture; the mouse moves it too.
    picture::Point Cursor() const { return cursor_; }
    void Set_Cursor(picture::Point p);
    // "x 12, y 40: nero": where the cursor is and what its pixel holds.
    QString Cursor_Text() const;

    // The picture pixel under a point of the widget (outside the picture when the point is).
    picture::Point Pixel_At(QPointF position) const;
    // Where the cursor's pixel lies in the widget.
    QRect Cursor_Rect() const {
        return Widget_Rect(cursor_.x, cursor_.y, cursor_.x + 1, cursor_.y + 1);
    }

  signals:
    // A button went down on a pixel, the pointer (or the cursor, `byKeys`) moved to one, a button
    // came up.
    void pressed(picture::Point p, Qt::MouseButton button, Qt::KeyboardModifiers keys);
    void moved(picture::Point p, Qt::KeyboardModifiers keys, bool byKeys);
    void released(picture::Point p, Qt::KeyboardModifiers keys);
    // Space: the keyboard's press and release, one after the other.
    void spacePressed(Qt::KeyboardModifiers keys);
    // Ctrl and the wheel: one step in or out.
    void zoomStep(int steps);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    // The widget's rectangle over picture pixels x0..x1-1, y0..y1-1, with `margin` device pixels
    // around it.
    QRect Widget_Rect(int x0, int y0, int x1, int y1, int margin = 0) const;
    void Resize();
    // The squares (and the grid) over the picture pixels that `damaged` touches.
    void Paint_Pixels(QPainter& painter, const QRect& damaged) const;
    void Update_Area(std::optional<Area> area);

    picture::Bits picture_;
    QImage lcd_;  // one pixel per picture pixel, in the module's colours
    std::optional<Area> selection_;
    int zoom_ = 4;
    picture::Point cursor_;
    Qt::MouseButton button_ = Qt::NoButton;  // the button that began the drag in progress
    bool screenWatched_ = false;
};

}  // namespace lcdprog
