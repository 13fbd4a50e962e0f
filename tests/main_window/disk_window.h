#pragma once

// A main window on the real POSIX file service: a temporary program folder with the three white
// backgrounds, one sub-folder per case, and a right-button selection checked in one place.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QTest>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>

#include "main_window/main_window_harness.h"
#include "platform/posix_file_service.h"

namespace lcdprog::test {

inline void Write(const std::string& path, const std::string& bytes) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

using Maker = std::function<void(const std::string& path)>;
inline Maker File_With(std::string bytes) {
    return [bytes](const std::string& path) { Write(path, bytes); };
}

// Around one case: an alarm that ends a case that blocks (in open() on a FIFO, say), naming it;
// for a chmod 000 case the effective user "nobody", as CI runs as root (the saved user id
// brings root back); and the time taken.
inline const char* blockedCase = "";
extern "C" inline void On_Alarm(int) {
    [[maybe_unused]] ssize_t n = ::write(STDERR_FILENO, blockedCase, std::strlen(blockedCase));
    ::_exit(3);
}
struct Guard {
    Guard(const char* name, bool asNobody) : nobody(asNobody && ::geteuid() == 0) {
        blockedCase = name;
        struct sigaction action {};
        action.sa_handler = On_Alarm;
        ::sigaction(SIGALRM, &action, nullptr);
        ::alarm(5);
        EXPECT_TRUE(!nobody || ::seteuid(65534) == 0);
    }
    ~Guard() {
        EXPECT_TRUE(!nobody || ::seteuid(0) == 0);
        ::alarm(0);
        // Each case must be over well within this; the pictures involved take about 1 ms.
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
    }
    const bool nobody;
    const std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
};

class OnDisk : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/lcdprog_disk_XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir = pattern;
        files = platform::PosixFileService(dir);
        ASSERT_EQ(::chmod(pattern, 0755), 0);  // "nobody" must reach its case's file
        for (const std::string& name : {kWhite128x64, kWhite240x64, kWhite240x128}) {
            Write(dir + "/" + name, White_File(name));
        }
        h = std::make_unique<MainWindowHarness>(files);
    }
    void TearDown() override {
        h.reset();
        std::filesystem::remove_all(dir);
    }

    // A folder of its own for every case, so that any case can use any name.
    std::string Case_Path(const std::string& name) {
        const std::string folder = dir + "/case" + std::to_string(cases++);
        ::mkdir(folder.c_str(), 0755);
        return folder + "/" + name;
    }

    // A right-button press on box `index` of `panel`, from the white backgrounds, the dialog
    // answering `answer`. Refused (`says` is not empty), nothing changes; taken, the slot holds
    // the lower-cased path, its last component and the panel's size, and the box shows what
    // that path reads. No other slot or box ever changes.
    void Select(const char* name, int panel, int index, const std::optional<std::string>& answer,
                const std::vector<ShownMessage>& says, bool asNobody = false) {
        ASSERT_TRUE(h->window->Form_Load());
        h->messages.shown.clear();
        h->dialog.answer = answer;
        SaveDialogMode = true;  // nothing sets it, but the handler clears it before every call
        const Snapshot before = h->Take();
        const std::size_t requests = h->dialog.requests.size();
        const int yields = h->pump.yields;
        {
            const Guard guard(name, asNobody);
            QTest::mousePress(h->Box(panel, index), Qt::RightButton);
        }
        ASSERT_EQ(h->dialog.requests.size(), requests + 1);
        EXPECT_FALSE(h->dialog.requests.back().saveForm || SaveDialogMode);
        EXPECT_EQ(h->pump.yields, yields + 1);  // the window system's turn after the dialog
        EXPECT_EQ(h->messages.shown, says);
        const Snapshot after = h->Take();
        const int pressed = panel * 4 + index;
        for (int k = 0; k < 16; ++k) {
            const bool same = Same(after.slot[k], before.slot[k]) && after.box[k] == before.box[k];
            EXPECT_EQ(same, k != pressed || !says.empty()) << "slot and box " << k;
        }
        if (says.empty()) {
            const ImageSlot& was = before.slot[pressed];
            const std::string path = platform::Lower_Case_Path(answer.value_or(""));
            EXPECT_TRUE(Same(after.slot[pressed],
                             {path, files.GetFileName(path), was.Height, was.Width, 1}));
            const std::string bytes = files.Read(path, 1 << 16).bytes;
            EXPECT_EQ(after.box[pressed], Decode("BM" + bytes.substr(2)));
        }
    }

    platform::PosixFileService files;
    std::string dir;
    int cases = 0;
    std::unique_ptr<MainWindowHarness> h;
};

}  // namespace lcdprog::test
