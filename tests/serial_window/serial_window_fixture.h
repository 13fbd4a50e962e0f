#pragma once

// The serial port window on fakes: a virtual clock that each yield advances by 10 ms, and a
// scripted module whose replies arrive from inside the yields, as a real line's bytes would.

#include <QApplication>
#include <QComboBox>
#include <QCursor>
#include <QGroupBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTextEdit>
#include <QtTest/QTest>
#include <functional>
#include <memory>

#include <gtest/gtest.h>

#include "link/mod_RS232.h"
#include "platform/services.h"
#include "serial_window/frm_RS232.h"
#include "state/mod_variabili.h"
#include "support/fakes.h"

namespace lcdprog::test {

using namespace std::string_literals;

class StepPump : public platform::EventPump {
  public:
    explicit StepPump(VirtualClock& clock) : clock_(clock) {}
    void Yield(std::uint32_t) override {
        onYield();
        clock_.now += 10;
    }
    std::function<void()> onYield;

  private:
    VirtualClock& clock_;
};

// Also remembers the pointer shape at every open request.
class WatchedSerial : public FakeSerialControl {
  public:
    bool SetPortOpen(bool open) override {
        const QCursor* c = QApplication::overrideCursor();
        shapes.push_back(c != nullptr ? c->shape() : Qt::ArrowCursor);
        return FakeSerialControl::SetPortOpen(open);
    }
    std::vector<Qt::CursorShape> shapes;
};

class SerialWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        Reset_Program_State();
        serial.SetCommHandler([this] { RS232_Interface_OnComm(serial); });
        // The module: detection, block write and reset answered; badBlock's ack spoiled.
        serial.onOutput = [this](const std::string& p) {
            const int block = p.size() > 5 ? ((p[4] & 0xFF) << 8 | (p[5] & 0xFF)) / 128 : -1;
            if (modulePresent && p[0] == '\x87') {
                pending += std::string("\x87\x04\x01\x02\x03\x04\x6A", 7);
            } else if (modulePresent && p[0] == '\x04') {
                pending += block == badBlock ? "\x04\x00\xFA"s : "\x04\x00\xFB"s;
            } else if (modulePresent && p[0] == '\xFE') {
                pending += "\xFE\x00\x01"s;
            }
        };
        pump.onYield = [this] {
            std::string bytes;
            bytes.swap(pending);
            if (!bytes.empty()) {
                serial.Deliver(bytes);
            }
            if (duringRun) {
                duringRun();
            }
        };
    }

    void TearDown() override {
        window.reset();
        if (frm_RS232* shown = Current_frm_RS232()) {
            shown->close();
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        Reset_Program_State();
    }

    void Ports_Free(int first, int last) {
        for (int n = first; n <= last; ++n) {
            serial.ports[n] = FakeSerialControl::Port::Free;
        }
    }

    frm_RS232& Open_Window() {
        window.reset();  // a window left from before closes its port first
        window = std::make_unique<frm_RS232>(services);
        window->show();
        return *window;
    }

    // Every picture slot points at a blank picture file of its panel's size.
    void Give_Every_Slot_A_Picture() {
        const std::tuple<ImageSlots*, int, int, int> panels[] = {{&Images_64128A, 128, 64, 16},
                                                                 {&Images_64128E, 128, 64, 16},
                                                                 {&Images_64240B, 240, 64, 32},
                                                                 {&Images_128240A, 240, 128, 32}};
        int k = 0;
        for (const auto& [slotArray, width, height, rowBytes] : panels) {
            for (ImageSlot& slot : *slotArray) {
                slot.FileName = "pic" + std::to_string(k++) + ".bmp";
                slot.FullPath = "/pictures/" + slot.FileName;
                slot.Width = width;
                slot.Height = height;
                slot.BitDepth = 1;
                files.Put(slot.FullPath, std::string(62 + std::size_t(height * rowBytes), '\0'));
            }
        }
    }

    template <typename T = QWidget>
    T* Find(const char* name) const {
        T* w = window->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    void Click(const char* button) { QTest::mouseClick(Find<QPushButton>(button), Qt::LeftButton); }
    bool Enabled(const char* name) const { return Find(name)->isEnabled(); }
    std::string Text(const char* edit) const { return Find<QLineEdit>(edit)->text().toStdString(); }
    int Count_Sent(char command) const {
        return static_cast<int>(std::count_if(serial.written.begin(), serial.written.end(),
                                              [&](const auto& p) { return p[0] == command; }));
    }

    WatchedSerial serial;
    FakeMessageBox messages;
    FakeFileService files;
    VirtualClock clock;
    StepPump pump{clock};
    FakeFileDialog dialog;
    FakeProgram program;
    platform::Services services{files, messages, clock, pump, serial, dialog, program};
    bool modulePresent = true;
    int badBlock = -1;
    std::string pending;  // module bytes on their way back
    std::function<void()> duringRun;
    std::unique_ptr<frm_RS232> window;
};

}  // namespace lcdprog::test
