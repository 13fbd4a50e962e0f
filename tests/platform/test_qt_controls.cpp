#include <QLineEdit>
#include <QProgressBar>
#include <QTextBlock>
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

// The colour shown at document position `pos` (the character after it).
QColor Colour_At(QTextEdit& edit, int pos) {
    QTextCursor c(edit.document());
    c.setPosition(pos + 1);
    return c.charFormat().foreground().color();
}

bool Coloured(QTextEdit& edit, int pos) {
    QTextCursor c(edit.document());
    c.setPosition(pos + 1);
    return c.charFormat().hasProperty(QTextFormat::ForegroundBrush);
}

TEST(QtRichTextControl, KeepsCrLfTextAndShowsOneLinePerCrLf) {
    QTextEdit edit;
    QtRichTextControl spy(edit);
    spy.SetText("0x87; 0x00; 0x78\r\n");
    EXPECT_EQ(spy.Text(), "0x87; 0x00; 0x78\r\n");
    EXPECT_EQ(edit.toPlainText(), QStringLiteral("0x87; 0x00; 0x78\n"));
    spy.SetText(spy.Text() + "0x87; 0x01\r\n");
    EXPECT_EQ(spy.Text(), "0x87; 0x00; 0x78\r\n0x87; 0x01\r\n");
    EXPECT_EQ(edit.toPlainText(), QStringLiteral("0x87; 0x00; 0x78\n0x87; 0x01\n"));
    // An append that completes a CR LF split across two calls makes one break, not two.
    spy.SetText("a\r");
    spy.SetText("a\r\nb");
    EXPECT_EQ(edit.toPlainText(), QStringLiteral("a\nb"));
    spy.SetText("");
    EXPECT_EQ(spy.Text(), "");
    EXPECT_EQ(edit.toPlainText(), QString());
}

TEST(QtRichTextControl, DocumentPositionsSkipTheLfOfEachCrLf) {
    QTextEdit edit;
    QtRichTextControl spy(edit);
    spy.SetText("ab\r\ncd\r\n");
    const int expected[] = {0, 1, 2, 3, 3, 4, 5, 6, 6};
    for (int i = 0; i <= 8; ++i) {
        EXPECT_EQ(spy.Document_Position(i), expected[i]) << i;
    }
    EXPECT_EQ(spy.Document_Position(100), 6);
    EXPECT_EQ(spy.Document_Position(-5), 0);
}

// The link colours the request blue, then appends the reply and colours it red: the blue must
// survive the append, and the reply must not inherit it.
TEST(QtRichTextControl, AppendedTextKeepsEarlierColoursAndStartsUncoloured) {
    QTextEdit edit;
    QtRichTextControl spy(edit);
    const std::string request = "0x87; 0x00; 0x78\r\n";
    spy.SetText(request);
    spy.SetSelStart(0);
    spy.SetSelLength(static_cast<int>(request.size()));
    spy.SetSelColor(0x0000FF);

    const std::string reply = "0x87; 0x04\r\n";
    spy.SetText(request + reply);
    EXPECT_FALSE(Coloured(edit, 17)) << "the reply inherited the request's colour";
    spy.SetSelStart(static_cast<int>(request.size()));
    spy.SetSelLength(static_cast<int>(request.size() + reply.size()));
    spy.SetSelColor(0xFF0000);

    EXPECT_EQ(Colour_At(edit, 0), QColor(0, 0, 255));
    EXPECT_EQ(Colour_At(edit, 15), QColor(0, 0, 255));
    EXPECT_EQ(Colour_At(edit, 17), QColor(255, 0, 0));
    EXPECT_EQ(Colour_At(edit, 26), QColor(255, 0, 0));

    // A text that does not extend the old one replaces it, colours and all.
    spy.SetText("0xFE; 0x00; 0x01\r\n");
    EXPECT_EQ(edit.toPlainText(), QStringLiteral("0xFE; 0x00; 0x01\n"));
    EXPECT_FALSE(Coloured(edit, 0));
}

TEST(QtRichTextControl, SelectionBeyondTheTextIsClamped) {
    QTextEdit edit;
    QtRichTextControl spy(edit);
    spy.SetText("abc");
    spy.SetSelStart(2);
    spy.SetSelLength(1000);
    spy.SetSelColor(0x00FF00);
    EXPECT_FALSE(Coloured(edit, 1));
    EXPECT_EQ(Colour_At(edit, 2), QColor(0, 255, 0));
    spy.SetSelStart(50);
    spy.SetSelLength(3);
    spy.SetSelColor(0xFF0000);  // nothing left to colour, and no crash
    EXPECT_EQ(Colour_At(edit, 2), QColor(0, 255, 0));
}

TEST(QtTextAndProgressControls, PassValuesThroughAndClampTheBar) {
    QLineEdit line;
    QtTextControl counter(line);
    counter.SetText("514");
    EXPECT_EQ(line.text(), QStringLiteral("514"));
    line.setText(QStringLiteral("7"));
    EXPECT_EQ(counter.Text(), "7");

    QProgressBar bar;
    bar.setRange(0, 512);
    QtProgressControl progress(bar);
    const std::pair<int, int> cases[] = {{0, 0}, {1, 1}, {512, 512}, {513, 512}, {-1, 0}};
    for (const auto& [set, shown] : cases) {
        progress.SetValue(set);
        EXPECT_EQ(bar.value(), shown) << set;
        EXPECT_EQ(progress.Value(), shown) << set;
    }
}

TEST(NameControl, SetsTheThreeNamesAndDropsAccessKeyMarkers) {
    QWidget w;
    Name_Control(&w, "cmd_Exit", "E&xit", "");
    EXPECT_EQ(w.objectName(), QStringLiteral("cmd_Exit"));
    EXPECT_EQ(w.accessibleName(), QStringLiteral("Exit"));
    EXPECT_EQ(w.accessibleDescription(), QStringLiteral("cmd_Exit"));
    Name_Control(&w, "cmd_ON", "ON", "Attiva porta seriale selezionata");
    EXPECT_EQ(w.accessibleDescription(), QStringLiteral("Attiva porta seriale selezionata"));
    Name_Control(&w, "x", "Salva && esci", "d");
    EXPECT_EQ(w.accessibleName(), QStringLiteral("Salva & esci"));
    static_assert(Twips(5805) == 387 && Twips(15) == 1 && Twips(0) == 0);
}

}  // namespace
}  // namespace lcdprog::platform
