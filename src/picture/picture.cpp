#include "picture/picture.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace lcdprog::picture {
namespace {

constexpr std::uint32_t kWhiteSum = 255000;  // 299 x 255 + 587 x 255 + 114 x 255
constexpr int kWeightBits = 12;
constexpr std::uint32_t kWeightOne = 1u << kWeightBits;

// The source pixels one output pixel averages, with integer weights that add up to kWeightOne
// exactly, so that a uniform area keeps its level exactly whatever the scale.
struct Tap {
    int first = 0;
    std::vector<std::uint32_t> weight;
};

// Output pixel i of `count` covers [from + i x step, from + (i + 1) x step) of a source `length`
// pixels long. Its footprint is that span, or one source pixel wide when enlarging: a box one
// pixel wide, centred between two pixel centres, is linear interpolation, so one rule averages
// areas when reducing and interpolates when enlarging.
std::vector<Tap> Taps(int length, double from, double to, int count) {
    std::vector<Tap> taps(static_cast<std::size_t>(count));
    const double step = (to - from) / count;
    const double width = std::max(step, 1.0);
    for (int i = 0; i < count; ++i) {
        const double centre = from + (i + 0.5) * step;
        const double lo = std::clamp(centre - width / 2, 0.0, static_cast<double>(length));
        const double hi = std::clamp(centre + width / 2, 0.0, static_cast<double>(length));
        int first = std::clamp(static_cast<int>(std::floor(lo)), 0, length - 1);
        int last = std::clamp(static_cast<int>(std::ceil(hi)) - 1, first, length - 1);
        std::vector<double> overlap;
        double total = 0;
        for (int k = first; k <= last; ++k) {
            const double o = std::max(0.0, std::min(hi, k + 1.0) - std::max(lo, double(k)));
            overlap.push_back(o);
            total += o;
        }
        Tap& tap = taps[static_cast<std::size_t>(i)];
        if (total <= 0) {
            // A footprint that lies on a pixel edge: the pixel it touches.
            tap.first = first;
            tap.weight = {kWeightOne};
            continue;
        }
        tap.first = first;
        std::uint32_t given = 0;
        std::size_t largest = 0;
        for (std::size_t k = 0; k < overlap.size(); ++k) {
            const auto w = static_cast<std::uint32_t>(std::floor(overlap[k] / total * kWeightOne));
            tap.weight.push_back(w);
            given += w;
            if (overlap[k] > overlap[largest]) {
                largest = k;
            }
        }
        tap.weight[largest] += kWeightOne - given;
    }
    return taps;
}

// Source rectangle [x0, x1) x [y0, y1) scaled into the target rectangle at (dx, dy), dw x dh.
struct Placement {
    double x0, y0, x1, y1;
    int dx, dy, dw, dh;
};

Placement Place_Rect(int sw, int sh, int tw, int th, Scaling scaling) {
    switch (scaling) {
        case Scaling::Stretch:
            return {0, 0, double(sw), double(sh), 0, 0, tw, th};
        case Scaling::Fit: {
            const double s = std::min(double(tw) / sw, double(th) / sh);
            const int dw = std::clamp(static_cast<int>(std::lround(sw * s)), 1, tw);
            const int dh = std::clamp(static_cast<int>(std::lround(sh * s)), 1, th);
            return {0, 0, double(sw), double(sh), (tw - dw) / 2, (th - dh) / 2, dw, dh};
        }
        case Scaling::Fill: {
            const double s = std::max(double(tw) / sw, double(th) / sh);
            const double vw = std::min(double(sw), tw / s);
            const double vh = std::min(double(sh), th / s);
            const double x0 = (sw - vw) / 2;
            const double y0 = (sh - vh) / 2;
            return {x0, y0, x0 + vw, y0 + vh, 0, 0, tw, th};
        }
        case Scaling::Original:
            break;
    }
    const int dw = std::min(sw, tw);
    const int dh = std::min(sh, th);
    const int x0 = (sw - dw) / 2;
    const int y0 = (sh - dh) / 2;
    return {double(x0), double(y0), double(x0 + dw), double(y0 + dh), (tw - dw) / 2, (th - dh) / 2,
            dw,         dh};
}

// Brightness B and contrast C, both -100..100 and neutral at 0, on a level L (0..255):
//   L' = (L - 128) x (100 + C) / 100 + 128 + 255 x B / 100, clamped to 0..255,
// each division an integer one rounded toward zero. Contrast stretches the levels about the
// middle grey (C = 100 doubles their distance from it, C = -100 makes every level 128);
// brightness moves every level by up to a whole white.
int Adjust(int level, int brightness, int contrast) {
    const int value = (level - 128) * (100 + contrast) / 100 + 128 + 255 * brightness / 100;
    return std::clamp(value, 0, 255);
}

// The standard 8 x 8 ordered-dither matrix.
constexpr int kBayer[8][8] = {
    {0, 32, 8, 40, 2, 34, 10, 42},  {48, 16, 56, 24, 50, 18, 58, 26},
    {12, 44, 4, 36, 14, 46, 6, 38}, {60, 28, 52, 20, 62, 30, 54, 22},
    {3, 35, 11, 43, 1, 33, 9, 41},  {51, 19, 59, 27, 49, 17, 57, 25},
    {15, 47, 7, 39, 13, 45, 5, 37}, {63, 31, 55, 23, 61, 29, 53, 21},
};

// An error-spreading dither: each level, with the error it received, is cut at the threshold;
// the difference between it and the black (0) or white (255) it became goes to the neighbours
// not yet visited. Values are kept in sixteenths of a level so that the shares lose little.
struct Share {
    int dx, dy, part;
};

void Spread(const Levels& levels, int threshold, const std::vector<Share>& shares, int parts,
            bool serpentine, std::vector<std::uint8_t>& out) {
    const int w = levels.width;
    const int h = levels.height;
    std::vector<std::int32_t> value(levels.level.size());
    for (std::size_t i = 0; i < value.size(); ++i) {
        value[i] = levels.level[i] * 16;
    }
    for (int y = 0; y < h; ++y) {
        const bool back = serpentine && y % 2 == 1;
        for (int n = 0; n < w; ++n) {
            const int x = back ? w - 1 - n : n;
            const std::size_t at = static_cast<std::size_t>(y * w + x);
            const bool black = value[at] < threshold * 16;
            out[at] = black ? 0 : 1;
            const std::int32_t error = value[at] - (black ? 0 : 255 * 16);
            for (const Share& s : shares) {
                const int nx = x + (back ? -s.dx : s.dx);
                const int ny = y + s.dy;
                if (nx >= 0 && nx < w && ny < h) {
                    value[static_cast<std::size_t>(ny * w + nx)] += error * s.part / parts;
                }
            }
        }
    }
}

std::uint32_t U32(std::string_view b, std::size_t at) {
    if (at + 4 > b.size()) {
        return 0;
    }
    return static_cast<std::uint32_t>(static_cast<std::uint8_t>(b[at])) |
           static_cast<std::uint32_t>(static_cast<std::uint8_t>(b[at + 1])) << 8 |
           static_cast<std::uint32_t>(static_cast<std::uint8_t>(b[at + 2])) << 16 |
           static_cast<std::uint32_t>(static_cast<std::uint8_t>(b[at + 3])) << 24;
}

std::uint32_t U16(std::string_view b, std::size_t at) {
    if (at + 2 > b.size()) {
        return 0;
    }
    return static_cast<std::uint32_t>(static_cast<std::uint8_t>(b[at])) |
           static_cast<std::uint32_t>(static_cast<std::uint8_t>(b[at + 1])) << 8;
}

void Put(std::string& b, std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        b.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    }
}

