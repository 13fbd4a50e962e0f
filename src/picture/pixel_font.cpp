#include "picture/pixel_font.h"

#include <algorithm>
#include <cctype>
#include <map>

namespace lcdprog::picture {
namespace {

// The tables of a PCF file, by their type bits.
constexpr std::uint32_t kProperties = 1u << 0;
constexpr std::uint32_t kAccelerators = 1u << 1;
constexpr std::uint32_t kMetrics = 1u << 2;
constexpr std::uint32_t kBitmaps = 1u << 3;
constexpr std::uint32_t kEncodings = 1u << 5;
constexpr std::uint32_t kBdfAccelerators = 1u << 8;

// A table's format: its kind in the high bits, how its numbers and bitmaps are stored in the low.
constexpr std::uint32_t kKindMask = 0xFFFFFF00;
constexpr std::uint32_t kCompressedMetrics = 0x100;
constexpr std::uint32_t kAcceleratorsWithInk = 0x100;
constexpr std::uint32_t kHighByteFirst = 1u << 2;
constexpr std::uint32_t kHighBitFirst = 1u << 3;

// One table read front to back, its numbers in the byte order its format names. A read beyond
// the end gives 0 and marks the cursor failed, so that a parse asks once, at its end.
class Cursor {
  public:
    explicit Cursor(std::string_view bytes) : bytes_(bytes) {
        format_ = Take(4, false);  // the format itself is always low byte first
        highFirst_ = (format_ & kHighByteFirst) != 0;
    }
    std::uint32_t Format() const { return format_; }
    std::uint32_t Kind() const { return format_ & kKindMask; }
    std::uint32_t U32() { return Take(4, highFirst_); }
    std::uint32_t U16() { return Take(2, highFirst_); }
    std::uint32_t U8() { return Take(1, highFirst_); }
    int I32() { return static_cast<std::int32_t>(U32()); }
    int I16() { return static_cast<std::int16_t>(U16()); }
    std::string_view Bytes(std::size_t n) {
        if (!ok_ || Left() < n) {
            ok_ = false;
            return {};
        }
        at_ += n;
        return bytes_.substr(at_ - n, n);
    }
    void Skip(std::size_t n) { Bytes(n); }
    // Whether `count` entries of `size` bytes each can still be there: checked before anything
    // is allocated for them.
    bool Holds(std::uint64_t count, std::uint64_t size) const {
        return ok_ && count * size <= Left();
    }
    std::size_t Left() const { return bytes_.size() - at_; }
    bool Ok() const { return ok_; }

  private:
    std::uint32_t Take(std::size_t n, bool highFirst) {
        const std::string_view b = Bytes(n);
        std::uint32_t v = 0;
        for (std::size_t i = 0; i < b.size(); ++i) {
            const auto byte = static_cast<std::uint8_t>(b[highFirst ? i : b.size() - 1 - i]);
            v = v << 8 | byte;
        }
        return v;
    }

    std::string_view bytes_;
    std::size_t at_ = 0;
    std::uint32_t format_ = 0;
    bool highFirst_ = false;
    bool ok_ = true;
};

// The number of four bytes at `at`, low byte first, as the file header keeps them.
std::uint32_t Low_First(std::string_view bytes, std::size_t at) {
    std::uint32_t v = 0;
    for (std::size_t i = 4; i-- > 0;) {
        v = v << 8 | (at + i < bytes.size() ? static_cast<std::uint8_t>(bytes[at + i]) : 0u);
    }
    return v;
}

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return out;
}

// The string properties of the font (CHARSET_REGISTRY, FAMILY_NAME, ...) by name; a damaged
// table gives none.
std::map<std::string, std::string> String_Properties(std::string_view table) {
    Cursor c(table);
    const std::uint32_t count = c.U32();
    if (c.Kind() != 0 || !c.Holds(count, 9)) {
        return {};
    }
    struct Entry {
        std::uint32_t name, value;
        bool text;
    };
    std::vector<Entry> entries;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint32_t name = c.U32();
        const bool text = c.U8() != 0;
        entries.push_back({name, c.U32(), text});
    }
    c.Skip(count % 4 == 0 ? 0 : 4 - count % 4);
    const std::string_view strings = c.Bytes(c.U32());
    if (!c.Ok()) {
        return {};
    }
    const auto textAt = [&](std::uint32_t at) {
        if (at >= strings.size()) {
            return std::string_view{};
        }
        const std::string_view rest = strings.substr(at);
        return rest.substr(0, rest.find('\0'));
    };
    std::map<std::string, std::string> properties;
    for (const Entry& e : entries) {
        if (e.text) {
            properties.emplace(textAt(e.name), textAt(e.value));
        }
    }
    return properties;
}

}  // namespace

