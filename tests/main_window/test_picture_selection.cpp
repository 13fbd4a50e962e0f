// Picture selection on a picture box: right button only, the dialog request, the name and
// header tests, and the box and the slot changing together or not at all.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QTest>

#include <cstdlib>
#include <fstream>

#include "main_window/main_window_harness.h"
#include "platform/posix_file_service.h"

namespace lcdprog::test {
namespace {

const std::string kInvalid = "Selezionata immagine non valida";
const ShownMessage kInvalidMessage{kInvalid, "ERROR", platform::MessageIcon::Critical};
const ShownMessage kWrongExtension{"Estensione file non valida!", "WARNING",
                                   platform::MessageIcon::Exclamation};

class PictureSelection : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const std::string& name : {kWhite128x64, kWhite240x64, kWhite240x128}) {
            files.Put(kFolder + "/" + name, White_File(name));
        }
        ASSERT_TRUE(h.window->Form_Load());
    }
    FakeFileService files;
    MainWindowHarness h{files};
};

TEST_F(PictureSelection, OnlyTheRightButtonOpensTheDialog) {
    QLabel* box = h.Box("pct_Image_64128A_1");
    QTest::mousePress(box, Qt::LeftButton);
    QTest::mousePress(box, Qt::MiddleButton);
    EXPECT_TRUE(h.dialog.requests.empty());
    EXPECT_TRUE(h.messages.shown.empty());

    SaveDialogMode = true;  // nothing sets it, but the handler clears it before every call
    QTest::mousePress(box, Qt::RightButton);
    ASSERT_EQ(h.dialog.requests.size(), 1u);
    const platform::FileDialogRequest& request = h.dialog.requests[0];
    EXPECT_TRUE(request.cancelError);
    EXPECT_EQ(request.filter, "Tutti i file |*.*| Messaggio (*.bmp) | *.bmp");
    EXPECT_EQ(request.filterIndex, 2);
    EXPECT_EQ(request.flags, 1);
    EXPECT_FALSE(request.saveForm);
    EXPECT_FALSE(SaveDialogMode);
    // The dialog was cancelled (no answer): the failure is reported, nothing changes.
    EXPECT_EQ(h.messages.shown, std::vector<ShownMessage>{kInvalidMessage});
    EXPECT_EQ(Images_64128A[1].FileName, kWhite128x64);
}

struct Choice {
    const char* name;
    const char* box;
    std::optional<std::string> answer;  // what the dialog returns; nothing = cancel
    std::string storedAt;               // where the (fake) file system holds the file
    std::string bytes;
    bool accepted;
    std::vector<ShownMessage> messages;
};

ImageSlots& Slots_Of(const std::string& box) {
    if (box.find("64128A") != std::string::npos) {
        return Images_64128A;
    }
    if (box.find("64128E") != std::string::npos) {
        return Images_64128E;
    }
    return box.find("64240B") != std::string::npos ? Images_64240B : Images_128240A;
}

