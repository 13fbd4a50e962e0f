// The picture editor's drawing tools on the largest panel, 240 x 128, for the editor's budget of
// a repaint within 16 ms per step of a stroke: what the tools take of it. Each figure includes
// copying the picture in, as the editor does to keep the step before for its undo history.
//
//   build/bench/bench_drawing

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "picture/character.h"
#include "picture/drawing.h"
#include "picture/gzip.h"
#include "picture/pixel_font.h"

namespace {

using namespace lcdprog::picture;

constexpr int kWidth = 240;
constexpr int kHeight = 128;

// A hand's zigzag across the picture: 200 points a few pixels apart, as mouse moves arrive.
std::vector<Point> Zigzag() {
    std::vector<Point> points;
    for (int i = 0; i < 200; ++i) {
        points.push_back({i * kWidth / 200, (i % 20 < 10 ? i % 10 : 10 - i % 10) * kHeight / 10});
    }
    return points;
}

void BM_Stroke200Points(benchmark::State& state) {
    const Bits blank = Blank(kWidth, kHeight);
    const std::vector<Point> points = Zigzag();
    for (auto _ : state) {
        benchmark::DoNotOptimize(Stroke(blank, points, Pen::Ink));
    }
}
BENCHMARK(BM_Stroke200Points);

// One step of a stroke: the last segment on the picture so far.
void BM_StrokeStep(benchmark::State& state) {
    const Bits drawn = Stroke(Blank(kWidth, kHeight), Zigzag(), Pen::Ink);
    for (auto _ : state) {
        benchmark::DoNotOptimize(Line(drawn, {100, 40}, {106, 52}, Pen::Ink));
    }
}
BENCHMARK(BM_StrokeStep);

void BM_FillWholePicture(benchmark::State& state) {
    const Bits blank = Blank(kWidth, kHeight);
    for (auto _ : state) {
        benchmark::DoNotOptimize(Flood_Fill(blank, {120, 64}, Pen::Ink));
    }
}
BENCHMARK(BM_FillWholePicture);

// The worst shape for a fill: one-pixel corridors that wind up and down across the picture.
void BM_FillWindingCorridor(benchmark::State& state) {
    Bits maze = Blank(kWidth, kHeight);
    for (int x = 1; x < kWidth; x += 2) {
        const bool fromTop = x % 4 == 1;
        maze = Line(std::move(maze), {x, fromTop ? 0 : 1}, {x, fromTop ? kHeight - 2 : kHeight - 1},
                    Pen::Ink);
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(Flood_Fill(maze, {0, 0}, Pen::Ink));
    }
}
BENCHMARK(BM_FillWindingCorridor);

void BM_Ellipse(benchmark::State& state) {
    const Bits blank = Blank(kWidth, kHeight);
    const Shape shape = state.range(0) ? Shape::Filled : Shape::Outline;
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            Ellipse(blank, {0, 0}, {kWidth - 1, kHeight - 1}, shape, Pen::Ink));
    }
}
BENCHMARK(BM_Ellipse)->Arg(0)->Arg(1);

void BM_RotateSelection(benchmark::State& state) {
    const Bits drawn = Stroke(Blank(kWidth, kHeight), Zigzag(), Pen::Ink);
    for (auto _ : state) {
        benchmark::DoNotOptimize(Transform_Area(drawn, AreaTool::Rotate180, {0, 0}, {239, 127}));
    }
}
BENCHMARK(BM_RotateSelection);

std::string Packed_Font(const char* name) {
    std::ifstream in(std::filesystem::path("/usr/share/fonts/X11/misc") / name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Opening the largest pixel font the glyph dialog and the text tool offer.
void BM_ReadFont10x20(benchmark::State& state) {
    const std::string packed = Packed_Font("10x20.pcf.gz");
    for (auto _ : state) {
        benchmark::DoNotOptimize(PixelFont::Read(Gunzip(packed).value_or("")));
    }
}
BENCHMARK(BM_ReadFont10x20);

// A label in the 10x20 font, laid out and drawn, as the text tool redraws it on every key.
void BM_TextLabel(benchmark::State& state) {
    const std::optional<PixelFont> font =
        PixelFont::Read(Gunzip(Packed_Font("10x20.pcf.gz")).value_or(""));
    if (!font) {
        state.SkipWithError("10x20.pcf.gz not readable");
        return;
    }
    const Bits blank = Blank(kWidth, kHeight);
    for (auto _ : state) {
        std::vector<CharacterRaster> line;
        for (const char c : std::string("ALLARME INCENDIO")) {
            line.push_back(font->Glyph(char32_t(c)).value_or(CharacterRaster{}));
        }
        benchmark::DoNotOptimize(Draw_Character(blank, Join(line), 128, {40, 70}, Pen::Ink));
    }
}
BENCHMARK(BM_TextLabel);

}  // namespace

BENCHMARK_MAIN();
