#include "support/desk.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTextEdit>
#include <QtTest/QTest>
#include <fstream>

#include <gtest/gtest.h>

#include "link/mod_RS232.h"
#include "state/mod_variabili.h"

namespace lcdprog::test {
namespace {

platform::SerialControl& Attached(platform::SerialControl& serial, ProgramState& state) {
    Attach_Receive_Handler(serial, state);
    return serial;
}

}  // namespace

Desk::Desk(std::vector<std::string> ports, const SerialTap& tap)
    : qt(Bin_Folder(), platform::PortTable(ports)),
      services{qt.files,
               messages,
               qt.clock,
               qt.pump,
               tap ? tap(qt.serial, state) : Attached(qt.serial, state),
               dialog,
               program},
      ports_(static_cast<int>(ports.size())) {}

Desk::~Desk() {
    if (frm_RS232* serial = serialWindow_.Window()) {
        serial->close();
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    main_.reset();
}

bool Desk::Open() {
    main_ = std::make_unique<frm_Config_LCD>(services, state, &serialWindow_);
    if (!main_->Form_Load()) {
        ADD_FAILURE() << "the main window did not start (white backgrounds in " << Bin_Folder()
                      << "?)";
        return false;
    }
    main_->show();
    auto* menuItem = main_->findChild<QAction*>(QStringLiteral("smnu_Comunicazione_0"));
    if (menuItem == nullptr || (menuItem->trigger(), serialWindow_.Window() == nullptr)) {
        ADD_FAILURE() << "the serial port window did not open";
        return false;
    }
    auto* combo = serialWindow_.Window()->findChild<QComboBox*>(QStringLiteral("cmb_RS232"));
    EXPECT_TRUE(combo != nullptr && combo->count() == ports_) << "the probe missed a port";
    return combo != nullptr && combo->count() == ports_;
}

bool Desk::Choose_Noise_Pictures(const TempFolder& folder) {
    bool written = true;
    Fill_Slots_With_Noise(state, folder / "", [&written](auto& path, auto& bytes) {
        written = written && std::ofstream(path, std::ios::binary) << bytes;
    });
    return written;
}

void Desk::Click(const char* button) const {
    auto* b = serialWindow_.Window()->findChild<QPushButton*>(QString::fromLatin1(button));
    ASSERT_NE(b, nullptr) << button;
    QTest::mouseClick(b, Qt::LeftButton);
}

bool Desk::Enabled(const char* name) const {
    auto* w = serialWindow_.Window()->findChild<QWidget*>(QString::fromLatin1(name));
    EXPECT_NE(w, nullptr) << name;
    return w != nullptr && w->isEnabled();
}

DeskReading Desk::Read() const {
    DeskReading r;
    for (const ShownMessage& m : messages.shown) {
        EXPECT_EQ(m.title, "ERROR RS232") << m.text;
        EXPECT_EQ(m.icon, platform::MessageIcon::Critical) << m.text;
        r.messages.push_back(m.text);
    }
    const frm_RS232& w = *serialWindow_.Window();
    r.sent = w.findChild<QLineEdit*>(QStringLiteral("txt_Send_Packet"))->text().toStdString();
    r.received =
        w.findChild<QLineEdit*>(QStringLiteral("txt_Received_Packet"))->text().toStdString();
    r.trace = w.findChild<QTextEdit*>(QStringLiteral("rtb_RS232_SPY"))->toPlainText().toStdString();
    r.progress = w.findChild<QProgressBar*>(QStringLiteral("pgb_RS232"))->value();
    return r;
}

}  // namespace lcdprog::test
