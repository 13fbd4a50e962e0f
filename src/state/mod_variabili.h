#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "state/memory_image.h"
#include "state/mod_Structure_UDT.h"

namespace lcdprog {

constexpr int kSlotsPerPanel = 4;
using ImageSlots = std::array<ImageSlot, kSlotsPerPanel>;

// The program's variables, under the names the module's operators know them by. One object is
// made by whoever runs the program (main(), a command line process, each test case) and handed
// to the windows, the project code and the link; it starts zeroed and nothing here is ever saved.
struct ProgramState {
    ImageSlots Images_64128A{};
    ImageSlots Images_64128E{};
    ImageSlots Images_64240B{};
    ImageSlots Images_128240A{};

    // One glyph column per entry; bit r is pixel row r counted from the top.
    std::array<std::uint8_t, 5> Font_5x8{};
    // Whole numbers 0..65535; kept as 16-bit integers, which hold every value exactly.
    std::array<std::uint16_t, 10> Font_10x16{};

    // The image the programming run sends: the last one compiled for a run (or read from a
    // .bin file). Never resized.
    MemoryImageBytes MemoryImage{};

    // The receive buffer of the serial line: one char per byte, in line order.
    std::string RxBuffer;
    // RxBuffer's length as the receive handler last stored it; stays put once the buffer passes
    // 255.
    std::uint8_t RxLength = 0;
    // Set by Stop; read by the programming run and the write command.
    bool StopRequested = false;

    // The slot array of panel type `panel`, in compile order (64128A, 64128E, 64240B, 128240A).
    ImageSlots& Panel_Slots(int panel);
    const ImageSlots& Panel_Slots(int panel) const;
};

// What a window's caption adds while it holds off a close until the run has ended.
constexpr const char* kWaitForRunText = "Attendere la fine della programmazione";

}  // namespace lcdprog
