// Arbitrary bytes as a picture file for the bitmap header test, against all three panel sizes.
// The test must never read past what it was given, and its answer must agree with the header
// layout: width at 18, height at 22 (32 bits), planes at 26, bit count at 28 (16 bits), little
// endian, missing bytes read as 0.

#include <cstddef>
#include <cstdint>
#include <string>

#include "compiler/picture_check.h"

namespace {

// One file, held in memory; every other path is missing.
class OneFile final : public lcdprog::platform::FileService {
  public:
    explicit OneFile(std::string bytes) : bytes_(std::move(bytes)) {}
    bool FileExists(const std::string& path) const override { return path == kPath; }
    std::string GetFileName(const std::string& path) const override { return path; }
    lcdprog::platform::FileContents Read(const std::string& path,
                                         std::size_t limit) const override {
        lcdprog::platform::FileContents out;
        if (path != kPath) {
            return out;
        }
        out.status = lcdprog::platform::FileStatus::Ok;
        out.length = bytes_.size();
        out.bytes = bytes_.substr(0, limit);
        return out;
    }
    std::string ProgramFolder() const override { return "/"; }

    static constexpr const char* kPath = "/fuzz/picture.bmp";

  private:
    std::string bytes_;
};

std::uint32_t Field(const std::uint8_t* data, std::size_t size, std::size_t at, int bytes) {
    std::uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) {
        const std::size_t k = at + static_cast<std::size_t>(i);
        value = (value << 8) | (k < size ? data[k] : 0u);
    }
    return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const OneFile file(std::string(reinterpret_cast<const char*>(data), size));
    const std::uint32_t width = Field(data, size, 18, 4);
    const std::uint32_t height = Field(data, size, 22, 4);
    const bool mono = Field(data, size, 26, 2) == 1 && Field(data, size, 28, 2) == 1;
    const int panels[][2] = {{128, 64}, {240, 64}, {240, 128}};
    for (const auto& panel : panels) {
        const bool expected = mono && width == static_cast<std::uint32_t>(panel[0]) &&
                              height == static_cast<std::uint32_t>(panel[1]);
        if (lcdprog::Check_Bitmap_Header(file, OneFile::kPath, panel[0], panel[1]) != expected) {
            __builtin_trap();
        }
    }
    // Neither an empty path nor a missing file ever passes.
    if (lcdprog::Check_Bitmap_Header(file, "", 128, 64) ||
        lcdprog::Check_Bitmap_Header(file, "/fuzz/other.bmp", 0, 0)) {
        __builtin_trap();
    }
    return 0;
}
