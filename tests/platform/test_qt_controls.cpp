#include <QProgressBar>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QWidget>

#include <gtest/gtest.h>

#include "platform/qt/accessibility.h"
#include "platform/qt/qt_controls.h"
#include "platform/qt/twips.h"

namespace lcdprog::platform {
namespace {

QTextCharFormat Format_At(QTextEdit& edit, int pos) {
    QTextCursor c(edit.document());
    c.setPosition(pos + 1);
    return c.charFormat();
}

QColor Colour_At(QTextEdit& edit, int pos) {
    return Format_At(edit, pos).foreground().color();
}

TEST(QtRichTextControl, ShowsOneLinePerCrLfKeepsColoursOverAnAppendAndClampsSelections) {
    QTextEdit edit;
    QtRichTextControl spy(edit);
    const std::pair<std::string, QString> steps[] = {
        {"0x87; 0x00; 0x78\r\n", "0x87; 0x00; 0x78\n"},
        {"0x87; 0x00; 0x78\r\n0x87; 0x01\r\n", "0x87; 0x00; 0x78\n0x87; 0x01\n"},
        {"a\r", "a\n"},
        {"a\r\nb", "a\nb"},  // a CR LF completed by the next call is still one break
        {"", ""},
    };
    for (const auto& [text, shown] : steps) {
        spy.SetText(text);
        spy.Flush();  // the box follows its model at most every 100 ms
        EXPECT_EQ(spy.Text(), text);
        EXPECT_EQ(edit.toPlainText(), shown) << text;
    }
    // The link colours the request blue, then appends the reply and colours it red: the blue must
    // survive the append, and the reply must not inherit it.
    const std::string request = "0x87; 0x00; 0x78\r\n";
    spy.SetText(request);
    spy.SetSelStart(0);
    spy.SetSelLength(static_cast<int>(request.size()));
    spy.SetSelColor(0x0000FF);
    spy.Flush();
    spy.SetText(request + "0x87; 0x04\r\n");
    spy.Flush();
    EXPECT_FALSE(Format_At(edit, 17).hasProperty(QTextFormat::ForegroundBrush));
    spy.SetSelStart(static_cast<int>(request.size()));
    spy.SetSelLength(1000);
    spy.SetSelColor(0xFF0000);
    spy.SetSelStart(50);
    spy.SetSelLength(3);
    spy.SetSelColor(0x00FF00);  // nothing left to colour, and no crash
    spy.Flush();

    EXPECT_EQ(Colour_At(edit, 15), QColor(0, 0, 255));
    EXPECT_EQ(Colour_At(edit, 17), QColor(255, 0, 0));
    EXPECT_EQ(Colour_At(edit, 26), QColor(255, 0, 0));
    // A text that does not extend the old one replaces it, colours and all.
    spy.SetText("0xFE; 0x00; 0x01\r\n");
    spy.Flush();
    EXPECT_FALSE(Format_At(edit, 0).hasProperty(QTextFormat::ForegroundBrush));
}

TEST(QtControls, ProgressBarIsClampedAndNamesLoseAccessKeys) {
    QProgressBar bar;
    bar.setRange(0, 512);
    QtProgressControl progress(bar);
    const std::pair<int, int> values[] = {{512, 512}, {513, 512}, {-1, 0}};  // set, shown
    for (const auto& [set, shown] : values) {
        progress.SetValue(set);
        EXPECT_EQ(progress.Value(), shown) << set;
    }
    progress.Flush();
    EXPECT_EQ(bar.value(), 0);

    QWidget w;
    Name_Control(&w, "cmd_Exit", "E&xit", "");
    EXPECT_EQ(w.accessibleName(), QStringLiteral("Exit"));
    EXPECT_EQ(w.accessibleDescription(), QStringLiteral("cmd_Exit"));
    Name_Control(&w, "x", "Salva && esci", "d");
    EXPECT_EQ(w.accessibleName(), QStringLiteral("Salva & esci"));
    EXPECT_EQ(w.accessibleDescription(), QStringLiteral("d"));
    static_assert(Twips(5805) == 387 && Twips(15) == 1 && Twips(0) == 0);
}

}  // namespace
}  // namespace lcdprog::platform
