#include "picture_editor/text_raster.h"

#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QRegularExpression>
#include <algorithm>
#include <map>
#include <optional>

#include "picture/gzip.h"
#include "picture/pixel_font.h"

namespace lcdprog {
namespace {

const QString kPixelFontFolder = QStringLiteral("/usr/share/fonts/X11/misc");
// The packed fixed fonts are a few tens of kilobytes; anything much larger is not one of them.
constexpr qint64 kPackedFontLimit = 4 << 20;

// A font is read once, the first time it is used; a file that is not a font stays remembered as
// such.
const std::optional<picture::PixelFont>& Pixel_Font(const QString& file) {
    static std::map<QString, std::optional<picture::PixelFont>> read;
    const auto found = read.find(file);
    if (found != read.end()) {
        return found->second;
    }
    QFile packed(file);
    std::optional<picture::PixelFont> font;
    if (packed.open(QIODevice::ReadOnly)) {
        const QByteArray bytes = packed.read(kPackedFontLimit);
        if (const std::optional<std::string> pcf = picture::Gunzip(bytes.toStdString())) {
            font = picture::PixelFont::Read(*pcf);
        }
    }
    return read.emplace(file, std::move(font)).first->second;
}

picture::CharacterRaster Pixel_Text(const QString& file, const QString& text, int& missing) {
    const std::optional<picture::PixelFont>& font = Pixel_Font(file);
    std::vector<picture::CharacterRaster> glyphs;
    for (const char32_t c : text.toStdU32String()) {
        std::optional<picture::CharacterRaster> glyph = font ? font->Glyph(c) : std::nullopt;
        if (glyph) {
            glyphs.push_back(std::move(*glyph));
        } else {
            ++missing;
        }
    }
    return glyphs.empty() ? picture::CharacterRaster{} : picture::Join(glyphs);
}

picture::CharacterRaster Outline_Text(const QString& family, const QString& text, int pixelSize,
                                      bool bold, int& missing) {
    QFont font(family);
    font.setPixelSize(std::max(pixelSize, 1));
    font.setBold(bold);
    font.setStyleStrategy(QFont::StyleStrategy(QFont::NoAntialias | QFont::NoFontMerging));
    font.setHintingPreference(QFont::PreferFullHinting);
    const QFontMetrics metrics(font);
    QString drawn;
    for (const char32_t c : text.toStdU32String()) {
        if (metrics.inFontUcs4(c)) {
            drawn += QString::fromUcs4(&c, 1);
        } else {
            ++missing;
        }
    }
    if (drawn.isEmpty()) {
        return {};
    }
    // A size's worth of room on every side: italics and accents reach beyond the advance and
    // the ascent, and are measured, not cut.
    const int room = font.pixelSize();
    const int advance = metrics.horizontalAdvance(drawn);
    QImage canvas(advance + 2 * room, metrics.height() + 2 * room, QImage::Format_Grayscale8);
    canvas.fill(255);
    {
        QPainter painter(&canvas);
        painter.setRenderHint(QPainter::TextAntialiasing, false);
        painter.setFont(font);
        painter.setPen(Qt::black);
        painter.drawText(room, room + metrics.ascent(), drawn);
    }
    picture::CharacterRaster raster;
    raster.width = canvas.width();
    raster.height = canvas.height();
    raster.left = -room;
    raster.ascent = room + metrics.ascent();
    raster.advance = advance;
    raster.level.reserve(static_cast<std::size_t>(raster.width) * raster.height);
    for (int y = 0; y < canvas.height(); ++y) {
        const uchar* line = canvas.constScanLine(y);
        raster.level.insert(raster.level.end(), line, line + canvas.width());
    }
    return raster;
}

}  // namespace

std::vector<TextFont> Text_Fonts() {
    std::vector<TextFont> fonts;
    // The fixed family's Unicode cuts: "6x13.pcf.gz", its bold "6x13B.pcf.gz".
    static const QRegularExpression fixed(QStringLiteral("^(\\d+)x(\\d+)\\.pcf\\.gz$"));
    const QDir folder(kPixelFontFolder);
    std::vector<std::pair<std::pair<int, int>, QString>> sizes;
    for (const QString& file : folder.entryList(QDir::Files)) {
        const QRegularExpressionMatch match = fixed.match(file);
        if (match.hasMatch()) {
            sizes.push_back({{match.captured(2).toInt(), match.captured(1).toInt()},
                             match.captured(1) + 'x' + match.captured(2)});
        }
    }
    std::sort(sizes.begin(), sizes.end());
    for (const auto& [size, name] : sizes) {
        const QString bold = folder.filePath(name + QStringLiteral("B.pcf.gz"));
        fonts.push_back({name + QStringLiteral(" (pixel)"),
                         folder.filePath(name + QStringLiteral(".pcf.gz")),
                         QFile::exists(bold) ? bold : QString()});
    }
    for (const QString& family : QFontDatabase::families()) {
        if (!QFontDatabase::isPrivateFamily(family)) {
            fonts.push_back({family, {}, {}});
        }
    }
    return fonts;
}

picture::CharacterRaster Text_Raster(const TextFont& font, const QString& text, int pixelSize,
                                     bool bold, int& missing) {
    missing = 0;
    if (font.Pixel()) {
        return Pixel_Text(bold && !font.boldFile.isEmpty() ? font.boldFile : font.pixelFile, text,
                          missing);
    }
    return Outline_Text(font.name, text, pixelSize, bold, missing);
}

}  // namespace lcdprog