int Row_Size(int width) {
    return (width + 31) / 32 * 4;
}

}  // namespace

std::string Check_Settings(const Settings& s) {
    if (s.rotation != 0 && s.rotation != 90 && s.rotation != 180 && s.rotation != 270) {
        return "rotazione non valida: " + std::to_string(s.rotation) + " (ammesse 0, 90, 180, 270)";
    }
    if (s.threshold < 0 || s.threshold > 255) {
        return "soglia non valida: " + std::to_string(s.threshold) + " (da 0 a 255)";
    }
    if (s.brightness < -kBrightnessLimit || s.brightness > kBrightnessLimit) {
        return "luminosità non valida: " + std::to_string(s.brightness) + " (da -100 a 100)";
    }
    if (s.contrast < -kContrastLimit || s.contrast > kContrastLimit) {
        return "contrasto non valido: " + std::to_string(s.contrast) + " (da -100 a 100)";
    }
    return {};
}

Prepared Prepare(const Rgba& source) {
    Prepared prepared{source.width, source.height, {}};
    const std::size_t count = static_cast<std::size_t>(source.width) * source.height;
    prepared.sum.resize(count);
    const std::uint8_t* p = source.pixels.data();
    for (std::size_t i = 0; i < count; ++i, p += 4) {
        // Over white: c' = (c a + 255 (255 - a)) / 255, rounded.
        const int a = p[3];
        const auto over = [a](int c) {
            return a == 255 ? c : (c * a + 255 * (255 - a) + 127) / 255;
        };
        prepared.sum[i] =
            static_cast<std::uint32_t>(299 * over(p[0]) + 587 * over(p[1]) + 114 * over(p[2]));
    }
    return prepared;
}

