#include <cstdlib>

#include <gtest/gtest.h>

#include "platform/qt/port_table.h"

namespace lcdprog::platform {
namespace {

using Devices = std::vector<std::string>;

TEST(PortTable, ListFromTheEnvironmentFormat) {
    struct Case {
        const char* list;
        Devices expected;
    };
    const Case cases[] = {
        {"/dev/pts/3", {"/dev/pts/3"}},
        {"/dev/pts/3:/tmp/ttyLCD", {"/dev/pts/3", "/tmp/ttyLCD"}},
        {":/dev/pts/3::/dev/ttyUSB0:", {"/dev/pts/3", "/dev/ttyUSB0"}},
        {"", {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PortTable::FromList(c.list).Devices(), c.expected) << c.list;
    }
}

TEST(PortTable, UsbAdaptersFirstThenTheOthersInNumericOrder) {
    const Devices found = {"/dev/ttyS10",   "/dev/ttyS2",   "/dev/ttyACM1",
                           "/dev/ttyUSB10", "/dev/ttyS0",   "/dev/ttyACM0",
                           "/dev/ttyUSB2",  "/dev/ttyAMA0", "/dev/ttyUSB2"};
    const Devices expected = {"/dev/ttyUSB2", "/dev/ttyUSB10", "/dev/ttyACM0", "/dev/ttyACM1",
                              "/dev/ttyAMA0", "/dev/ttyS0",    "/dev/ttyS2",   "/dev/ttyS10"};
    EXPECT_EQ(PortTable::FromDevices(found).Devices(), expected);
}

TEST(PortTable, ComNIsEntryNAndOutsideTheTableIsEmpty) {
    const PortTable table({"/dev/a", "/dev/b"});
    EXPECT_EQ(table.DevicePath(1), "/dev/a");
    EXPECT_EQ(table.DevicePath(2), "/dev/b");
    EXPECT_EQ(table.DevicePath(0), "");
    EXPECT_EQ(table.DevicePath(3), "");
    EXPECT_EQ(table.DevicePath(-1), "");
}

TEST(PortTable, TheEnvironmentVariableOverridesTheSystem) {
    setenv("LCDPROG_PORTS", "/tmp/x1:/tmp/x2", 1);
    const PortTable table = PortTable::FromEnvironment();
    unsetenv("LCDPROG_PORTS");
    EXPECT_EQ(table.Devices(), (Devices{"/tmp/x1", "/tmp/x2"}));
}

}  // namespace
}  // namespace lcdprog::platform
