#include "state/mod_variabili.h"

namespace lcdprog {

ImageSlots Images_64128A{};
ImageSlots Images_64128E{};
ImageSlots Images_64240B{};
ImageSlots Images_128240A{};
std::array<std::uint8_t, 5> Font_5x8{};
std::array<std::uint16_t, 10> Font_10x16{};
bool SaveDialogMode = false;
std::array<std::uint8_t, kMemoryImageSize> MemoryImage{};
std::string RxBuffer;
std::uint8_t RxLength = 0;
bool StopRequested = false;
bool RunInProgress = false;

void Reset_Program_State() {
    Images_64128A = {};
    Images_64128E = {};
    Images_64240B = {};
    Images_128240A = {};
    Font_5x8 = {};
    Font_10x16 = {};
    SaveDialogMode = false;
    MemoryImage.fill(0);
    RxBuffer.clear();
    RxLength = 0;
    StopRequested = false;
    RunInProgress = false;
}

}  // namespace lcdprog
