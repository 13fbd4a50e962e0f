#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "state/mod_Structure_UDT.h"

namespace lcdprog {

// Program-wide variables. Each has exactly one definition (mod_variabili.cpp), starts zeroed and
// lives until the program ends; nothing here is ever saved.

constexpr int kSlotsPerPanel = 4;
using ImageSlots = std::array<ImageSlot, kSlotsPerPanel>;

extern ImageSlots Images_64128A;
extern ImageSlots Images_64128E;
extern ImageSlots Images_64240B;
extern ImageSlots Images_128240A;

// One glyph column per entry; bit r is pixel row r counted from the top.
extern std::array<std::uint8_t, 5> Font_5x8;
// Whole numbers 0..65535; kept as 16-bit integers, which hold every value exactly.
extern std::array<std::uint16_t, 10> Font_10x16;

// The file dialog shows its save form when true. Only ever set to false.
extern bool SaveDialogMode;

// The EEPROM content; index is the EEPROM address. Never resized or cleared.
constexpr std::size_t kMemoryImageSize = 65536;
extern std::array<std::uint8_t, kMemoryImageSize> MemoryImage;

// The receive buffer of the serial line: one char per byte, in line order.
extern std::string RxBuffer;
// RxBuffer's length as the receive handler last stored it; stays put once the buffer passes 255.
extern std::uint8_t RxLength;
// Set by Stop; read by the programming run and the write command.
extern bool StopRequested;

// True from the first to the last step of a programming run. Not part of the protocol: the
// windows read it to hold off commands that would close the port under a running exchange.
extern bool RunInProgress;
// What a window's caption adds while it holds off a close until the run has ended.
constexpr const char* kWaitForRunText = "Attendere la fine della programmazione";

// Puts every variable above back to its start-of-program value (tests call it between cases).
void Reset_Program_State();

}  // namespace lcdprog
