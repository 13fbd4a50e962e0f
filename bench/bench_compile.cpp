// One whole Compile_Image of the 16 default white pictures and both glyphs. The three shipped
// background files are read once from the source tree into an in-memory file service, so the
// figure is the compiler's own work and not the disk's.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <string>

#include "compiler/mod_Compilatore.h"
#include "state/mod_variabili.h"
#include "support/fakes.h"

namespace {

using namespace lcdprog;

std::string Read_Asset(const std::string& name) {
    const std::filesystem::path path =
        std::filesystem::path(__FILE__).parent_path().parent_path() / "assets" / name;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::cerr << "cannot read " << path << "\n";
        std::exit(1);
    }
    return {std::istreambuf_iterator<char>(in), {}};
}

void Fill_Default_Slots(ProgramState& program, test::FakeFileService& files) {
    struct Panel {
        ImageSlots* slots;
        const char* file;
        int width;
        int height;
    };
    const Panel panels[] = {{&program.Images_64128A, "Sfondo_Bianco_128x64.bmp", 128, 64},
                            {&program.Images_64128E, "Sfondo_Bianco_128x64.bmp", 128, 64},
                            {&program.Images_64240B, "Sfondo_Bianco_240x64.bmp", 240, 64},
                            {&program.Images_128240A, "Sfondo_Bianco_240x128.bmp", 240, 128}};
    for (const Panel& p : panels) {
        const std::string path = files.programFolder + "\\" + p.file;
        files.Put(path, Read_Asset(p.file));
        for (ImageSlot& slot : *p.slots) {
            slot = {path, p.file, p.height, p.width};
        }
    }
}

void BM_CompileDefaultImage(benchmark::State& state) {
    const auto program = std::make_unique<ProgramState>();
    test::FakeFileService files;
    test::FakeMessageBox messages;
    Fill_Default_Slots(*program, files);
    const CompilerIo io{files, messages};
    for (auto _ : state) {
        const platform::Result<MemoryImageBytes> image = Compile_Image(io, *program);
        if (!image) {
            state.SkipWithError("compile failed");
            break;
        }
        benchmark::DoNotOptimize(image->data());
        // The fake records every path asked for; keep that from growing over the run.
        files.existsAsked.clear();
    }
}
BENCHMARK(BM_CompileDefaultImage)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
