#pragma once

// A main window on fakes: a scripted file dialog, recorded messages, a counting event pump and a
// program end that only counts.

#include <QLabel>
#include <QTableWidget>
#include <array>
#include <memory>
#include <tuple>

#include "compiler/image_decoder.h"
#include "compiler/mod_Compilatore.h"
#include "main_window/frm_Config_LCD.h"
#include "platform/qt/crisp_picture.h"
#include "state/mod_variabili.h"
#include "support/fakes.h"
#include "support/picture_files.h"

namespace lcdprog {
inline bool operator==(const ImageSlot& a, const ImageSlot& b) {
    return std::tie(a.FullPath, a.FileName, a.Width, a.Height) ==
           std::tie(b.FullPath, b.FileName, b.Width, b.Height);
}
}  // namespace lcdprog

namespace lcdprog::test {

struct CountingPump : platform::EventPump {
    void Yield(std::uint32_t) override { ++yields; }
    int yields = 0;
};

inline const std::string kFolder = "/opt/lcdprog";
inline const std::string kWhites[] = {"Sfondo_Bianco_128x64.bmp", "Sfondo_Bianco_240x64.bmp",
                                      "Sfondo_Bianco_240x128.bmp"};

// Three distinct patterns, so a box that shows the wrong file is noticed.
inline std::string White_File(int white) {
    return Make_Picture({white == 0 ? 128 : 240, white == 2 ? 128 : 64, 1, false, "BM",
                         static_cast<std::uint8_t>(0xF0 + white * 7)});
}
inline QImage Decode(const std::string& bytes) {
    return QImage::fromData(QByteArray::fromStdString(bytes)).convertToFormat(QImage::Format_RGB32);
}

// The serial port window as the main window knows it: only whether a run is under way.
struct FakeSerialWindow final : platform::SerialWindowAccess {
    void ShowWindow() override {}
    bool RunInProgress() const override { return running; }
    bool running = false;
};

struct MainWindowHarness {
    explicit MainWindowHarness(platform::FileService& files)
        : services{files, messages, clock, pump, serial, dialog, program} {
        window = std::make_unique<frm_Config_LCD>(services, state, &serialWindow);
    }
    template <typename T>
    T* Find(const QString& name) const {
        return window->findChild<T*>(name);
    }
    QLabel* Box(int panel, int index) const {
        static const char* const types[] = {"64128A", "64128E", "64240B", "128240A"};
        return Find<QLabel>(QStringLiteral("pct_Image_%1_%2").arg(types[panel]).arg(index));
    }
    // What the module will show for slot k (numbered as below), black where a pixel is on, as a
    // box shows it: compiled from the slots as a run compiles them.
    QImage Module_View(int k) const {
        platform::KeptMessages quiet;
        const platform::Result<MemoryImageBytes> image =
            Compile_Image({services.files, quiet}, state);
        if (!image) {
            return {};
        }
        const PanelPicture picture = Decode_Panel_Picture(*image, k / 4, k % 4);
        return platform::Dots_Image(
            picture.width, picture.height, [&](int x, int y) { return picture.Dark(x, y); },
            qRgb(0, 0, 0), qRgb(255, 255, 255));
    }
    // Every slot with the picture its box shows, numbered panel * 4 + index.
    std::array<std::pair<ImageSlot, QImage>, 16> Take() const {
        std::array<std::pair<ImageSlot, QImage>, 16> s;
        for (int k = 0; k < 16; ++k) {
            s[k] = {state.Panel_Slots(k / 4)[k % 4],
                    Box(k / 4, k % 4)->pixmap().toImage().convertToFormat(QImage::Format_RGB32)};
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
    ProgramState state;
    FakeSerialWindow serialWindow;
    std::unique_ptr<frm_Config_LCD> window;
};

}  // namespace lcdprog::test
