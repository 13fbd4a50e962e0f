#pragma once

// The serial port window on fakes: a fake serial control with a port table, fake files and
// messages, a virtual clock that a pump advances on every yield, and a small scripted module
// that answers from inside the yields, as bytes from a real line would arrive.

#include <QApplication>
#include <QComboBox>
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

// Each yield lets the scripted module answer, then lets 10 ms pass on the virtual clock.
class StepPump : public platform::EventPump {
  public:
    explicit StepPump(VirtualClock& clock) : clock_(clock) {}
    void Yield(std::uint32_t) override {
        ++yields;
        if (onYield) {
            onYield();
        }
        clock_.now += 10;
    }
    std::function<void()> onYield;
    int yields = 0;

  private:
    VirtualClock& clock_;
};

// The module end of the line: answers detection, block writes and reset.
struct ScriptedModule {
    bool present = true;
    int badBlock = -1;  // this block's acknowledgement always carries a wrong checksum
    std::string pending;

    static std::string With_Checksum(std::string bytes) {
        unsigned sum = 0;
        for (const char c : bytes) {
            sum += static_cast<unsigned char>(c);
        }
        bytes.push_back(static_cast<char>(~sum & 0xFF));
        return bytes;
    }

    void Answer(const std::string& packet) {
        if (!present || packet.empty()) {
            return;
        }
        switch (static_cast<unsigned char>(packet[0])) {
            case 0x87:
                pending += With_Checksum(std::string("\x87\x04\x01\x02\x03\x04", 6));
                break;
            case 0x04: {
                const int block = packet.size() >= 6
                                      ? ((static_cast<unsigned char>(packet[4]) << 8) |
                                         static_cast<unsigned char>(packet[5])) /
                                            128
                                      : -1;
                std::string ack = With_Checksum(std::string("\x04\x00", 2));
                if (block == badBlock) {
                    ack.back() = static_cast<char>(ack.back() ^ 1);
                }
                pending += ack;
                break;
            }
            case 0xFE:
                pending += With_Checksum(std::string("\xFE\x00", 2));
                break;
            default:
                break;
        }
    }
};

class SerialWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        Reset_Program_State();
        serial.SetCommHandler([this] { RS232_Interface_OnComm(serial); });
        serial.onOutput = [this](const std::string& packet) { module.Answer(packet); };
        pump.onYield = [this] {
            if (!module.pending.empty()) {
                std::string bytes;
                bytes.swap(module.pending);
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
        window = std::make_unique<frm_RS232>(services);
        window->show();
        return *window;
    }

    // Every picture slot points at a blank picture file of the panel's size.
    void Give_Every_Slot_A_Picture() {
        struct Panel {
            ImageSlots* slotArray;
            int width;
            int height;
            int rowBytes;
        };
        const Panel panels[] = {{&Images_64128A, 128, 64, 16},
                                {&Images_64128E, 128, 64, 16},
                                {&Images_64240B, 240, 64, 32},
                                {&Images_128240A, 240, 128, 32}};
        int k = 0;
        for (const Panel& p : panels) {
            for (ImageSlot& slot : *p.slotArray) {
                slot.FileName = "pic" + std::to_string(k++) + ".bmp";
                slot.FullPath = "/pictures/" + slot.FileName;
                slot.Width = p.width;
                slot.Height = p.height;
                slot.BitDepth = 1;
                files.Put(slot.FullPath,
                          std::string(62 + static_cast<std::size_t>(p.height * p.rowBytes), '\0'));
            }
        }
    }

    template <typename T>
    T* Find(const char* name) const {
        T* w = window->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }

    void Click(const char* button) { QTest::mouseClick(Find<QPushButton>(button), Qt::LeftButton); }
    bool Enabled(const char* name) const { return Find<QWidget>(name)->isEnabled(); }
    std::string Text(const char* lineEdit) const {
        return Find<QLineEdit>(lineEdit)->text().toStdString();
    }

    int Count_Sent(unsigned char command) const {
        int n = 0;
        for (const auto& p : serial.written) {
            n += !p.empty() && static_cast<unsigned char>(p[0]) == command;
        }
        return n;
    }

    FakeSerialControl serial;
    FakeMessageBox messages;
    FakeFileService files;
    VirtualClock clock;
    StepPump pump{clock};
    FakeFileDialog dialog;
    FakeProgram program;
    platform::Services services{files, messages, clock, pump, serial, dialog, program};
    ScriptedModule module;
    std::function<void()> duringRun;
    std::unique_ptr<frm_RS232> window;
};

}  // namespace lcdprog::test
