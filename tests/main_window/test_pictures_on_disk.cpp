// Pictures chosen as an operator chooses them, on the real POSIX file service: a right click on a
// box, the dialog's answer, then the name test, the header test and the picture load deciding,
// the box and the slot changing together or not at all. The hostile entries are also compiled
// from their slot. A FIFO, a device or a link loop must end at once: a watchdog names the case
// that blocks.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QTest>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "compiler/mod_Compilatore.h"
#include "main_window/main_window_harness.h"
#include "platform/posix_file_service.h"

namespace lcdprog::test {
namespace {

const ShownMessage kInvalid{"Selezionata immagine non valida", "ERROR",
                            platform::MessageIcon::Critical};
const ShownMessage kWrongExtension{"Estensione file non valida!", "WARNING",
                                   platform::MessageIcon::Exclamation};
const std::vector<ShownMessage> kTaken{};
const std::vector<ShownMessage> kRefused{kInvalid};

void Write(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// Every size field of the header but width and height at its most hostile.
std::string Other_Fields_Hostile(std::string bytes) {
    for (std::size_t at : {2u, 10u, 14u, 30u, 34u, 38u, 42u, 46u, 50u}) {
        bytes.replace(at, 4, "\xff\xff\xff\xff");
    }
    return bytes;
}

// A case that blocks is ended by an alarm naming it. A chmod 000 case runs as the effective user
// "nobody", as CI runs as root (the saved user id brings root back).
const char* blockedCase = "";
struct Watchdog {
    Watchdog(const char* name, bool asNobody) : nobody(asNobody && ::geteuid() == 0) {
        blockedCase = name;
        struct sigaction action {};
        action.sa_handler = [](int) {
            [[maybe_unused]] ssize_t n = ::write(2, blockedCase, std::strlen(blockedCase));
            ::_exit(3);
        };
        ::sigaction(SIGALRM, &action, nullptr);
        ::alarm(5);
        EXPECT_TRUE(!nobody || ::seteuid(65534) == 0);
    }
    ~Watchdog() {
        EXPECT_TRUE(!nobody || ::seteuid(0) == 0);
        ::alarm(0);
    }
    const bool nobody;
};

class PicturesOnDisk : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/lcdprog_disk_XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir = pattern;
        ASSERT_EQ(::chmod(pattern, 0755), 0);  // "nobody" must reach its case's file
        files = platform::PosixFileService(dir);
        for (const std::string& name : {kWhite128x64, kWhite240x64, kWhite240x128}) {
            Write(dir + "/" + name, White_File(name));
        }
        h = std::make_unique<MainWindowHarness>(files);
    }
    void TearDown() override {
        h.reset();
        std::filesystem::remove_all(dir);
    }

