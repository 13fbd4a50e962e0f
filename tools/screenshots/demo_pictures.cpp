#include "demo_pictures.h"

#include <QFile>
#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

namespace lcdprog::screenshots {
namespace {

void Put_U16(std::string& out, std::size_t at, unsigned value) {
    out[at] = static_cast<char>(value & 0xFFu);
    out[at + 1] = static_cast<char>((value >> 8) & 0xFFu);
}

void Put_U32(std::string& out, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        out[at + i] = static_cast<char>((value >> (8 * i)) & 0xFFu);
    }
}

// A bell standing in `box`: knob, dome flaring out to a rim, and the clapper below the rim.
void Draw_Bell(QPainter& painter, const QRectF& box) {
    const double w = box.width();
    const double h = box.height();
    const double cx = box.center().x();
    const double top = box.top() + 0.10 * h;
    const double rim = box.top() + 0.78 * h;

    painter.drawEllipse(QPointF(cx, box.top() + 0.07 * h), 0.07 * w, 0.07 * h);
    QPainterPath dome;
    dome.moveTo(cx - 0.50 * w, rim);
    dome.cubicTo(cx - 0.30 * w, rim - 0.12 * h, cx - 0.40 * w, top, cx, top);
    dome.cubicTo(cx + 0.40 * w, top, cx + 0.30 * w, rim - 0.12 * h, cx + 0.50 * w, rim);
    dome.closeSubpath();
    painter.drawPath(dome);
    painter.drawRect(QRectF(cx - 0.50 * w, rim, w, 0.06 * h));
    painter.drawEllipse(QPointF(cx, rim + 0.13 * h), 0.11 * w, 0.09 * h);
}

QFont Pixel_Font(int pixelSize, bool bold) {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    // An LCD pixel is on or off: grey edges would turn into ragged black ones.
    font.setStyleStrategy(QFont::NoAntialias);
    return font;
}

// The largest font, up to `largest` pixels, in which `text` fits `area` whole.
QFont Fitting_Font(const QString& text, const QRect& area, int flags, int largest, bool bold) {
    for (int size = largest; size > 6; --size) {
        const QFont font = Pixel_Font(size, bold);
        const QRect needed = QFontMetrics(font).boundingRect(area, flags, text);
        if (needed.width() <= area.width() && needed.height() <= area.height()) {
            return font;
        }
    }
    return Pixel_Font(6, bold);
}

}  // namespace

const std::array<const char*, 8> kGlyph5x8 = {
    ".###.",  //
    "#...#",  //
    "#...#",  //
    "#####",  //
    "#...#",  //
    "#...#",  //
    "#...#",  //
    ".....",
};

const std::array<const char*, 16> kGlyph10x16 = {
    "....##....",  //
    "...####...",  //
    "..######..",  //
    "..######..",  //
    "..######..",  //
    "..######..",  //
    "..######..",  //
    ".########.",  //
    ".########.",  //
    "##########",  //
    "##########",  //
    "..........",  //
    "....##....",  //
    "....##....",  //
    "..........",  //
    "..........",
};

std::array<std::uint8_t, 5> Glyph_5x8_Columns() {
    std::array<std::uint8_t, 5> columns{};
    for (std::size_t r = 0; r < kGlyph5x8.size(); ++r) {
        for (std::size_t c = 0; c < columns.size(); ++c) {
            if (kGlyph5x8[r][c] == '#') {
                columns[c] = static_cast<std::uint8_t>(columns[c] | (1u << r));
            }
        }
    }
    return columns;
}

std::array<std::uint16_t, 10> Glyph_10x16_Columns() {
    std::array<std::uint16_t, 10> columns{};
    for (std::size_t r = 0; r < kGlyph10x16.size(); ++r) {
        for (std::size_t c = 0; c < columns.size(); ++c) {
            if (kGlyph10x16[r][c] == '#') {
                columns[c] = static_cast<std::uint16_t>(columns[c] | (1u << r));
            }
        }
    }
    return columns;
}

