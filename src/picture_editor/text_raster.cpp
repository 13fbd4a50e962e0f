#include "picture_editor/text_raster.h"

#include "platform/qt/character_fonts.h"

namespace lcdprog {

TextFonts::TextFonts() {
    const std::vector<platform::PixelFontFile> files = platform::Pixel_Font_Files();
    for (const platform::PixelFontFile& file : files) {
        TextFont font{platform::Pixel_Font_Label(file.name), file.path, {}};
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
        pixels = pixelFonts_.Font(file);
        if (pixels == nullptr) {
            missing = static_cast<int>(text.toStdU32String().size());
            return {};
        }
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
