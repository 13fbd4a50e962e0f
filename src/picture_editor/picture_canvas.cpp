#include "picture_editor/picture_canvas.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QWheelEvent>
#include <QWindow>
#include <algorithm>
#include <cmath>

#include "platform/qt/crisp_picture.h"

namespace lcdprog {
namespace {

using picture::Point;

// Halfway between the lit glass and a dark pixel: a grid line shows on both.
QRgb Grid_Colour() {
    const QColor lit(platform::kLcdLit);
    const QColor dark(platform::kLcdDark);
    return qRgb((lit.red() + dark.red()) / 2, (lit.green() + dark.green()) / 2,
                (lit.blue() + dark.blue()) / 2);
}

// Ctrl and an arrow move the cursor this far: across a 240-pixel picture in 30 steps.
constexpr int kLongStep = 8;
// Changed pixels this close together are repainted as one run, and beyond this many runs the
// box around them all is: each rectangle painted costs a little on its own.
constexpr int kRunGap = 4;
constexpr std::size_t kMaxRuns = 512;

}  // namespace

PictureCanvas::PictureCanvas(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setCursor(Qt::CrossCursor);
}

int PictureCanvas::Device_Scale() const {
    return platform::Device_Pixels_Per_Dot(zoom_, devicePixelRatioF());
}

void PictureCanvas::Set_Zoom(int zoom) {
    zoom = std::clamp(zoom, kMinZoom, kMaxZoom);
    if (zoom != zoom_) {
        zoom_ = zoom;
        Resize();
        update();
    }
}

void PictureCanvas::Resize() {
    const double step = Device_Scale() / devicePixelRatioF();
    setFixedSize(static_cast<int>(std::ceil(picture_.width * step)),
                 static_cast<int>(std::ceil(picture_.height * step)));
}

QRect PictureCanvas::Widget_Rect(int x0, int y0, int x1, int y1, int margin) const {
    const double dpr = devicePixelRatioF();
    const int s = Device_Scale();
    const auto at = [&](int pixels, int more) {
        return static_cast<int>(std::floor((pixels * s + more) / dpr));
    };
    const auto end = [&](int pixels, int more) {
        return static_cast<int>(std::ceil((pixels * s + more) / dpr));
    };
    return QRect(QPoint(at(x0, -margin), at(y0, -margin)),
                 QPoint(end(x1, margin) - 1, end(y1, margin) - 1));
}

Point PictureCanvas::Pixel_At(QPointF position) const {
    const double s = Device_Scale() / devicePixelRatioF();
    return {static_cast<int>(std::floor(position.x() / s)),
            static_cast<int>(std::floor(position.y() / s))};
}

void PictureCanvas::Show_Picture(const picture::Bits& picture) {
    if (picture.width != picture_.width || picture.height != picture_.height) {
        picture_ = picture;
        lcd_ = platform::Dots_Image(
            picture.width, picture.height, [&](int x, int y) { return picture.Black(x, y); },
            platform::kLcdDark, platform::kLcdLit);
        cursor_ = {std::clamp(cursor_.x, 0, std::max(0, picture.width - 1)),
                   std::clamp(cursor_.y, 0, std::max(0, picture.height - 1))};
        Resize();
        update();
        setAccessibleName(Cursor_Text());
        return;
    }
    // Runs of changed pixels, row by row, short gaps of unchanged ones included: a shape that
    // follows the pointer repaints its old and its new outline, not the box around both.
    std::vector<QRect> runs;
    QRect bounds;
    for (int y = 0; y < picture.height; ++y) {
        const std::size_t row = static_cast<std::size_t>(y) * picture.width;
        const std::uint8_t* now = &picture.index[row];
        std::uint8_t* was = &picture_.index[row];
        auto* shown = reinterpret_cast<QRgb*>(lcd_.scanLine(y));
        for (int x = 0; x < picture.width; ++x) {
            if (now[x] == was[x]) {
                continue;
            }
            int last = x;
            for (int next = x + 1; next < picture.width && next - last <= kRunGap; ++next) {
                if (now[next] != was[next]) {
                    last = next;
                }
            }
            for (int i = x; i <= last; ++i) {
                was[i] = now[i];
                shown[i] = now[i] == 0 ? platform::kLcdDark : platform::kLcdLit;
            }
            runs.push_back(Widget_Rect(x, y, last + 1, y + 1));
            bounds |= runs.back();
            x = last;
        }
    }
    if (runs.empty()) {
        return;
    }
    if (runs.size() > kMaxRuns) {
        update(bounds);
    } else {
        QRegion region;
        region.setRects(runs.data(), static_cast<int>(runs.size()));
        update(region);
    }
    // The pixel under the cursor may be the one that changed.
    setAccessibleName(Cursor_Text());
}

void PictureCanvas::Update_Area(std::optional<Area> area) {
    if (area) {
        update(Widget_Rect(area->at.x, area->at.y, area->at.x + area->width,
                           area->at.y + area->height, 2));
    }
}

void PictureCanvas::Show_Selection(std::optional<Area> area) {
    if (area == selection_) {
        return;
    }
    Update_Area(selection_);
    selection_ = area;
    Update_Area(selection_);
}

void PictureCanvas::Set_Cursor(Point p) {
    p = {std::clamp(p.x, 0, std::max(0, picture_.width - 1)),
         std::clamp(p.y, 0, std::max(0, picture_.height - 1))};
    if (p == cursor_) {
        return;
    }
    Update_Area(Area{cursor_, 1, 1});
    cursor_ = p;
    Update_Area(Area{cursor_, 1, 1});
    setAccessibleName(Cursor_Text());
}

QString PictureCanvas::Cursor_Text() const {
    if (picture_.index.empty()) {
        return {};
    }
    return QStringLiteral("x %1, y %2: %3")
        .arg(cursor_.x)
        .arg(cursor_.y)
        .arg(picture_.Black(cursor_.x, cursor_.y) ? QStringLiteral("nero")
                                                  : QStringLiteral("bianco"));
}

void PictureCanvas::Paint_Pixels(QPainter& painter, const QRect& damaged) const {
    const double dpr = devicePixelRatioF();
    const double step = Device_Scale() / dpr;
    const int x0 = std::clamp(static_cast<int>(std::floor(damaged.left() / step)), 0, lcd_.width());
    const int y0 = std::clamp(static_cast<int>(std::floor(damaged.top() / step)), 0, lcd_.height());
    const int x1 =
        std::clamp(static_cast<int>(std::ceil((damaged.right() + 1) / step)), 0, lcd_.width());
    const int y1 =
        std::clamp(static_cast<int>(std::ceil((damaged.bottom() + 1) / step)), 0, lcd_.height());
    painter.fillRect(damaged, palette().color(QPalette::Window));
    if (x1 <= x0 || y1 <= y0) {
        return;
    }
    painter.drawImage(QRectF(x0 * step, y0 * step, (x1 - x0) * step, (y1 - y0) * step), lcd_,
                      QRect(x0, y0, x1 - x0, y1 - y0));
    if (zoom_ >= kGridZoom) {
        const double line = 1 / dpr;  // one device pixel
        const QColor grid(Grid_Colour());
        for (int x = std::max(x0, 1); x < x1 + 1 && x < lcd_.width(); ++x) {
            painter.fillRect(QRectF(x * step, y0 * step, line, (y1 - y0) * step), grid);
        }
        for (int y = std::max(y0, 1); y < y1 + 1 && y < lcd_.height(); ++y) {
            painter.fillRect(QRectF(x0 * step, y * step, (x1 - x0) * step, line), grid);
        }
    }
}

void PictureCanvas::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    // The squares the damaged region touches, and nothing more: a stroke at 16x repaints a few
    // squares, a shape following the pointer its old and new outline, not the whole canvas.
    for (const QRect& damaged : event->region()) {
        Paint_Pixels(painter, damaged);
    }
    const double dpr = devicePixelRatioF();
    const double step = Device_Scale() / dpr;
    const double line = 1 / dpr;
    if (selection_) {
        const QRectF box(selection_->at.x * step, selection_->at.y * step,
                         selection_->width * step - line, selection_->height * step - line);
        painter.setPen(QPen(Qt::white, 0));
        painter.drawRect(box);
        painter.setPen(QPen(Qt::black, 0, Qt::DashLine));
        painter.drawRect(box);
    }
    if (hasFocus()) {
        // Two device pixels wide, inside the cursor's square, so that it shows even at 1x.
        painter.setPen(QPen(palette().color(QPalette::Highlight), 2 * line));
        painter.drawRect(QRectF(cursor_.x * step + line, cursor_.y * step + line,
                                std::max(step - 2 * line, line), std::max(step - 2 * line, line)));
    }
}