Levels Place(const Prepared& source, int panelWidth, int panelHeight, const Settings& settings) {
    const bool quarter = settings.rotation == 90 || settings.rotation == 270;
    // The panel as the source sees it before rotation.
    const int tw = quarter ? panelHeight : panelWidth;
    const int th = quarter ? panelWidth : panelHeight;
    std::vector<std::uint32_t> target(static_cast<std::size_t>(tw) * th, kWhiteSum);

    const Placement r = Place_Rect(source.width, source.height, tw, th, settings.scaling);
    const std::vector<Tap> xs = Taps(source.width, r.x0, r.x1, r.dw);
    const std::vector<Tap> ys = Taps(source.height, r.y0, r.y1, r.dh);
    // Across first, only on the source rows some output row needs, then down. A level sum is at
    // most 255000 and the weights add up to 4096, so every weighted sum fits in 32 bits: the
    // loops stay on 32-bit integers, which the compiler can run several at a time.
    const int rowFirst = ys.front().first;
    const int rowLast = ys.back().first + static_cast<int>(ys.back().weight.size()) - 1;
    std::vector<std::uint32_t> across(static_cast<std::size_t>(rowLast - rowFirst + 1) * r.dw);
    for (int y = rowFirst; y <= rowLast; ++y) {
        const std::uint32_t* row = source.sum.data() + static_cast<std::size_t>(y) * source.width;
        std::uint32_t* out = across.data() + static_cast<std::size_t>(y - rowFirst) * r.dw;
        for (int i = 0; i < r.dw; ++i) {
            const Tap& t = xs[static_cast<std::size_t>(i)];
            const std::uint32_t* from = row + t.first;
            const std::uint32_t* weight = t.weight.data();
            std::uint32_t sum = kWeightOne / 2;
            for (std::size_t k = 0, n = t.weight.size(); k < n; ++k) {
                sum += from[k] * weight[k];
            }
            out[i] = sum >> kWeightBits;
        }
    }
    std::vector<std::uint32_t> down(static_cast<std::size_t>(r.dw));
    for (int j = 0; j < r.dh; ++j) {
        const Tap& t = ys[static_cast<std::size_t>(j)];
        std::fill(down.begin(), down.end(), kWeightOne / 2);
        for (std::size_t k = 0; k < t.weight.size(); ++k) {
            const std::uint32_t* from =
                across.data() + static_cast<std::size_t>(t.first - rowFirst + int(k)) * r.dw;
            const std::uint32_t w = t.weight[k];
            for (int i = 0; i < r.dw; ++i) {
                down[static_cast<std::size_t>(i)] += from[i] * w;
            }
        }
        std::uint32_t* out = target.data() + static_cast<std::size_t>(r.dy + j) * tw + r.dx;
        for (int i = 0; i < r.dw; ++i) {
            out[i] = down[static_cast<std::size_t>(i)] >> kWeightBits;
        }
    }

    Levels levels{panelWidth, panelHeight, {}};
    levels.level.resize(static_cast<std::size_t>(panelWidth) * panelHeight);
    for (int y = 0; y < panelHeight; ++y) {
        for (int x = 0; x < panelWidth; ++x) {
            // Rotation clockwise, then the mirror left to right on the panel.
            const int px = settings.mirror ? panelWidth - 1 - x : x;
            int sx = px;
            int sy = y;
            switch (settings.rotation) {
                case 90:
                    sx = y;
                    sy = th - 1 - px;
                    break;
                case 180:
                    sx = tw - 1 - px;
                    sy = th - 1 - y;
                    break;
                case 270:
                    sx = tw - 1 - y;
                    sy = px;
                    break;
                default:
                    break;
            }
            const int level =
                static_cast<int>(target[static_cast<std::size_t>(sy) * tw + sx] / 1000);
            levels.level[static_cast<std::size_t>(y) * panelWidth + x] =
                static_cast<std::uint8_t>(Adjust(level, settings.brightness, settings.contrast));
        }
    }
    return levels;
}

