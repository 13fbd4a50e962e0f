#pragma once

// A main window on fakes: an in-memory program folder with the three white backgrounds, a
// scripted file dialog, recorded messages and a program end that only counts.

#include <QImage>
#include <QLabel>
#include <QTableWidget>
#include <memory>

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

// Three distinct patterns, so a box that shows the wrong file is noticed.
inline std::string White_File(const std::string& name) {
    if (name == kWhite128x64) {
        return Make_Picture({128, 64, 1, false, "BM", 0xFF});
    }
    if (name == kWhite240x64) {
        return Make_Picture({240, 64, 1, false, "BM", 0xF0});
    }
    return Make_Picture({240, 128, 1, false, "BM", 0x0F});
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

struct MainWindowHarness {
    explicit MainWindowHarness(platform::FileService& fileService)
        : services{fileService, messages, clock, pump, serial, dialog, program} {
        Reset_Program_State();
        window = std::make_unique<frm_Config_LCD>(services, [this] { ++serialWindowShown; });
    }

    template <typename T>
    T* Find(const QString& name) const {
        return window->findChild<T*>(name);
    }
    QLabel* Box(const QString& name) const { return Find<QLabel>(name); }

    FakeMessageBox messages;
    VirtualClock clock;
    CountingPump pump;
    FakeSerialControl serial;
    FakeFileDialog dialog;
    FakeProgram program;
    platform::Services services;
    int serialWindowShown = 0;
    std::unique_ptr<frm_Config_LCD> window;
};

}  // namespace lcdprog::test
