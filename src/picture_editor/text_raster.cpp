#include "picture_editor/text_raster.h"

#include "platform/qt/character_fonts.h"

namespace lcdprog {
namespace {

// As "Da carattere..." lists them, so that "5x8" reads as a cell font.
const QString kPixelSuffix = QStringLiteral(" (font a pixel)");

}  // namespace

TextFonts::TextFonts() {
    const std::vector<platform::PixelFontFile> files = platform::Pixel_Font_Files();
    for (const platform::PixelFontFile& file : files) {
        TextFont font{file.name + kPixelSuffix, file.path, {}};
        for (const platform::PixelFontFile& other : files) {
            if (other.name == file.name + QLatin1Char('B')) {
                font.boldFile = other.path;
            }
        }
        fonts_.push_back(std::move(font));
    }
    for (const QString& family : platform::Outline_Families()) {
        fonts_.push_back({family, {}, {}});
    }
}

picture::CharacterRaster TextFonts::Line(std::size_t index, const QString& text, int pixelSize,
                                         bool bold, int& missing) {
    missing = 0;
    if (index >= fonts_.size()) {
        return {};
    }
    const TextFont& font = fonts_[index];
    const picture::PixelFont* pixels = nullptr;
    if (font.Pixel()) {
        const std::string& file = bold && !font.boldFile.empty() ? font.boldFile : font.pixelFile;
        auto read = pixelFonts_.find(file);
        if (read == pixelFonts_.end()) {
            read = pixelFonts_.emplace(file, platform::Load_Pixel_Font(file)).first;
        }
        if (!read->second) {
            missing = static_cast<int>(text.toStdU32String().size());
            return {};
        }
        pixels = &*read->second;
    }
    std::vector<picture::CharacterRaster> characters;
    for (const char32_t c : text.toStdU32String()) {
        std::optional<picture::CharacterRaster> raster =
            pixels != nullptr ? pixels->Glyph(c)
                              : platform::Outline_Character(font.name, pixelSize, c, bold);
        if (raster) {
            characters.push_back(std::move(*raster));
        } else {
            ++missing;
        }
    }
    return characters.empty() ? picture::CharacterRaster{} : picture::Join(characters);
}

}  // namespace lcdprog