    platform::PosixFileService files;
    std::string dir;
    std::unique_ptr<MainWindowHarness> h;
};

TEST_F(PicturesOnDisk, OnlyTheRightButtonOrTheMenuKeyOpensTheDialog) {
    QLabel* box = h->Box(0, 1);
    QTest::mousePress(box, Qt::LeftButton);
    QTest::mousePress(box, Qt::MiddleButton);
    EXPECT_TRUE(h->dialog.requests.empty());
    // The context-menu key counts as the right button; the event after a mouse press does not.
    for (const auto reason : {QContextMenuEvent::Keyboard, QContextMenuEvent::Mouse}) {
        QContextMenuEvent event(reason, QPoint(1, 1), box->mapToGlobal(QPoint(1, 1)));
        QApplication::sendEvent(box, &event);
        EXPECT_EQ(h->dialog.requests.size(), 1u) << reason;
    }
}

TEST_F(PicturesOnDisk, SelectionTakesOnlyAPictureOfThePanelsSizeAndCompileReadsItBack) {
    const std::string mono = Make_Picture({128, 64, 1, false, "BM", 0x33});
    const std::string good = Make_Picture({240, 64, 1, false, "BM", 0xC3});
    const std::string tooShort = "Il file x.bmp è vuoto o troppo corto per contenere un'immagine.";
    const std::vector<ShownMessage> warned{kWrongExtension, kInvalid};
    namespace fs = std::filesystem;
    using Path = const std::string&;
    // clang-format off
    const struct {
        const char* name;
        int panel, index;
        const char* file;  // in a folder of its own; nullptr: the dialog is cancelled
        std::string bytes;
        std::vector<ShownMessage> says;
        const char* compiled = nullptr;  // what the compile's one message holds; "" for none
        void (*make)(Path path, Path bytes) = Write;
    } cases[] = {
        {"1-bit 128x64 for 64128E box 2", 1, 2, "alarm.bmp", mono, kTaken},
        {"the same file for 64240B", 2, 1, "alarm.bmp", mono, kRefused},
        {"1-bit 240x128 for 128240A", 3, 3, "tall.bmp", Make_Picture({240, 128}), kTaken},
        {"4-bit 240x64", 2, 0, "grey.bmp", Make_Picture({240, 64, 4}), kRefused},
        {"top-down 128x64", 0, 0, "top.bmp", Make_Picture({128, 64, 1, true}), kRefused},
        // Neither the header test nor the compiler reads the signature, so neither does the box.
        {"no BM signature", 0, 1, "nosig.bmp", Make_Picture({128, 64, 1, false, "XY"}), kTaken},
        {"a bitmap named notes.txt in a folder named bmp", 0, 3, "bmp/notes.txt", mono, kTaken},
        {"a name without bmp", 1, 0, "alarm.png", mono, {kWrongExtension, kInvalid}},
        {"cancel", 1, 0, nullptr, "", kRefused},
        // Kept as logo.bmp, still found by the compile.
        {"Logo.BMP", 2, 2, "Logo.BMP", good, kTaken, ""},
        {"a good picture named 0xFF 0xFE .bmp", 2, 2, "\xff\xfe.bmp", good, kTaken, ""},
        {"the largest file the compiler takes", 2, 2, "x.bmp",
         good + std::string(32767 - good.size(), '\0'), kTaken, ""},
        {"too long for it", 2, 2, "x.bmp", good + std::string(40000, '\0'), kRefused, "supera"},
        {"empty file", 2, 2, "x.bmp", "", kRefused, tooShort.c_str()},
        {"62 bytes: a whole header", 2, 2, "x.bmp", good.substr(0, 62), kRefused, tooShort.c_str()},
        // The header test passes, the picture load does not; the compiler reads rows from the end.
        {"other size fields 0xFFFFFFFF", 2, 2, "x.bmp", Other_Fields_Hostile(good), kRefused, ""},
        {"a folder named x.bmp", 2, 2, "x.bmp", "", kRefused, "non trovato",
         [](Path p, Path) { fs::create_directory(p); }},
        {"a FIFO named x.bmp", 2, 2, "x.bmp", "", kRefused, "non è un file regolare",
         [](Path p, Path) { ::mkfifo(p.c_str(), 0644); }},
        {"x.bmp -> /dev/zero", 2, 2, "x.bmp", "", kRefused, "non è un file regolare",
         [](Path p, Path) { fs::create_symlink("/dev/zero", p); }},
        {"x.bmp -> y.bmp -> x.bmp", 2, 2, "x.bmp", "", kRefused, "non trovato",
         [](Path p, Path) { fs::create_symlink(p, p + ".y"), fs::create_symlink(p + ".y", p); }},
        {"chmod 000, tried as nobody", 2, 2, "x.bmp", good, kRefused,
         "Impossibile leggere il file x.bmp.\r\nAccesso negato.",
         [](Path p, Path b) { Write(p, b), fs::permissions(p, fs::perms::none); }},
    };
    // clang-format on
    int folder = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(h->window->Form_Load());
        std::optional<std::string> answer;
        if (c.file != nullptr) {
            answer = dir + "/case" + std::to_string(folder++) + "/" + c.file;
            std::filesystem::create_directories(std::filesystem::path(*answer).parent_path());
            c.make(*answer, c.bytes);
        }
        h->messages.shown.clear();
        h->dialog.answer = answer;
        SaveDialogMode = true;  // nothing sets it, but the handler clears it before every call
        const Snapshot before = h->Take();
        const std::size_t requests = h->dialog.requests.size();
        const int yields = h->pump.yields;
        {
            const Watchdog watchdog(c.name, std::string_view(c.name).ends_with("as nobody"));
            QTest::mousePress(h->Box(c.panel, c.index), Qt::RightButton);
        }
        ASSERT_EQ(h->dialog.requests.size(), requests + 1);
        const platform::FileDialogRequest& r = h->dialog.requests.back();
        EXPECT_EQ(std::tuple(r.filter, r.filterIndex, r.flags, r.saveForm, r.cancelError),
                  std::tuple("Tutti i file |*.*| Messaggio (*.bmp) | *.bmp", 2, 1, false, true));
        EXPECT_EQ(h->pump.yields, yields + 1);  // the window system's turn after the dialog
        EXPECT_EQ(h->messages.shown, c.says);
        const Snapshot after = h->Take();
        const int pressed = c.panel * 4 + c.index;
        for (int k = 0; k < 16; ++k) {
            const bool same = Same(after.slot[k], before.slot[k]) && after.box[k] == before.box[k];
            EXPECT_EQ(same, k != pressed || !c.says.empty()) << "slot and box " << k;
        }
        if (c.says.empty()) {
            const ImageSlot& was = before.slot[pressed];
            const std::string path = platform::Lower_Case_Path(*answer);
            EXPECT_TRUE(Same(after.slot[pressed],
                             {path, files.GetFileName(path), was.Height, was.Width, 1}));
            EXPECT_EQ(after.box[pressed], Decode("BM" + files.Read(path, 1 << 16).bytes.substr(2)));
        }
        if (c.compiled == nullptr) {
            continue;
        }
        if (!c.says.empty()) {  // set as the selection never would
            Images_64240B[2].FullPath = *answer;
            Images_64240B[2].FileName = files.GetFileName(*answer);
        }
        h->messages.shown.clear();
        bool compiled = false;
        {
            const Watchdog watchdog(c.name, std::string_view(c.name).ends_with("as nobody"));
            compiled = Compile_Image({files, h->messages});
        }
        EXPECT_EQ(compiled, *c.compiled == '\0');
        ASSERT_EQ(h->messages.shown.size(), compiled ? 0u : 1u);
        if (!compiled) {
            EXPECT_NE(h->messages.shown[0].text.find(c.compiled), std::string::npos)
                << h->messages.shown[0].text;
        }
    }
}

}  // namespace
}  // namespace lcdprog::test
