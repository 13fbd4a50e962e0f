#pragma once

// The serial port window on the virtual line: the virtual module's engine answers on the virtual
// clock, its replies arriving inside the window's yields as a real line's bytes would.

#include <QApplication>
#include <QComboBox>
#include <QCursor>
#include <QLineEdit>
#include <QPushButton>
#include <QTextEdit>
#include <QtTest/QTest>
#include <algorithm>
#include <array>
#include <memory>

#include <gtest/gtest.h>

#include "platform/services.h"
#include "serial_window/frm_RS232.h"
#include "state/mod_variabili.h"
#include "support/sim_line.h"

namespace lcdprog::test {

class SerialWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        serial.onOpenRequest = [this] {
            const QCursor* c = QApplication::overrideCursor();
            shapes.push_back(c != nullptr ? c->shape() : Qt::ArrowCursor);
        };
    }

    void TearDown() override {
        window.reset();
        if (frm_RS232* shown = holder.Window()) {
            shown->close();
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    frm_RS232& Open_Window() {
        window.reset();  // a window left from before closes its port first
        window = std::make_unique<frm_RS232>(services, state);
        window->show();
        return *window;
    }

    template <typename T = QWidget>
    T* Find(const char* name) const {
        const QWidget* shown = window ? window.get() : holder.Window();  // or the holder's
        T* w = shown->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    void Click(const char* button) { QTest::mouseClick(Find<QPushButton>(button), Qt::LeftButton); }
    bool Enabled(const char* name) const { return Find(name)->isEnabled(); }
    std::string Text(const char* edit) const { return Find<QLineEdit>(edit)->text().toStdString(); }
    // ON, OFF, fra_Comandi, Write, Exit, Stop: the commands whose state the window changes.
    using States = std::array<bool, 6>;
    static constexpr States kPortClosed{true, false, false, false, true, true};
    static constexpr States kPortOpen{false, true, true, true, true, true};
    static constexpr States kRunning{false, false, true, true, false, true};
    static constexpr States kNoPort{false, false, false, false, true, true};
    States Now() const {
        return {Enabled("cmd_ON"),          Enabled("cmd_OFF"),  Enabled("fra_Comandi"),
                Enabled("cmd_Write_RS232"), Enabled("cmd_Exit"), Enabled("cmd_Stop_RS232")};
    }
    int Count_Sent(char command) const {
        return static_cast<int>(std::count_if(serial.written.begin(), serial.written.end(),
                                              [&](const auto& p) { return p[0] == command; }));
    }

    SimLine line;
    ProgramState& state = line.state;
    FakeSerialControl& serial = line.serial;
    FakeMessageBox& messages = line.messages;
    FakeFileService files;
    FakeFileDialog dialog;
    FakeProgram program;
    platform::Services services{files, messages, line.clock, line, serial, dialog, program};
    std::vector<Qt::CursorShape> shapes;  // the pointer at every open request
    SerialWindowHolder holder{services, state};
    std::unique_ptr<frm_RS232> window;
};

}  // namespace lcdprog::test