TEST_F(PictureSelection, TheNameAndTheHeaderDecideAndOnlyBothTogetherChangeTheSlot) {
    const std::string mono128x64 = Make_Picture({128, 64, 1, false, "BM", 0x33});
    const std::string mono240x64 = Make_Picture({240, 64, 1, false, "BM", 0x44});
    const std::string mono240x128 = Make_Picture({240, 128, 1, false, "BM", 0x55});
    const Choice choices[] = {
        {"1-bit 128x64 for 64128E box 2",
         "pct_Image_64128E_2",
         "/home/u/pictures/alarm.bmp",
         "/home/u/pictures/alarm.bmp",
         mono128x64,
         true,
         {}},
        {"the same file for 64240B",
         "pct_Image_64240B_1",
         "/home/u/pictures/alarm.bmp",
         "/home/u/pictures/alarm.bmp",
         mono128x64,
         false,
         {kInvalidMessage}},
        {"1-bit 240x64 for 64240B",
         "pct_Image_64240B_3",
         "/p/wide.bmp",
         "/p/wide.bmp",
         mono240x64,
         true,
         {}},
        {"4-bit 240x64",
         "pct_Image_64240B_0",
         "/p/grey.bmp",
         "/p/grey.bmp",
         Make_Picture({240, 64, 4}),
         false,
         {kInvalidMessage}},
        {"24-bit 240x64",
         "pct_Image_64240B_0",
         "/p/colour.bmp",
         "/p/colour.bmp",
         Make_Picture({240, 64, 24}),
         false,
         {kInvalidMessage}},
        {"top-down 128x64",
         "pct_Image_64128A_0",
         "/p/topdown.bmp",
         "/p/topdown.bmp",
         Make_Picture({128, 64, 1, true}),
         false,
         {kInvalidMessage}},
        {"1-bit 240x128 for 128240A",
         "pct_Image_128240A_3",
         "/p/tall.bmp",
         "/p/tall.bmp",
         mono240x128,
         true,
         {}},
        {"Logo.BMP is recorded as logo.bmp",
         "pct_Image_64128A_3",
         "/home/u/Pictures/Logo.BMP",
         "/home/u/pictures/logo.bmp",
         mono128x64,
         true,
         {}},
        {"notes.txt in a folder named bmp, text inside",
         "pct_Image_64128A_0",
         "/home/u/bmp/notes.txt",
         "/home/u/bmp/notes.txt",
         "just some notes\n",
         false,
         {kInvalidMessage}},
        {"notes.txt in a folder named bmp, a bitmap inside",
         "pct_Image_64128A_0",
         "/home/u/bmp/notes.txt",
         "/home/u/bmp/notes.txt",
         mono128x64,
         true,
         {}},
        {"a name without bmp",
         "pct_Image_64128E_0",
         "/home/u/pictures/alarm.png",
         "/home/u/pictures/alarm.png",
         mono128x64,
         false,
         {kWrongExtension, kInvalidMessage}},
        {"cancel", "pct_Image_64128E_0", std::nullopt, "", "", false, {kInvalidMessage}},
        {"a name no file bears",
         "pct_Image_64128E_0",
         "/nowhere/x.bmp",
         "/elsewhere/x.bmp",
         mono128x64,
         false,
         {kInvalidMessage}},
        {"header only, no picture after it",
         "pct_Image_64128E_0",
         "/p/cut.bmp",
         "/p/cut.bmp",
         mono128x64.substr(0, 62),
         false,
         {kInvalidMessage}},
        // Neither the header test nor the compiler reads the signature, so neither does the box.
        {"no BM signature",
         "pct_Image_64128E_0",
         "/p/nosig.bmp",
         "/p/nosig.bmp",
         Make_Picture({128, 64, 1, false, "XY"}),
         true,
         {}},
    };
    for (const Choice& c : choices) {
        SCOPED_TRACE(c.name);
        Reset_Program_State();
        ASSERT_TRUE(h.window->Form_Load());
        h.messages.shown.clear();
        if (!c.storedAt.empty()) {
            files.Put(c.storedAt, c.bytes);
        }
        h.dialog.answer = c.answer;
        QLabel* box = h.Box(QString::fromLatin1(c.box));
        ASSERT_NE(box, nullptr);
        const int index = c.box[std::strlen(c.box) - 1] - '0';
        const ImageSlots before = Slots_Of(c.box);
        const QImage shownBefore = Shown(box);

        QTest::mousePress(box, Qt::RightButton);

        EXPECT_EQ(h.messages.shown, c.messages);
        const ImageSlots& after = Slots_Of(c.box);
        if (c.accepted) {
            // What the box shows is the picture as it would be with its signature in place.
            EXPECT_EQ(Shown(box), Decode("BM" + c.bytes.substr(2)));
            const ImageSlot& slot = after[index];
            EXPECT_EQ(slot.FullPath, platform::Lower_Case_Path(*c.answer));
            EXPECT_EQ(slot.FileName, files.GetFileName(slot.FullPath));
            EXPECT_EQ(slot.Width, before[index].Width);
            EXPECT_EQ(slot.Height, before[index].Height);
            EXPECT_EQ(slot.BitDepth, 1);
            for (int i = 0; i < kSlotsPerPanel; ++i) {
                if (i != index) {
                    EXPECT_EQ(after[i].FullPath, before[i].FullPath) << "slot " << i;
                }
            }
        } else {
            EXPECT_EQ(Shown(box), shownBefore);
            for (int i = 0; i < kSlotsPerPanel; ++i) {
                EXPECT_EQ(after[i].FullPath, before[i].FullPath) << "slot " << i;
                EXPECT_EQ(after[i].FileName, before[i].FileName) << "slot " << i;
            }
        }
        if (!c.storedAt.empty()) {
            files.Remove(c.storedAt);
        }
    }
}

