#include "support/desk.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTextEdit>
#include <QtTest/QTest>
#include <algorithm>
#include <fstream>

#include <gtest/gtest.h>

#include "main_window/picture_files.h"
#include "state/mod_variabili.h"

namespace lcdprog::test {

namespace {

platform::Services Tapped(const platform::Services& s, const Desk::SerialTap& tap) {
    if (!tap) {
        return s;
    }
    return platform::Services{s.files,       s.messages, s.clock,  s.pump,
                              tap(s.serial), s.dialog,   s.program};
}

}  // namespace

Desk::Desk(std::vector<std::string> ports, const SerialTap& tap)
    : qt(Bin_Folder(), platform::PortTable(ports)),
      services(Tapped(qt.With(messages, dialog, program), tap)),
      ports_(static_cast<int>(ports.size())) {}

Desk::~Desk() {
    if (frm_RS232* serial = Current_frm_RS232()) {
        serial->close();
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    main_.reset();
}

bool Desk::Open() {
    main_ = std::make_unique<frm_Config_LCD>(services, [this] { Show_frm_RS232(services); });
    if (!main_->Form_Load()) {
        ADD_FAILURE() << "the main window did not start (white backgrounds in " << Bin_Folder()
                      << "?)";
        return false;
    }
    main_->show();
    auto* menuItem = main_->findChild<QAction*>(QStringLiteral("smnu_Comunicazione_0"));
    if (menuItem == nullptr || (menuItem->trigger(), Current_frm_RS232() == nullptr)) {
        ADD_FAILURE() << "the serial port window did not open";
        return false;
    }
    auto* combo = Current_frm_RS232()->findChild<QComboBox*>(QStringLiteral("cmb_RS232"));
    EXPECT_TRUE(combo != nullptr && combo->count() == ports_) << "the probe missed a port";
    return combo != nullptr && combo->count() == ports_;
}

bool Desk::Choose_Noise_Pictures(const TempFolder& folder) {
    struct Panel {
        int width;
        int height;
        void (frm_Config_LCD::*mouseDown)(int, Qt::MouseButton);
    };
    const Panel panels[] = {
        {128, 64, &frm_Config_LCD::pct_Image_64128A_MouseDown},
        {128, 64, &frm_Config_LCD::pct_Image_64128E_MouseDown},
        {240, 64, &frm_Config_LCD::pct_Image_64240B_MouseDown},
        {240, 128, &frm_Config_LCD::pct_Image_128240A_MouseDown},
    };
    std::uint32_t state = 1;
    int k = 0;
    for (const Panel& panel : panels) {
        for (int i = 0; i < 4; ++i) {
            std::string bytes = Make_Picture({panel.width, panel.height, 1, false, "BM", 0});
            for (std::size_t b = 62; b < bytes.size(); ++b) {  // after the header: pixels
                state = state * 1664525u + 1013904223u;
                bytes[b] = static_cast<char>(state >> 24);
            }
            const std::string path = folder / ("noise_" + std::to_string(k++) + ".bmp");
            std::ofstream(path, std::ios::binary) << bytes;
            dialog.answer = path;
            const std::size_t shownBefore = messages.shown.size();
            (main_.get()->*panel.mouseDown)(i, Qt::RightButton);
            if (messages.shown.size() != shownBefore) {
                ADD_FAILURE() << "picture refused: " << path;
                return false;
            }
        }
    }
    return true;
}

void Desk::Choose_Port(int com) const {
    auto* combo = Current_frm_RS232()->findChild<QComboBox*>(QStringLiteral("cmb_RS232"));
    ASSERT_TRUE(combo != nullptr && com >= 1 && com <= combo->count()) << "COM " << com;
    combo->setCurrentIndex(com - 1);
    combo->setEditText(combo->itemText(com - 1));
}

void Desk::Click(const char* button) const {
    auto* b = Current_frm_RS232()->findChild<QPushButton*>(QString::fromLatin1(button));
    ASSERT_NE(b, nullptr) << button;
    QTest::mouseClick(b, Qt::LeftButton);
}

bool Desk::Enabled(const char* name) const {
    auto* w = Current_frm_RS232()->findChild<QWidget*>(QString::fromLatin1(name));
    EXPECT_NE(w, nullptr) << name;
    return w != nullptr && w->isEnabled();
}

QProgressBar& Desk::Progress() const {
    return *Current_frm_RS232()->findChild<QProgressBar*>(QStringLiteral("pgb_RS232"));
}

DeskReading Desk::Read() const {
    DeskReading r;
    for (const ShownMessage& m : messages.shown) {
        EXPECT_EQ(m.title, "ERROR RS232") << m.text;
        EXPECT_EQ(m.icon, platform::MessageIcon::Critical) << m.text;
        r.messages.push_back(m.text);
    }
    const frm_RS232& w = *Current_frm_RS232();
    r.sent = w.findChild<QLineEdit*>(QStringLiteral("txt_Send_Packet"))->text().toStdString();
    r.received =
        w.findChild<QLineEdit*>(QStringLiteral("txt_Received_Packet"))->text().toStdString();
    r.trace = w.findChild<QTextEdit*>(QStringLiteral("rtb_RS232_SPY"))->toPlainText().toStdString();
    r.progress = Progress().value();
    return r;
}

}  // namespace lcdprog::test
