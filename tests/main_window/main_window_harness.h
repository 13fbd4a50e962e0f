#pragma once

// A main window on fakes: an in-memory program folder with the three white backgrounds, a
// scripted file dialog, recorded messages and a program end that only counts.

#include <QImage>
#include <QLabel>
#include <QTableWidget>
#include <array>
#include <memory>
#include <tuple>

#include "main_window/frm_Config_LCD.h"
#include "main_window/picture_files.h"
#include "state/mod_variabili.h"
#include "support/fakes.h"

namespace lcdprog::test {

class CountingPump : public platform::EventPump {
  public:
    void Yield(std::uint32_t) override { ++yields; }
    int yields = 0;
};

inline const std::string kFolder = "/opt/lcdprog";
inline const std::string kWhite128x64 = "Sfondo_Bianco_128x64.bmp";
inline const std::string kWhite240x64 = "Sfondo_Bianco_240x64.bmp";
inline const std::string kWhite240x128 = "Sfondo_Bianco_240x128.bmp";
inline const char* const kPanelTypes[] = {"64128A", "64128E", "64240B", "128240A"};

// Three distinct patterns, so a box that shows the wrong file is noticed.
inline std::string White_File(const std::string& name) {
    const bool small = name == kWhite128x64;
    const bool tall = name == kWhite240x128;
    return Make_Picture({small ? 128 : 240, tall ? 128 : 64, 1, false, "BM",
                         static_cast<std::uint8_t>(small ? 0xFF : (tall ? 0x0F : 0xF0))});
}

inline QImage Decode(const std::string& bytes) {
    QImage image;
    image.loadFromData(reinterpret_cast<const uchar*>(bytes.data()), static_cast<int>(bytes.size()),
                       "BMP");
    return image.convertToFormat(QImage::Format_RGB32);
}

inline QImage Shown(const QLabel* box) {
    return box->pixmap().toImage().convertToFormat(QImage::Format_RGB32);
}

inline bool Same(const ImageSlot& a, const ImageSlot& b) {
    return std::tie(a.FullPath, a.FileName, a.Width, a.Height, a.BitDepth) ==
           std::tie(b.FullPath, b.FileName, b.Width, b.Height, b.BitDepth);
}

// The 16 slots and boxes, numbered panel * 4 + index in kPanelTypes order.
struct Snapshot {
    std::array<ImageSlot, 16> slot;
    std::array<QImage, 16> box;
};

struct MainWindowHarness {
    explicit MainWindowHarness(platform::FileService& fileService)
        : services{fileService, messages, clock, pump, serial, dialog, program} {
        Reset_Program_State();
        window = std::make_unique<frm_Config_LCD>(services, nullptr);
    }

    template <typename T>
    T* Find(const QString& name) const {
        return window->findChild<T*>(name);
    }
    QLabel* Box(int panel, int index) const {
        return Find<QLabel>(QStringLiteral("pct_Image_%1_%2").arg(kPanelTypes[panel]).arg(index));
    }
    Snapshot Take() const {
        const ImageSlots* all[] = {&Images_64128A, &Images_64128E, &Images_64240B, &Images_128240A};
        Snapshot s;
        for (int k = 0; k < 16; ++k) {
            s.slot[k] = (*all[k / 4])[k % 4];
            s.box[k] = Box(k / 4, k % 4)->pixmap().toImage().convertToFormat(QImage::Format_RGB32);
        }
        return s;
    }

    FakeMessageBox messages;
    VirtualClock clock;
    CountingPump pump;
    FakeSerialControl serial;
    FakeFileDialog dialog;
    FakeProgram program;
    platform::Services services;
    std::unique_ptr<frm_Config_LCD> window;
};

}  // namespace lcdprog::test