TEST_F(PictureSelection, TheNamedCaseFor64128EBoxTwoFillsEveryField) {
    files.Put("/home/u/pictures/logo.bmp", Make_Picture({128, 64, 1}));
    h.dialog.answer = "/home/u/Pictures/Logo.BMP";
    QTest::mousePress(h.Box("pct_Image_64128E_2"), Qt::RightButton);
    EXPECT_TRUE(h.messages.shown.empty());
    EXPECT_EQ(Images_64128E[2].FullPath, "/home/u/pictures/logo.bmp");
    EXPECT_EQ(Images_64128E[2].FileName, "logo.bmp");
    EXPECT_EQ(Images_64128E[2].Height, 64);
    EXPECT_EQ(Images_64128E[2].Width, 128);
    EXPECT_EQ(Images_64128E[2].BitDepth, 1);
    // The 64128A panel shares the file type but not the slot.
    EXPECT_EQ(Images_64128A[2].FileName, kWhite128x64);
    // The window system got its turn after the dialog closed.
    EXPECT_EQ(h.pump.yields, 1);
}

TEST_F(PictureSelection, TheContextMenuKeyOnAFocusedBoxAsksAsTheRightButtonDoes) {
    QLabel* box = h.Box("pct_Image_64240B_2");
    QContextMenuEvent keyboard(QContextMenuEvent::Keyboard, QPoint(1, 1),
                               box->mapToGlobal(QPoint(1, 1)));
    QApplication::sendEvent(box, &keyboard);
    EXPECT_EQ(h.dialog.requests.size(), 1u);
    // The context-menu event that follows a mouse press is not a second request.
    QContextMenuEvent mouse(QContextMenuEvent::Mouse, QPoint(1, 1), box->mapToGlobal(QPoint(1, 1)));
    QApplication::sendEvent(box, &mouse);
    EXPECT_EQ(h.dialog.requests.size(), 1u);
}

// Real files in a temporary folder, through the real file service.
class PictureSelectionOnDisk : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/lcdprog_pictures_XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir = pattern;
        h = std::make_unique<MainWindowHarness>(disk);
        // The white backgrounds come from a fake: start-up is not what is tested here.
        for (const std::string& name : {kWhite128x64, kWhite240x64, kWhite240x128}) {
            backgrounds.Put(kFolder + "/" + name, White_File(name));
        }
        MainWindowHarness loader(backgrounds);
        ASSERT_TRUE(loader.window->Form_Load());
    }
    void TearDown() override { std::system(("rm -rf '" + dir + "'").c_str()); }
    void Write(const std::string& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary) << bytes;
    }

    std::string dir;
    platform::PosixFileService disk;
    FakeFileService backgrounds;
    std::unique_ptr<MainWindowHarness> h;
};

TEST_F(PictureSelectionOnDisk, AFifoIsRefusedWithoutWaitingForAWriter) {
    const std::string fifo = dir + "/pipe.bmp";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const ImageSlot before = Images_64128A[0];
    h->dialog.answer = fifo;
    QTest::mousePress(h->Box("pct_Image_64128A_0"), Qt::RightButton);
    EXPECT_EQ(h->messages.shown, std::vector<ShownMessage>{kInvalidMessage});
    EXPECT_EQ(Images_64128A[0].FullPath, before.FullPath);
}

TEST_F(PictureSelectionOnDisk, AMixedCaseFileIsStoredLowerCasedAndStillFound) {
    ASSERT_EQ(::mkdir((dir + "/Pictures").c_str(), 0700), 0);
    const std::string bytes = Make_Picture({240, 64, 1, false, "BM", 0x81});
    Write(dir + "/Pictures/Logo.BMP", bytes);
    h->dialog.answer = dir + "/Pictures/Logo.BMP";
    QLabel* box = h->Box("pct_Image_64240B_1");
    QTest::mousePress(box, Qt::RightButton);
    EXPECT_TRUE(h->messages.shown.empty());
    EXPECT_EQ(Images_64240B[1].FullPath, platform::Lower_Case_Path(dir) + "/pictures/logo.bmp");
    EXPECT_EQ(Images_64240B[1].FileName, "logo.bmp");
    EXPECT_EQ(Shown(box), Decode(bytes));
    // What the compiler will open later reaches the same bytes.
    EXPECT_EQ(disk.Read(Images_64240B[1].FullPath, 1 << 20).bytes, bytes);
}

TEST_F(PictureSelectionOnDisk, AFolderWhoseNameHasBmpIsRefused) {
    ASSERT_EQ(::mkdir((dir + "/album.bmp").c_str(), 0700), 0);
    h->dialog.answer = dir + "/album.bmp";
    QTest::mousePress(h->Box("pct_Image_64128A_0"), Qt::RightButton);
    EXPECT_EQ(h->messages.shown, std::vector<ShownMessage>{kInvalidMessage});
}

}  // namespace
}  // namespace lcdprog::test