std::optional<PixelFont> PixelFont::Read(std::string_view bytes) {
    if (bytes.substr(0, 4) != std::string_view("\1fcp", 4) || bytes.size() < 8) {
        return std::nullopt;
    }
    // The table of contents: type, format, size and offset of each table, low byte first.
    const std::uint32_t count = Low_First(bytes, 4);
    if (count > (bytes.size() - 8) / 16) {
        return std::nullopt;
    }
    std::map<std::uint32_t, std::string_view> tables;
    for (std::size_t entry = 8; entry < 8 + std::size_t{count} * 16; entry += 16) {
        const std::uint32_t offset = Low_First(bytes, entry + 12);
        if (offset > bytes.size()) {
            return std::nullopt;
        }
        // A table may claim more than the file holds (xfonts-base's accelerators end 28 bytes
        // early): it is what is there, and a read beyond that fails where it is made.
        tables.emplace(Low_First(bytes, entry), bytes.substr(offset, Low_First(bytes, entry + 8)));
    }
    if (!tables.contains(kMetrics) || !tables.contains(kBitmaps) || !tables.contains(kEncodings)) {
        return std::nullopt;
    }
    PixelFont font;

    Cursor metrics(tables[kMetrics]);
    const bool compressed = metrics.Kind() == kCompressedMetrics;
    if (!compressed && metrics.Kind() != 0) {
        return std::nullopt;
    }
    const std::uint32_t glyphs = compressed ? metrics.U16() : metrics.U32();
    if (!metrics.Holds(glyphs, compressed ? 5 : 12)) {
        return std::nullopt;
    }
    font.metrics_.reserve(glyphs);
    for (std::uint32_t i = 0; i < glyphs; ++i) {
        const auto next = [&] { return compressed ? int(metrics.U8()) - 0x80 : metrics.I16(); };
        Metrics m{};
        m.left = next();
        m.right = next();
        m.advance = next();
        m.ascent = next();
        m.descent = next();
        if (!compressed) {
            metrics.Skip(2);  // attributes
        }
        font.metrics_.push_back(m);
    }

    Cursor bitmaps(tables[kBitmaps]);
    if (bitmaps.Kind() != 0 || bitmaps.U32() != glyphs || !bitmaps.Holds(glyphs, 4)) {
        return std::nullopt;
    }
    font.offsets_.reserve(glyphs);
    for (std::uint32_t i = 0; i < glyphs; ++i) {
        font.offsets_.push_back(bitmaps.U32());
    }
    // The bitmaps' size for each of the four row paddings; the one stored is the format's.
    std::uint32_t sizes[4];
    for (std::uint32_t& size : sizes) {
        size = bitmaps.U32();
    }
    const std::uint32_t format = bitmaps.Format();
    font.bitmaps_ = std::string(bitmaps.Bytes(sizes[format & 3]));
    font.rowPad_ = 1 << (format & 3);
    font.leftBitHigh_ = (format & kHighBitFirst) != 0;
    // Stored in units of 1, 2 or 4 bytes: when their byte order is not their bit order, the
    // bytes of a unit lie end for end.
    const bool reversed = ((format & kHighByteFirst) != 0) != font.leftBitHigh_;
    font.swapUnit_ = reversed ? 1 << ((format >> 4) & 3) : 1;
    if (!bitmaps.Ok()) {
        return std::nullopt;
    }
    for (std::uint32_t i = 0; i < glyphs; ++i) {
        const Metrics& m = font.metrics_[i];
        const std::int64_t width = m.right - m.left;
        const std::int64_t height = m.ascent + m.descent;
        const std::int64_t row = (width + 8 * font.rowPad_ - 1) / (8 * font.rowPad_) * font.rowPad_;
        if (width < 0 || height < 0 ||
            font.offsets_[i] + row * height > std::int64_t(font.bitmaps_.size())) {
            return std::nullopt;
        }
    }

    Cursor encodings(tables[kEncodings]);
    font.firstColumn_ = int(encodings.U16());
    font.lastColumn_ = int(encodings.U16());
    font.firstRow_ = int(encodings.U16());
    font.lastRow_ = int(encodings.U16());
    encodings.U16();  // the default character: never drawn in place of a missing one
    if (encodings.Kind() != 0 || font.firstColumn_ > font.lastColumn_ || font.lastColumn_ > 255 ||
        font.firstRow_ > font.lastRow_ || font.lastRow_ > 255) {
        return std::nullopt;
    }
    const std::uint32_t codes = std::uint32_t(font.lastColumn_ - font.firstColumn_ + 1) *
                                std::uint32_t(font.lastRow_ - font.firstRow_ + 1);
    if (!encodings.Holds(codes, 2)) {
        return std::nullopt;
    }
    for (std::uint32_t i = 0; i < codes; ++i) {
        font.glyphOfCode_.push_back(static_cast<std::uint16_t>(encodings.U16()));
    }

    if (tables.contains(kProperties)) {
        const auto properties = String_Properties(tables[kProperties]);
        const auto property = [&](const char* name) {
            const auto p = properties.find(name);
            return p == properties.end() ? std::string() : p->second;
        };
        const std::string registry = property("CHARSET_REGISTRY");
        const std::string encoding = property("CHARSET_ENCODING");
        font.charset_ = registry.empty() ? registry : registry + "-" + encoding;
        const std::string lower = Lower(registry);
        font.lastCharacter_ = lower == "iso10646"                     ? 0xFFFF
                              : lower == "iso8859" && encoding == "1" ? 0xFF
                                                                      : 0x7F;
    } else {
        font.lastCharacter_ = 0x7F;
    }

    // The font's ascent and descent from its accelerators; without them, the glyphs' largest.
    Cursor accelerators(tables.contains(kBdfAccelerators) ? tables[kBdfAccelerators]
                                                          : tables[kAccelerators]);
    accelerators.Skip(8);  // flags
    font.ascent_ = accelerators.I32();
    font.descent_ = accelerators.I32();
    if (!accelerators.Ok() ||
        (accelerators.Kind() != 0 && accelerators.Kind() != kAcceleratorsWithInk)) {
        font.ascent_ = font.descent_ = 0;
        for (const Metrics& m : font.metrics_) {
            font.ascent_ = std::max(font.ascent_, m.ascent);
            font.descent_ = std::max(font.descent_, m.descent);
        }
    }
    return font;
}

