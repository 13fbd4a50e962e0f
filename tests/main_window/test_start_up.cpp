// Start-up of the main window: the three white backgrounds into the sixteen slots and boxes, or
// the end of the program when one is missing or unusable; and Esci during a programming run.

#include <gtest/gtest.h>

#include <QAction>
#include <QTest>

#include "main_window/main_window_harness.h"

namespace lcdprog::test {
namespace {

TEST(StartUp, EveryPanelGetsItsWhiteBackgroundOrTheFirstBadFileEndsTheProgramAfterOneMessage) {
    const std::string names[] = {kWhite128x64, kWhite240x64, kWhite240x128};
    // Each file white (w), missing (m) or not a picture (g).
    for (const std::string files : {"www", "mww", "wwm", "wgw"}) {
        SCOPED_TRACE(files);
        FakeFileService fs;
        for (std::size_t i = 0; i < 3; ++i) {
            if (files[i] != 'm') {
                fs.Put(kFolder + "/" + names[i], files[i] == 'w' ? White_File(names[i]) : "BM?");
            }
        }
        MainWindowHarness h(fs);
        int endedWhenShown = -1;
        h.messages.onShow = [&] { endedWhenShown = h.program.ended; };
        const std::size_t failing = files.find_first_not_of('w');
        EXPECT_EQ(h.window->Form_Load(), failing == std::string::npos);
        EXPECT_EQ(fs.existsAsked.size(), std::min<std::size_t>(failing, 2) + 1);  // no further
        if (failing != std::string::npos) {
            const std::string why =
                files[failing] == 'm' ? " non trovato" : " non leggibile come immagine";
            EXPECT_EQ(h.messages.shown,
                      (std::vector<ShownMessage>{
                          {"File " + names[failing] + why + ". Impossibile continuare", "ERROR",
                           platform::MessageIcon::Critical}}));
            EXPECT_EQ(endedWhenShown, 0);  // the message first, then the end
            EXPECT_EQ(h.program.ended, 1);
            continue;
        }
        EXPECT_TRUE(h.messages.shown.empty() && h.program.ended == 0);
        const Snapshot s = h.Take();
        for (int k = 0; k < 16; ++k) {
            const int p = k / 4;  // both 128 x 64 panels share one file
            const std::string& file = names[p == 0 ? 0 : p - 1];
            EXPECT_TRUE(Same(s.slot[k],
                             {kFolder + "/" + file, file, p == 3 ? 128 : 64, p < 2 ? 128 : 240, 1}))
                << k;
            EXPECT_EQ(s.box[k], Decode(White_File(file))) << k;
        }
    }
}

TEST(StartUp, EsciWaitsForAProgrammingRunToEnd) {
    FakeFileService files;
    MainWindowHarness h(files);
    h.window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(h.window.get()));
    auto* esci = h.Find<QAction>(QStringLiteral("smnu_File_0"));
    RunInProgress = true;
    esci->trigger();
    EXPECT_TRUE(h.window->isVisible());
    EXPECT_EQ(h.window->windowTitle(),
              QStringLiteral("Programmatore LCD grafici - Attendere la fine della programmazione"));
    RunInProgress = false;
    esci->trigger();
    EXPECT_FALSE(h.window->isVisible());
}

}  // namespace
}  // namespace lcdprog::test