Bits Quantise(const Levels& levels, const Settings& settings) {
    Bits bits{levels.width, levels.height, std::vector<std::uint8_t>(levels.level.size())};
    const int t = settings.threshold;
    switch (settings.conversion) {
        case Conversion::Threshold:
            for (std::size_t i = 0; i < levels.level.size(); ++i) {
                bits.index[i] = levels.level[i] < t ? 0 : 1;
            }
            break;
        case Conversion::FloydSteinberg:
            Spread(levels, t, {{1, 0, 7}, {-1, 1, 3}, {0, 1, 5}, {1, 1, 1}}, 16, true, bits.index);
            break;
        case Conversion::Atkinson:
            // Six eighths of the error go on; the other quarter is dropped, which keeps the
            // picture's contrast.
            Spread(levels, t, {{1, 0, 1}, {2, 0, 1}, {-1, 1, 1}, {0, 1, 1}, {1, 1, 1}, {0, 2, 1}},
                   8, false, bits.index);
            break;
        case Conversion::Bayer:
            // Black when L < t + 255 (M + 1/2) / 64 - 255 / 2: the matrix moves the threshold
            // evenly over a whole level range, centred on t. In 128ths to stay whole.
            for (int y = 0; y < levels.height; ++y) {
                for (int x = 0; x < levels.width; ++x) {
                    const std::size_t at = static_cast<std::size_t>(y * levels.width + x);
                    const int m = kBayer[y % 8][x % 8];
                    const bool black =
                        128 * levels.level[at] < 128 * t + 255 * (2 * m + 1) - 64 * 255;
                    bits.index[at] = black ? 0 : 1;
                }
            }
            break;
    }
    if (settings.invert) {
        for (std::uint8_t& b : bits.index) {
            b ^= 1;
        }
    }
    return bits;
}

Bits Convert(const Rgba& source, int panelWidth, int panelHeight, const Settings& settings) {
    return Quantise(Place(Prepare(source), panelWidth, panelHeight, settings), settings);
}