void PictureCanvas::mousePressEvent(QMouseEvent* event) {
    if (button_ != Qt::NoButton ||
        (event->button() != Qt::LeftButton && event->button() != Qt::RightButton)) {
        return;
    }
    button_ = event->button();
    const Point p = Pixel_At(event->position());
    Set_Cursor(p);
    emit pressed(p, button_, event->modifiers());
}

void PictureCanvas::mouseMoveEvent(QMouseEvent* event) {
    const Point p = Pixel_At(event->position());
    Set_Cursor(p);
    emit moved(p, event->modifiers(), false);
}

void PictureCanvas::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != button_) {
        return;
    }
    button_ = Qt::NoButton;
    emit released(Pixel_At(event->position()), event->modifiers());
}

void PictureCanvas::keyPressEvent(QKeyEvent* event) {
    const int distance = event->modifiers().testFlag(Qt::ControlModifier) ? kLongStep : 1;
    Point to = cursor_;
    switch (event->key()) {
        case Qt::Key_Left:
            to.x -= distance;
            break;
        case Qt::Key_Right:
            to.x += distance;
            break;
        case Qt::Key_Up:
            to.y -= distance;
            break;
        case Qt::Key_Down:
            to.y += distance;
            break;
        case Qt::Key_Space:
            if (!event->isAutoRepeat()) {
                emit spacePressed(event->modifiers());
            }
            return;
        default:
            QWidget::keyPressEvent(event);
            return;
    }
    Set_Cursor(to);
    emit moved(cursor_, event->modifiers(), true);
}

void PictureCanvas::wheelEvent(QWheelEvent* event) {
    if (!event->modifiers().testFlag(Qt::ControlModifier)) {
        event->ignore();  // the scroll area scrolls
        return;
    }
    const int steps = event->angleDelta().y() / 120;
    if (steps != 0) {
        emit zoomStep(steps);
    }
}

void PictureCanvas::focusInEvent(QFocusEvent* event) {
    Update_Area(Area{cursor_, 1, 1});
    QWidget::focusInEvent(event);
}

void PictureCanvas::focusOutEvent(QFocusEvent* event) {
    Update_Area(Area{cursor_, 1, 1});
    QWidget::focusOutEvent(event);
}

void PictureCanvas::showEvent(QShowEvent* event) {
    // Moved to a screen of another scale: the squares are counted in its device pixels.
    if (!screenWatched_ && window()->windowHandle() != nullptr) {
        screenWatched_ = true;
        connect(window()->windowHandle(), &QWindow::screenChanged, this, [this] {
            Resize();
            update();
        });
    }
    QWidget::showEvent(event);
}

}  // namespace lcdprog