std::optional<CharacterRaster> PixelFont::Glyph(char32_t character) const {
    const int row = int(character >> 8);
    const int column = int(character & 0xFF);
    if (character > lastCharacter_ || row < firstRow_ || row > lastRow_ || column < firstColumn_ ||
        column > lastColumn_) {
        return std::nullopt;
    }
    const std::size_t code = std::size_t(row - firstRow_) * (lastColumn_ - firstColumn_ + 1) +
                             std::size_t(column - firstColumn_);
    const std::size_t glyph = glyphOfCode_[code];
    if (glyph >= metrics_.size()) {
        return std::nullopt;
    }
    const Metrics& m = metrics_[glyph];
    CharacterRaster raster;
    raster.width = m.right - m.left;
    raster.height = m.ascent + m.descent;
    raster.left = m.left;
    raster.ascent = m.ascent;
    raster.advance = m.advance;
    raster.level.reserve(std::size_t(raster.width) * std::size_t(raster.height));
    const std::size_t rowBytes =
        std::size_t((raster.width + 8 * rowPad_ - 1) / (8 * rowPad_) * rowPad_);
    for (int y = 0; y < raster.height; ++y) {
        for (int x = 0; x < raster.width; ++x) {
            std::size_t at = offsets_[glyph] + std::size_t(y) * rowBytes + std::size_t(x / 8);
            const std::size_t unit = std::size_t(swapUnit_);
            at = at - at % unit + (unit - 1 - at % unit);
            const auto byte = at < bitmaps_.size() ? static_cast<std::uint8_t>(bitmaps_[at]) : 0;
            const int bit = leftBitHigh_ ? 0x80 >> (x % 8) : 1 << (x % 8);
            raster.level.push_back((byte & bit) != 0 ? 0 : 255);
        }
    }
    return raster;
}

}  // namespace lcdprog::picture
