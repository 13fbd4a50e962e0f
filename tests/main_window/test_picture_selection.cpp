// Picture selection on a picture box: right button only, and the name and header tests
// deciding, the box and the slot changing together or not at all.

#include "main_window/disk_window.h"

namespace lcdprog::test {
namespace {

class PictureSelectionOnDisk : public OnDisk {};
const ShownMessage kWrongExtension{"Estensione file non valida!", "WARNING",
                                   platform::MessageIcon::Exclamation};

TEST_F(PictureSelectionOnDisk, OnlyTheRightButtonOrTheMenuKeyOpensTheDialog) {
    QLabel* box = h->Box(0, 1);
    QTest::mousePress(box, Qt::LeftButton);
    QTest::mousePress(box, Qt::MiddleButton);
    EXPECT_TRUE(h->dialog.requests.empty() && h->messages.shown.empty());
    // The context-menu key counts as the right button; the event after a mouse press does not.
    for (const auto reason : {QContextMenuEvent::Keyboard, QContextMenuEvent::Mouse}) {
        QContextMenuEvent event(reason, QPoint(1, 1), box->mapToGlobal(QPoint(1, 1)));
        QApplication::sendEvent(box, &event);
        EXPECT_EQ(h->dialog.requests.size(), 1u) << reason;
    }
}

TEST_F(PictureSelectionOnDisk, TheNameAndTheHeaderDecideAndOnlyBothTogetherChangeTheSlot) {
    const std::string mono128x64 = Make_Picture({128, 64, 1, false, "BM", 0x33});
    const struct {
        const char* name;
        int panel;
        int index;
        const char* file;  // nullptr: the dialog is cancelled
        std::string bytes;
        std::vector<ShownMessage> says;
    } cases[] = {
        {"1-bit 128x64 for 64128E box 2", 1, 2, "alarm.bmp", mono128x64, kTaken},
        {"the same file for 64240B", 2, 1, "alarm.bmp", mono128x64, kRefused},
        {"1-bit 240x64 for 64240B", 2, 3, "wide.bmp", Make_Picture({240, 64, 1}), kTaken},
        {"4-bit 240x64", 2, 0, "grey.bmp", Make_Picture({240, 64, 4}), kRefused},
        {"24-bit 240x64", 2, 0, "colour.bmp", Make_Picture({240, 64, 24}), kRefused},
        {"top-down 128x64", 0, 0, "topdown.bmp", Make_Picture({128, 64, 1, true}), kRefused},
        {"1-bit 240x128 for 128240A", 3, 3, "tall.bmp", Make_Picture({240, 128, 1}), kTaken},
        {"Logo.BMP is stored as logo.bmp", 0, 3, "Pictures/Logo.BMP", mono128x64, kTaken},
        {"notes.txt in a folder named bmp, text inside", 0, 0, "bmp/notes.txt", "notes\n",
         kRefused},
        {"notes.txt in a folder named bmp, a bitmap inside", 0, 0, "bmp/notes.txt", mono128x64,
         kTaken},
        {"a name without bmp", 1, 0, "alarm.png", mono128x64, {kWrongExtension, kInvalidMessage}},
        {"cancel", 1, 0, nullptr, "", kRefused},
        // Neither the header test nor the compiler reads the signature, so neither does the box.
        {"no BM signature", 1, 0, "nosig.bmp", Make_Picture({128, 64, 1, false, "XY"}), kTaken},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::optional<std::string> answer;
        if (c.file != nullptr) {
            answer = Case_Path(c.file);
            Write(*answer, c.bytes);
        }
        Select(c.name, c.panel, c.index, answer, c.says);
    }
}

}  // namespace
}  // namespace lcdprog::test
