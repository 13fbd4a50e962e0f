#include "compiler/picture_check.h"

#include <array>
#include <cstdint>

#include "compiler/mod_Compilatore.h"

namespace lcdprog {
namespace {

constexpr std::size_t kHeaderSize = kBitmapHeaderSize;

std::uint32_t Le(const std::array<std::uint8_t, kHeaderSize>& header, std::size_t at, int bytes) {
    std::uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) {
        value = (value << 8) | header[at + static_cast<std::size_t>(i)];
    }
    return value;
}

}  // namespace

bool Check_Bitmap_Header(const platform::FileService& files, const std::string& path,
                         int expectedWidth, int expectedHeight) {
    if (path.empty()) {
        return false;
    }
    const platform::FileContents file = files.Read(path, kHeaderSize);
    return Check_Bitmap_Header(
        file.status == platform::FileStatus::Ok ? std::string_view(file.bytes) : std::string_view(),
        expectedWidth, expectedHeight);
}

bool Check_Bitmap_Header(std::string_view bytes, int expectedWidth, int expectedHeight) {
    std::array<std::uint8_t, kHeaderSize> header{};
    for (std::size_t k = 0; k < bytes.size() && k < kHeaderSize; ++k) {
        header[k] = static_cast<std::uint8_t>(bytes[k]);
    }
    const std::int64_t width = Le(header, 18, 4);
    const std::int64_t height = Le(header, 22, 4);
    const std::uint32_t planes = Le(header, 26, 2);
    const std::uint32_t bitCount = Le(header, 28, 2);
    return width == expectedWidth && height == expectedHeight && planes == 1 && bitCount == 1;
}

platform::Result<> Check_Picture_File(const platform::FileService& files, const std::string& path,
                                      int width, int height) {
    using platform::Refusal;
    using platform::RefusalKind;
    if (!files.FileExists(path)) {
        return Refusal{RefusalKind::Missing, "file non trovato"};
    }
    // The compiler reads at most this much; a longer file would stop every run.
    const platform::FileContents file = files.Read(path, kPictureFileMaxLength + 1);
    switch (file.status) {
        case platform::FileStatus::Ok:
            break;
        case platform::FileStatus::Missing:
            return Refusal{RefusalKind::Missing, "file non trovato"};
        case platform::FileStatus::NotRegular:
            return Refusal{RefusalKind::NotRegular, "non è un file regolare"};
        case platform::FileStatus::Unreadable:
            return Refusal{RefusalKind::Unreadable, file.error.empty()
                                                        ? "file non leggibile"
                                                        : "file non leggibile: " + file.error};
    }
    if (!Check_Bitmap_Header(file.bytes, width, height)) {
        return Refusal{RefusalKind::Invalid, "non è un'immagine bitmap di " +
                                                 std::to_string(width) + " x " +
                                                 std::to_string(height) + " pixel a 1 bit"};
    }
    if (file.length > kPictureFileMaxLength) {
        return Refusal{RefusalKind::TooLarge, "supera i 32767 byte"};
    }
    return platform::kDone;
}

}  // namespace lcdprog
