#include "platform/qt/crisp_picture.h"

#include <QPainter>
#include <QPainterPath>
#include <QStyle>
#include <algorithm>
#include <cmath>

namespace lcdprog::platform {
namespace {

constexpr int kMarkSize = 9;  // logical pixels along each short side of the corner mark

// The ratio a painter really draws at: the screen's scale factor, or that of the image a grab
// or a test paints into.
qreal Ratio_Of(const QPainter& painter, qreal fallback) {
    const qreal ratio = painter.deviceTransform().m11();
    return ratio > 0 ? ratio : fallback;
}

}  // namespace

QImage Dots_Image(int width, int height, const std::function<bool(int x, int y)>& dark,
                  QRgb darkColour, QRgb litColour) {
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            line[x] = dark(x, y) ? darkColour : litColour;
        }
    }
    return image;
}

QImage Lcd_Image(int width, int height, const std::function<bool(int x, int y)>& dark) {
    return Dots_Image(width, height, dark, kLcdDark, kLcdLit);
}

QImage Lcd_Image(const picture::Bits& picture) {
    return Lcd_Image(picture.width, picture.height,
                     [&](int x, int y) { return picture.Black(x, y); });
}

int Device_Pixels_Per_Dot(int zoom, qreal ratio) {
    // A hair below a whole number is that number: 1.25 x 4 must give 5, not 4.
    return std::max(1, static_cast<int>(std::floor(zoom * ratio + 1e-6)));
}

QImage Crisp_Image(const QImage& dots, int zoom, qreal ratio) {
    const int n = Device_Pixels_Per_Dot(zoom, ratio);
    // FastTransformation repeats pixels: an exact multiple of the size never blends two.
    QImage crisp = dots.scaled(dots.width() * n, dots.height() * n, Qt::IgnoreAspectRatio,
                               Qt::FastTransformation);
    crisp.setDevicePixelRatio(ratio);
    return crisp;
}

QImage Crossed_Out(QImage dots) {
    QPainter painter(&dots);
    painter.setPen(Qt::red);
    painter.drawRect(dots.rect().adjusted(0, 0, -1, -1));
    painter.drawLine(dots.rect().topLeft(), dots.rect().bottomRight());
    painter.drawLine(dots.rect().topRight(), dots.rect().bottomLeft());
    painter.end();
    return dots;
}

CrispPicture::CrispPicture(QWidget* parent) : QLabel(parent) {}

void CrispPicture::Set_Zoom(int zoom) {
    zoom_ = std::max(1, zoom);
    updateGeometry();
    update();
}

void CrispPicture::Set_Corner_Mark(const QColor& colour) {
    mark_ = colour;
    update();
}

QSize CrispPicture::sizeHint() const {
    const QPixmap dots = pixmap();
    if (dots.isNull()) {
        return QLabel::sizeHint();
    }
    const qreal ratio = devicePixelRatioF();
    const int n = Device_Pixels_Per_Dot(zoom_, ratio);
    const int frame = frameWidth() * 2;
    return QSize(static_cast<int>(std::ceil(dots.width() * n / ratio)) + frame,
                 static_cast<int>(std::ceil(dots.height() * n / ratio)) + frame);
}

QSize CrispPicture::minimumSizeHint() const {
    return pixmap().isNull() ? QLabel::minimumSizeHint() : sizeHint();
}

void CrispPicture::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    drawFrame(&painter);
    const QPixmap dots = pixmap();
    if (dots.isNull()) {
        return;
    }
    const qreal ratio = Ratio_Of(painter, devicePixelRatioF());
    const QImage crisp = Crisp_Image(dots.toImage(), zoom_, ratio);
    const QSize size = (QSizeF(crisp.size()) / ratio).toSize();
    const QRect at = QStyle::alignedRect(layoutDirection(), alignment(), size, contentsRect());
    painter.drawImage(at.topLeft(), crisp);
    if (mark_.isValid()) {
        const QRect shown = at.intersected(contentsRect());
        QPainterPath corner;
        corner.moveTo(shown.topRight() + QPoint(1, 0));
        corner.lineTo(shown.topRight() + QPoint(1 - kMarkSize, 0));
        corner.lineTo(shown.topRight() + QPoint(1, kMarkSize));
        corner.closeSubpath();
        painter.fillPath(corner, mark_);
    }
}

}  // namespace lcdprog::platform
