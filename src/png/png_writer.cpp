#include "png/png_writer.h"

#include "platform/staged_files.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <system_error>

namespace lcdprog {
namespace {

std::uint32_t Crc32(const QByteArray& bytes) {
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k) {
                c = (c & 1u) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            }
            t[n] = c;
        }
        return t;
    }();
    std::uint32_t c = 0xFFFFFFFFu;
    for (const char b : bytes) {
        c = table[(c ^ static_cast<std::uint8_t>(b)) & 0xFFu] ^ (c >> 8);
    }
    return c ^ 0xFFFFFFFFu;
}

void Put_U32(QByteArray& out, std::uint32_t v) {
    out += static_cast<char>((v >> 24) & 0xFFu);
    out += static_cast<char>((v >> 16) & 0xFFu);
    out += static_cast<char>((v >> 8) & 0xFFu);
    out += static_cast<char>(v & 0xFFu);
}

void Put_Chunk(QByteArray& out, const char* type, const QByteArray& data) {
    Put_U32(out, static_cast<std::uint32_t>(data.size()));
    const QByteArray typed = QByteArray(type, 4) + data;
    out += typed;
    Put_U32(out, Crc32(typed));
}

}  // namespace

QByteArray Png_Of(const PanelPicture& picture, int scale) {
    const int width = picture.width * scale;
    const int height = picture.height * scale;
    const int rowBytes = (width + 7) / 8;
    QByteArray raw;
    raw.reserve((rowBytes + 1) * height);
    for (int y = 0; y < height; ++y) {
        raw += '\0';  // filter: none
        for (int b = 0; b < rowBytes; ++b) {
            unsigned byte = 0;
            for (int bit = 0; bit < 8; ++bit) {
                const int x = b * 8 + bit;
                // 1 is white in a 1-bit greyscale PNG; the padding bits are white too.
                if (x >= width || !picture.Dark(x / scale, y / scale)) {
                    byte |= 0x80u >> bit;
                }
            }
            raw += static_cast<char>(byte);
        }
    }
    QByteArray header;
    Put_U32(header, static_cast<std::uint32_t>(width));
    Put_U32(header, static_cast<std::uint32_t>(height));
    header += '\x01';  // bit depth
    header += '\x00';  // greyscale
    header += '\x00';  // deflate
    header += '\x00';  // adaptive filtering (each row says none)
    header += '\x00';  // not interlaced
    QByteArray png("\x89PNG\r\n\x1a\n", 8);
    Put_Chunk(png, "IHDR", header);
    // qCompress puts the length in four bytes before the zlib stream; PNG wants the stream.
    Put_Chunk(png, "IDAT", qCompress(raw, 9).mid(4));
    Put_Chunk(png, "IEND", {});
    return png;
}

platform::Result<> Write_Png(const std::string& path, const PanelPicture& picture, int scale) {
    const QByteArray png = Png_Of(picture, scale);
    const platform::Result<> written = platform::Write_File_Atomically(
        path, std::string_view(png.constData(), static_cast<std::size_t>(png.size())));
    if (!written) {
        return platform::Refusal{written.Why().kind,
                                 "impossibile scrivere " + path + ": " + written.Text()};
    }
    return platform::kDone;
}

platform::Result<> Stage_Png_Pictures(ImageView image, const std::string& folder,
                                      platform::StagedFiles& out) {
    using platform::Refusal;
    using platform::RefusalKind;
    std::error_code ec;
    if (std::filesystem::exists(folder, ec) && !std::filesystem::is_directory(folder, ec)) {
        return Refusal{RefusalKind::Unwritable, "impossibile creare la cartella " + folder +
                                                    ": esiste già un file con questo nome."};
    }
    if (const platform::Result<> made = out.Make_Folder(folder); !made) {
        return Refusal{RefusalKind::Unwritable,
                       "impossibile creare la cartella " + folder + ": " + made.Text()};
    }
    for (const NamedPicture& named : Named_Pictures(image, 1)) {
        const QByteArray png = Png_Of(named.picture, named.scale);
        const std::string path = folder + "/" + named.name + ".png";
        const platform::Result<> staged = out.Stage(
            path, std::string_view(png.constData(), static_cast<std::size_t>(png.size())));
        if (!staged) {
            return Refusal{RefusalKind::Unwritable,
                           "impossibile scrivere " + path + ": " + staged.Text()};
        }
    }
    return platform::kDone;
}

}  // namespace lcdprog
