// lcdprog-sim on a pseudo-terminal with the program's own serial control, pump and clock, in real
// time: the module drops the line (on Linux a serial port can then report errors in a tight
// loop), comes back, and a whole run is stored byte for byte; then the module saves its pictures
// and ends by itself, taking its link with it. Each fault's run is in tests/link.

#include <QImage>
#include <QProgressBar>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "compiler/image_decoder.h"
#include "state/mod_variabili.h"
#include "support/desk.h"

namespace lcdprog::test {
namespace {

TEST(OnTheLine, ModuleHangsUpWhileDetectedThenComesBackAndIsProgrammedByteForByte) {
    TempFolder folder;
    // The first two detection replies are spoiled; the module hangs up on the third request and
    // is back behind the same link half a second later.
    SimProcess sim(folder, {"--page-ms", "0", "--fault", "badsum:detect=1", "--fault",
                            "badsum:detect=2", "--fault", "hangup:detect=3", "--reopen-after",
                            "500", "--exit-after-reset", "--png", folder / "png"});
    ASSERT_TRUE(sim.Next_Device()) << sim.Log();
    Desk desk({sim.Link()});
    ASSERT_TRUE(desk.Open());
    ASSERT_TRUE(desk.Choose_Noise_Pictures(folder));
    desk.Click("cmd_ON");
    desk.Click("cmd_Write_RS232");

    DeskReading seen = desk.Read();
    EXPECT_EQ(seen.messages,
              std::vector<std::string>{"Comunicazione seriale interrotta.\r\nImpossibile trovare "
                                       "il modulo, verificare la connessione!"});
    EXPECT_EQ(seen.sent, "3");
    EXPECT_EQ(seen.received, "3");
    EXPECT_FALSE(desk.qt.serial.PortOpen()) << "the control closes a port whose line dropped";

    desk.Click("cmd_OFF");
    EXPECT_TRUE(desk.Enabled("cmd_ON"));
    EXPECT_FALSE(desk.Enabled("cmd_Write_RS232"));
    EXPECT_EQ(desk.Read().trace, "");

    ASSERT_TRUE(sim.Next_Device()) << sim.Log();  // back
    desk.messages.shown.clear();
    desk.Click("cmd_ON");
    ASSERT_TRUE(desk.qt.serial.PortOpen()) << desk.qt.serial.LastError();
    desk.Click("cmd_Write_RS232");
    seen = desk.Read();
    EXPECT_TRUE(seen.messages.empty());
    EXPECT_EQ(seen.sent, "514");
    EXPECT_EQ(seen.received, "514");
    EXPECT_EQ(seen.trace, "0xFE; 0x00; 0x01\n");
    EXPECT_EQ(seen.progress, 511);

    namespace fs = std::filesystem;
    EXPECT_EQ(sim.Wait_Exit(5000), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(sim.Link()))) << "link left behind";
    // Its pictures, read back, are the decoder's pictures of the image it was sent.
    const std::vector<NamedPicture> pictures = Named_Pictures(desk.state.MemoryImage, 2);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder / "png"), fs::directory_iterator()),
              std::ssize(pictures));
    for (const NamedPicture& named : pictures) {
        SCOPED_TRACE(named.name);
        const QImage png = QImage(QString::fromStdString(folder / ("png/" + named.name + ".png")))
                               .convertToFormat(QImage::Format_Grayscale8);
        ASSERT_EQ(png.size(), QSize(named.picture.width, named.picture.height) * named.scale);
        int wrong = 0;
        for (int y = 0; y < png.height(); ++y) {
            for (int x = 0; x < png.width(); ++x) {
                const bool dark = named.picture.Dark(x / named.scale, y / named.scale);
                wrong += png.constScanLine(y)[x] != (dark ? 0 : 255);
            }
        }
        EXPECT_EQ(wrong, 0);
    }
    const std::optional<MemoryImageBytes> eeprom = sim.Saved_Eeprom();
    ASSERT_TRUE(eeprom.has_value()) << "the module saved no EEPROM";
    EXPECT_TRUE(*eeprom == desk.state.MemoryImage);
}

}  // namespace
}  // namespace lcdprog::test
