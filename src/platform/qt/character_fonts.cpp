#include "platform/qt/character_fonts.h"

#include <QDir>
#include <QFile>
#include <QFont>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QRawFont>
#include <QRegularExpression>
#include <algorithm>
#include <set>

#include "picture/gzip.h"

namespace lcdprog::platform {
namespace {

// A compressed font is well under a megabyte; anything larger is not one of these.
constexpr qint64 kFontFileLimit = 4 << 20;

QFont Drawing_Font(const QString& family, int pixels, bool bold = false) {
    QFont font(family);
    font.setPixelSize(pixels);
    font.setBold(bold);
    font.setHintingPreference(QFont::PreferFullHinting);
    // No smoothing: a pixel is ink or it is not. No merging: a character the font lacks is not
    // borrowed from another font.
    font.setStyleStrategy(QFont::StyleStrategy(QFont::NoAntialias | QFont::NoFontMerging));
    return font;
}

}  // namespace

std::vector<PixelFontFile> Pixel_Font_Files(const std::string& folder) {
    static const QRegularExpression cellFont(
        QStringLiteral("^(\\d+)x(\\d+)([BO]?)\\.pcf(\\.gz)?$"));
    struct Found {
        int width, height;
        QString style;
        PixelFontFile file;
    };
    std::vector<Found> found;
    const QDir dir(QFile::decodeName(QByteArray::fromStdString(folder)));
    for (const QString& name : dir.entryList(QDir::Files, QDir::Name)) {
        const QRegularExpressionMatch m = cellFont.match(name);
        if (m.hasMatch()) {
            found.push_back({m.captured(1).toInt(),
                             m.captured(2).toInt(),
                             m.captured(3),
                             {m.captured(1) + QLatin1Char('x') + m.captured(2) + m.captured(3),
                              QFile::encodeName(dir.filePath(name)).toStdString()}});
        }
    }
    std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) {
        return std::tie(a.width, a.height, a.style) < std::tie(b.width, b.height, b.style);
    });
    std::vector<PixelFontFile> files;
    for (const Found& f : found) {
        files.push_back(f.file);
    }
    return files;
}

std::optional<picture::PixelFont> Load_Pixel_Font(const std::string& path) {
    QFile file(QFile::decodeName(QByteArray::fromStdString(path)));
    if (!file.open(QIODevice::ReadOnly) || file.size() > kFontFileLimit) {
        return std::nullopt;
    }
    const QByteArray bytes = file.readAll();
    const std::string_view view(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    if (const std::optional<std::string> unpacked = picture::Gunzip(view)) {
        return picture::PixelFont::Read(*unpacked);
    }
    return picture::PixelFont::Read(view);
}

QString Pixel_Font_Label(const QString& name) {
    return name + QStringLiteral(" (font a pixel)");
}

const picture::PixelFont* PixelFontCache::Font(const std::string& path) {
    auto [it, added] = read_.try_emplace(path);
    if (added) {
        it->second = Load_Pixel_Font(path);
    }
    return it->second ? &*it->second : nullptr;
}

QStringList Outline_Families() {
    std::set<QString> names;
    for (const QString& family : QFontDatabase::families()) {
        if (!QFontDatabase::isSmoothlyScalable(family) || QFontDatabase::isPrivateFamily(family)) {
            continue;
        }
        // "C059 [urw]": the foundry in brackets is what the database adds to tell copies apart.
        const qsizetype bracket = family.indexOf(QStringLiteral(" ["));
        names.insert(bracket > 0 ? family.left(bracket) : family);
    }
    QStringList sorted(names.begin(), names.end());
    std::sort(sorted.begin(), sorted.end(), [](const QString& a, const QString& b) {
        return QString::compare(a, b, Qt::CaseInsensitive) < 0;
    });
    return sorted;
}

int Outline_Pixel_Size(const QString& family, int rows) {
    int best = 1;
    for (int pixels = 1; pixels <= rows * 2; ++pixels) {
        if (QFontMetrics(Drawing_Font(family, pixels)).height() <= rows) {
            best = pixels;
        }
    }
    return best;
}

std::optional<picture::CharacterRaster> Outline_Character(const QString& family, int pixels,
                                                          char32_t character, bool bold) {
    const QFont font = Drawing_Font(family, pixels, bold);
    // The family asked for, not the one the font database would take in its place.
    if (!QFontInfo(font).family().startsWith(family, Qt::CaseInsensitive) ||
        !QRawFont::fromFont(font).supportsCharacter(character)) {
        return std::nullopt;
    }
    const QString text = QString::fromUcs4(&character, 1);
    const QFontMetrics metrics(font);
    // Room for any ink around the pen: a size's worth on every side and the advance.
    const int side = pixels * 4 + std::max(0, metrics.horizontalAdvance(text));
    const QPoint pen(pixels * 2, pixels * 2);
    QImage canvas(side, side, QImage::Format_RGB32);
    canvas.fill(Qt::white);
    {
        QPainter painter(&canvas);
        painter.setRenderHint(QPainter::TextAntialiasing, false);
        painter.setFont(font);
        painter.setPen(Qt::black);
        painter.drawText(pen, text);
    }
    QRect ink;
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            if (qGray(canvas.pixel(x, y)) < 255) {
                ink |= QRect(x, y, 1, 1);
            }
        }
    }
    picture::CharacterRaster raster;
    raster.advance = metrics.horizontalAdvance(text);
    if (ink.isEmpty()) {
        return raster;  // a blank: only its advance
    }
    raster.width = ink.width();
    raster.height = ink.height();
    raster.left = ink.left() - pen.x();
    raster.ascent = pen.y() - ink.top();
    for (int y = ink.top(); y <= ink.bottom(); ++y) {
        for (int x = ink.left(); x <= ink.right(); ++x) {
            raster.level.push_back(static_cast<std::uint8_t>(qGray(canvas.pixel(x, y))));
        }
    }
    return raster;
}

}  // namespace lcdprog::platform
