// Arbitrary bytes as a picture file for one of the three panel sizes: the raster must be exactly
// the file's tail read bottom-up, the conversions must put every raster pixel where the memory
// map says, and the store must touch nothing outside the slot's region.
//
// Input: byte 0 picks the panel size (mod 3) and the slot (/ 3 mod 4); the rest is the file.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "compiler/mod_Compilatore.h"
#include "platform/file_service.h"
#include "platform/message_box.h"
#include "state/mod_variabili.h"

namespace {

using namespace lcdprog;

// One file, held in memory.
class OneFile : public platform::FileService {
  public:
    bool FileExists(const std::string&) const override { return true; }
    std::string GetFileName(const std::string& path) const override { return path; }
    platform::FileContents Read(const std::string&, std::size_t limit) const override {
        platform::FileContents out;
        out.status = platform::FileStatus::Ok;
        out.length = bytes.size();
        out.bytes = bytes.substr(0, limit);
        return out;
    }
    std::string ProgramFolder() const override { return "/"; }
    std::string bytes;
};

class CountingMessageBox : public platform::MessageBox {
  public:
    void Show(const std::string&, const std::string&, platform::MessageIcon) override { ++shown; }
    int shown = 0;
};

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

struct Size {
    int width;
    int height;
    int stored;
    bool page;
    int firstBase;
};

constexpr Size kSizes[] = {
    {128, 64, 16, true, 0},
    {240, 64, 32, false, 8192},
    {240, 128, 32, false, 15872},
};

bool Raster_Pixel(const BitmapRasterArray& raster, int x, int y) {
    return (raster.bytes[static_cast<std::size_t>(y)][static_cast<std::size_t>(x / 8)] &
            (0x80 >> (x % 8))) != 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::uint8_t selector = size > 0 ? data[0] : 0;
    const Size& s = kSizes[selector % 3];
    const int slot = (selector / 3) % 4;
    OneFile files;
    if (size > 1) {
        files.bytes.assign(reinterpret_cast<const char*>(data + 1), size - 1);
    }
    CountingMessageBox messages;
    const CompilerIo io{files, messages};
    const std::string& file = files.bytes;
    const long length = static_cast<long>(file.size());

    // The working arrays live on from input to input, as a compile's would from slot to slot; the
    // image keeps what earlier inputs stored, so a store outside its region shows.
    static BitmapRasterArray raster;
    static PanelBytesArray panel;
    static MemoryImageBytes image;
    const bool loaded =
        Load_Bitmap_Raster(io, raster, "picture.bmp", "picture.bmp", s.width, s.height).Ok();
    if (length > static_cast<long>(kPictureFileMaxLength)) {
        Check(!loaded && messages.shown == 1);
        return 0;
    }
    Check(loaded && messages.shown == 0);

    // Raster byte (y, b) is the file byte at offset L - (y + 1) x S + b when the walk reached it
    // (offset 61 or more), else 0; nothing outside the picture's rows and stored bytes is set.
    Check(raster.rows == s.height && raster.rowBytes == s.stored);
    for (int y = 0; y < kRasterMaxRows; ++y) {
        for (int b = 0; b < kRasterMaxRowBytes; ++b) {
            const long offset = length - static_cast<long>(y + 1) * s.stored + b;
            std::uint8_t expected = 0;
            if (y < s.height && b < s.stored && offset >= 61) {
                expected = static_cast<std::uint8_t>(file[static_cast<std::size_t>(offset)]);
            }
            Check(raster.bytes[static_cast<std::size_t>(y)][static_cast<std::size_t>(b)] ==
                  expected);
        }
    }

    if (s.page) {
        Build_Page_Bytes(raster, panel, s.width, s.height);
    } else {
        Build_Row_Bytes(raster, panel, s.width, s.height);
    }
    const int regionSize = s.width * s.height / 8;
    Check(panel.size == regionSize);

    const int base = s.firstBase + slot * regionSize;
    static std::uint8_t before[kMemoryImageSize];
    std::memcpy(before, image.data(), kMemoryImageSize);
    Store_Panel_Bytes(panel, image, base);

    // Every pixel, complemented, at its place in the panel layout.
    for (int y = 0; y < s.height; ++y) {
        for (int x = 0; x < s.width; ++x) {
            const int offset = s.page ? (y / 8) * s.width + x : y * (s.width / 8) + x / 8;
            const int bit = s.page ? y % 8 : 7 - x % 8;
            const bool stored = (image[static_cast<std::size_t>(base + offset)] >> bit) & 1;
            Check(stored == !Raster_Pixel(raster, x, y));
        }
    }
    for (std::size_t a = 0; a < kMemoryImageSize; ++a) {
        if (a < static_cast<std::size_t>(base) ||
            a >= static_cast<std::size_t>(base + regionSize)) {
            Check(image[a] == before[a]);
        }
    }
    return 0;
}