std::string Encode_Mono_Bitmap(const QImage& picture) {
    const int width = picture.width();
    const int height = picture.height();
    const int rowBytes = ((width + 31) / 32) * 4;
    const std::uint32_t dataSize = static_cast<std::uint32_t>(rowBytes) * height;
    std::string out(62 + dataSize, '\0');

    out[0] = 'B';
    out[1] = 'M';
    Put_U32(out, 2, 62 + dataSize);
    Put_U32(out, 10, 62);
    Put_U32(out, 14, 40);
    Put_U32(out, 18, static_cast<std::uint32_t>(width));
    Put_U32(out, 22, static_cast<std::uint32_t>(height));
    Put_U16(out, 26, 1);  // planes
    Put_U16(out, 28, 1);  // bits per pixel
    Put_U32(out, 34, dataSize);
    Put_U32(out, 38, 2835);  // 72 dpi, as the white backgrounds say
    Put_U32(out, 42, 2835);
    Put_U32(out, 46, 2);
    Put_U32(out, 50, 2);
    // Palette: entry 0 black, entry 1 white.
    Put_U32(out, 58, 0x00FFFFFFu);

    const QImage rgb = picture.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        const std::size_t row = 62 + static_cast<std::size_t>(height - 1 - y) * rowBytes;
        for (int x = 0; x < width; ++x) {
            if (rgb.pixel(x, y) == qRgb(255, 255, 255)) {
                out[row + x / 8] = static_cast<char>(out[row + x / 8] | (0x80 >> (x % 8)));
            }
        }
    }
    return out;
}

bool Write_Mono_Bitmap(const QImage& picture, const QString& path, QString* error) {
    const std::string bytes = Encode_Mono_Bitmap(picture);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(bytes.data(), static_cast<qint64>(bytes.size())) !=
            static_cast<qint64>(bytes.size()) ||
        !file.flush()) {
        *error = path + QStringLiteral(": ") + file.errorString();
        return false;
    }
    return true;
}

QImage Alarm_Picture(int width, int height, const QString& zone) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(Qt::black);

    // A double frame around the screen, as alarm panels draw it.
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(0, 0, width - 1, height - 1);
    painter.drawRect(2, 2, width - 5, height - 5);

    // A narrow panel gets a smaller bell, so that "ALLARME" keeps a readable size beside it.
    const int bell = std::min(height - 16, width >= 240 ? 56 : 34);
    const QRectF bellBox(8, (height - bell) / 2.0, bell * 0.85, bell);
    painter.setBrush(Qt::black);
    Draw_Bell(painter, bellBox);

    const int textLeft = static_cast<int>(bellBox.right()) + 6;
    const QRect textArea(textLeft, 6, width - textLeft - 6, height - 12);
    painter.setBrush(Qt::NoBrush);
    const QRect titleArea(textArea.left(), textArea.top(), textArea.width(), textArea.height() / 2);
    const QRect zoneArea(textArea.left(), titleArea.bottom() + 4, textArea.width(),
                         textArea.height() - titleArea.height() - 4);
    const int titleFlags = Qt::AlignHCenter | Qt::AlignBottom;
    const int zoneFlags = Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap;
    const QString title = QStringLiteral("ALLARME");
    painter.setFont(Fitting_Font(title, titleArea, titleFlags, height >= 128 ? 30 : 26, true));
    painter.drawText(titleArea, titleFlags, title);
    painter.setFont(Fitting_Font(zone, zoneArea, zoneFlags, height >= 128 ? 16 : 13, false));
    painter.drawText(zoneArea, zoneFlags, zone);
    painter.end();

    // Everything that is not pure white becomes black, so the bitmap holds what was drawn.
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if (image.pixel(x, y) != qRgb(255, 255, 255)) {
                image.setPixel(x, y, qRgb(0, 0, 0));
            }
        }
    }
    return image;
}

QImage Logo_Picture(int width, int height) {
    QImage picture(width, height, QImage::Format_ARGB32);
    picture.fill(Qt::white);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);

    const double radius = 0.42 * height;
    const QPointF centre(0.08 * width + radius, 0.5 * height);
    QRadialGradient shade(centre, radius, centre - QPointF(0.4 * radius, 0.4 * radius));
    shade.setColorAt(0.0, QColor(245, 245, 245));
    shade.setColorAt(0.6, QColor(150, 150, 150));
    shade.setColorAt(1.0, QColor(40, 40, 40));
    painter.setPen(Qt::NoPen);
    painter.setBrush(shade);
    painter.drawEllipse(centre, radius, radius);

    const int left = static_cast<int>(centre.x() + 1.3 * radius);
    const QRect area(left, 0, width - left - width / 20, height);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setBold(true);
    font.setPixelSize(height / 3);
    const QString name = QStringLiteral("Sicurezza\nAllarmi");
    while (font.pixelSize() > 8 &&
           QFontMetrics(font).boundingRect(area, Qt::AlignVCenter, name).width() > area.width()) {
        font.setPixelSize(font.pixelSize() - 1);
    }
    painter.setFont(font);
    painter.setPen(QColor(60, 60, 60));
    painter.drawText(area, Qt::AlignLeft | Qt::AlignVCenter, name);
    return picture;
}

}  // namespace lcdprog::screenshots