std::string Bmp_File(const Bits& bits) {
    const int stride = Row_Size(bits.width);
    const auto data = static_cast<std::uint32_t>(stride * bits.height);
    std::string file;
    file.reserve(62 + data);
    file += "BM";
    Put(file, 62 + data, 4);
    Put(file, 0, 4);
    Put(file, 62, 4);
    Put(file, 40, 4);
    Put(file, static_cast<std::uint32_t>(bits.width), 4);
    Put(file, static_cast<std::uint32_t>(bits.height), 4);
    Put(file, 1, 2);
    Put(file, 1, 2);
    Put(file, 0, 4);
    Put(file, data, 4);
    Put(file, 2835, 4);  // 72 dots per inch
    Put(file, 2835, 4);
    Put(file, 2, 4);
    Put(file, 2, 4);
    Put(file, 0x00000000, 4);  // index 0: black
    Put(file, 0x00FFFFFF, 4);  // index 1: white
    for (int y = bits.height - 1; y >= 0; --y) {
        std::string row(static_cast<std::size_t>(stride), '\0');
        for (int x = 0; x < bits.width; ++x) {
            if (!bits.Black(x, y)) {
                row[static_cast<std::size_t>(x / 8)] |= static_cast<char>(0x80 >> (x % 8));
            }
        }
        file += row;
    }
    return file;
}

bool Has_Reversed_Palette(std::string_view file) {
    const std::uint32_t infoSize = U32(file, 14);
    if (U16(file, 28) != 1 || infoSize < 40 || infoSize > 124) {
        return false;
    }
    const std::size_t at = 14 + infoSize;
    if (at + 8 > file.size()) {
        return false;
    }
    const auto sum = [&](std::size_t e) {
        const auto c = [&](std::size_t k) { return static_cast<std::uint8_t>(file[e + k]); };
        return 299 * c(2) + 587 * c(1) + 114 * c(0);  // stored blue, green, red
    };
    return sum(at) > sum(at + 4);
}

std::optional<std::string> Fix_Reversed_Palette(std::string_view file, int width, int height) {
    const int stride = Row_Size(width);
    const std::size_t data = static_cast<std::size_t>(stride) * height;
    if (width <= 0 || height <= 0 || U32(file, 18) != std::uint32_t(width) ||
        U32(file, 22) != std::uint32_t(height) || U16(file, 26) != 1 || U16(file, 28) != 1 ||
        file.size() < 62 + data) {
        return std::nullopt;
    }
    // Where the compiler takes the rows: the last ones of the file, bottom-up.
    const std::string_view rows = file.substr(file.size() - data);
    Bits bits{width, height, std::vector<std::uint8_t>(static_cast<std::size_t>(width) * height)};
    for (int y = 0; y < height; ++y) {
        const std::string_view row =
            rows.substr(static_cast<std::size_t>((height - 1 - y) * stride));
        for (int x = 0; x < width; ++x) {
            const bool one = (static_cast<std::uint8_t>(row[static_cast<std::size_t>(x / 8)]) &
                              (0x80 >> (x % 8))) != 0;
            bits.index[static_cast<std::size_t>(y * width + x)] = one ? 0 : 1;
        }
    }
    return Bmp_File(bits);
}

std::string Reversed_Palette_Text(const std::string& fileName) {
    return "L'immagine " + fileName +
           " ha la tavolozza invertita (il colore 0 è più chiaro del colore 1): il modulo la "
           "mostrerà in negativo.";
}

std::string Output_Name(const std::string& sourcePath, int width, int height) {
    std::string base = sourcePath.substr(sourcePath.find_last_of("/\\") + 1);
    const std::size_t dot = base.rfind('.');
    if (dot != std::string::npos && dot > 0) {
        base.erase(dot);
    }
    if (base.empty()) {
        base = "immagine";
    }
    return base + "_" + std::to_string(width) + "x" + std::to_string(height) + ".bmp";
}

std::string Fixed_Name(const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\");
    const std::size_t dot = path.rfind('.');
    const bool ext = dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
    return (ext ? path.substr(0, dot) : path) + "_lcd.bmp";
}

}  // namespace lcdprog::picture
