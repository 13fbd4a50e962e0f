#include <QFontInfo>
#include <QLabel>

#include "platform/qt/twips.h"
#include "serial_window_fixture.h"

namespace lcdprog::test {
namespace {

using platform::Twips;

struct ControlRow {
    const char* name;
    const char* kind;  // Qt class
    const char* container;
    int left, top, width, height;  // twips
    const char* text;              // caption or design-time text ("" none)
    const char* tip;
    const char* accessibleName;
};

const ControlRow kLayout[] = {
    {"fra_Select_RS232", "QGroupBox", "frm_RS232", 60, 0, 5715, 8715,
     "Seleziona porta seriale tra quelle disponibili:", "",
     "Seleziona porta seriale tra quelle disponibili:"},
    {"fra_RS232", "QGroupBox", "fra_Select_RS232", 120, 240, 1995, 735, "Porte disponibili:", "",
     "Porte disponibili:"},
    {"cmb_RS232", "QComboBox", "fra_RS232", 120, 300, 1755, 315, "",
     "Selezionare una porta seriale dall'elenco", "Porte disponibili:"},
    {"fra_Speed", "QGroupBox", "fra_Select_RS232", 2220, 240, 3375, 1515,
     "Impostazioni porta seriale:", "", "Impostazioni porta seriale:"},
    {"lbl_Baud_Rates", "QLabel", "fra_Speed", 120, 300, 1700, 255, "Baud Rates:", "",
     "Baud Rates:"},
    {"lbl_Lenght_Byte", "QLabel", "fra_Speed", 120, 600, 1700, 255, "Lunghezza dato in bit:", "",
     "Lunghezza dato in bit:"},
    {"lbl_Parity_Bit", "QLabel", "fra_Speed", 120, 900, 1700, 255, "Bit di parità:", "",
     "Bit di parità:"},
    {"lbl_Stop_Bit", "QLabel", "fra_Speed", 120, 1200, 1695, 255, "Bit di stop:", "",
     "Bit di stop:"},
    {"txt_Baud_Rates", "QLineEdit", "fra_Speed", 1860, 240, 1275, 285, "115200",
     "Velocità trasmissione dati", "Baud Rates:"},
    {"txt_Lenght_Byte", "QLineEdit", "fra_Speed", 1860, 540, 1275, 285, "8", "Lunghezza dato 8 bit",
     "Lunghezza dato in bit:"},
    {"txt_Parity_Bit", "QLineEdit", "fra_Speed", 1860, 840, 1275, 285, "Nessuno", "Bit di parità",
     "Bit di parità:"},
    {"txt_Stop_Bit", "QLineEdit", "fra_Speed", 1860, 1140, 1275, 285, "1", "Numero bit di stop",
     "Bit di stop:"},
    {"fra_Set_Port", "QGroupBox", "fra_Select_RS232", 120, 1020, 1995, 735,
     "Attiva porta selezionata:", "", "Attiva porta selezionata:"},
    {"cmd_ON", "QPushButton", "fra_Set_Port", 120, 300, 795, 315, "ON",
     "Attiva porta seriale selezionata", "ON"},
    {"cmd_OFF", "QPushButton", "fra_Set_Port", 1080, 300, 795, 315, "OFF",
     "Disattiva porta seriale", "OFF"},
    {"fra_Comandi", "QGroupBox", "fra_Select_RS232", 120, 1800, 5475, 735,
     "Lettura/Scrittura modulo LCD alarm:", "", "Lettura/Scrittura modulo LCD alarm:"},
    {"cmd_Write_RS232", "QPushButton", "fra_Comandi", 180, 300, 1650, 315, "Scrivi modulo LCD",
     "Scrive modulo LCD gestione allarmi", "Scrivi modulo LCD"},
    {"rtb_RS232_SPY", "QTextEdit", "fra_Select_RS232", 120, 2580, 5475, 4755, "", "", nullptr},
    {"lbl_Send_Packet", "QLabel", "fra_Select_RS232", 180, 7980, 1755, 255,
     "Pacchetti inviati al PIC:", "", "Pacchetti inviati al PIC:"},
    {"lbl_Received_Packet", "QLabel", "fra_Select_RS232", 180, 8340, 1995, 255,
     "Pacchetti ricevuti dal PIC:", "", "Pacchetti ricevuti dal PIC:"},
    {"txt_Send_Packet", "QLineEdit", "fra_Select_RS232", 2400, 7920, 1275, 285, "0",
     "Numero pacchetti inviati al PIC", "Pacchetti inviati al PIC:"},
    {"txt_Received_Packet", "QLineEdit", "fra_Select_RS232", 2400, 8280, 1275, 285, "0",
     "Numero pacchetti ricevuti dal PIC", "Pacchetti ricevuti dal PIC:"},
    {"cmd_Stop_RS232", "QPushButton", "fra_Select_RS232", 3780, 2100, 1650, 315, "Stop ",
     "Abortisce scrittura / lettura modulo LCD gestione allarmi", "Stop "},
    {"pgb_RS232", "QProgressBar", "fra_Select_RS232", 120, 7440, 5475, 375, "", "", nullptr},
    {"cmd_Exit", "QPushButton", "fra_Select_RS232", 3840, 7920, 1650, 615, "E&xit", "", "Exit"},
};

QString Caption_Of(QWidget* w) {
    if (auto* b = qobject_cast<QPushButton*>(w)) {
        return b->text();
    }
    if (auto* g = qobject_cast<QGroupBox*>(w)) {
        return g->title();
    }
    if (auto* l = qobject_cast<QLabel*>(w)) {
        return l->text();
    }
    if (auto* e = qobject_cast<QLineEdit*>(w)) {
        return e->text();
    }
    return {};
}

using LayoutTest = SerialWindowTest;

TEST_F(LayoutTest, EveryControlHasItsNameKindPlaceTextTipAndAccessibleNames) {
    Ports_Free(1, 1);
    Open_Window();
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Comunicazione seriale verso modulo LCD"));
    EXPECT_EQ(window->objectName(), QStringLiteral("frm_RS232"));
    EXPECT_EQ(window->size(), QSize(Twips(5805), Twips(8730)));
    for (const ControlRow& row : kLayout) {
        SCOPED_TRACE(row.name);
        QWidget* w = Find<QWidget>(row.name);
        ASSERT_NE(w, nullptr);
        EXPECT_STREQ(w->metaObject()->className(), row.kind);
        EXPECT_EQ(w->parentWidget()->objectName(), QString::fromLatin1(row.container));
        EXPECT_EQ(w->y(), Twips(row.top));
        EXPECT_EQ(w->height(), Twips(row.height));
        // Labels may grow into free space so that a wider system font is not cut off, and the
        // settings boxes beside them give way to the right, keeping their right edge.
        if (qobject_cast<QLabel*>(w) != nullptr) {
            auto* label = qobject_cast<QLabel*>(w);
            EXPECT_EQ(w->x(), Twips(row.left));
            EXPECT_GE(w->width(), Twips(row.width));
            EXPECT_GE(w->width(), label->fontMetrics().horizontalAdvance(label->text()));
        } else if (w->parentWidget()->objectName() == QStringLiteral("fra_Speed")) {
            EXPECT_GE(w->x(), Twips(row.left));
            EXPECT_EQ(w->x() + w->width(), Twips(row.left) + Twips(row.width));
        } else {
            EXPECT_EQ(w->pos(), QPoint(Twips(row.left), Twips(row.top)));
            EXPECT_EQ(w->width(), Twips(row.width));
        }
        if (qobject_cast<QComboBox*>(w) == nullptr) {
            EXPECT_EQ(Caption_Of(w), QString::fromUtf8(row.text));
        }
        EXPECT_EQ(w->toolTip(), QString::fromUtf8(row.tip));
        EXPECT_EQ(w->accessibleDescription(),
                  *row.tip != '\0' ? QString::fromUtf8(row.tip) : QString::fromLatin1(row.name));
        if (row.accessibleName != nullptr) {
            EXPECT_EQ(w->accessibleName(), QString::fromUtf8(row.accessibleName));
        } else {
            EXPECT_FALSE(w->accessibleName().isEmpty());
        }
    }
}

TEST_F(LayoutTest, AccentedTextsArriveIntact) {
    Ports_Free(1, 1);
    Open_Window();
    EXPECT_EQ(Find<QLabel>("lbl_Parity_Bit")->text(), QString::fromUtf8("Bit di parit\u00e0:"));
    EXPECT_EQ(Find<QLineEdit>("txt_Baud_Rates")->toolTip(),
              QString::fromUtf8("Velocit\u00e0 trasmissione dati"));
    EXPECT_EQ(Find<QLineEdit>("txt_Parity_Bit")->toolTip(),
              QString::fromUtf8("Bit di parit\u00e0"));
}

TEST_F(LayoutTest, TabOrderFollowsTheLayout) {
    Ports_Free(1, 1);
    Open_Window();
    const char* order[] = {"cmb_RS232",       "txt_Baud_Rates",      "txt_Lenght_Byte",
                           "txt_Parity_Bit",  "txt_Stop_Bit",        "cmd_ON",
                           "cmd_OFF",         "cmd_Write_RS232",     "rtb_RS232_SPY",
                           "txt_Send_Packet", "txt_Received_Packet", "cmd_Stop_RS232",
                           "cmd_Exit"};
    std::set<QString> named;
    for (const char* n : order) {
        named.insert(QString::fromLatin1(n));
    }
    std::vector<std::string> seen;
    QWidget* w = Find<QWidget>("cmb_RS232");
    for (int i = 0; i < 200 && seen.size() < std::size(order); ++i) {
        if (named.count(w->objectName()) != 0 &&
            (seen.empty() || seen.back() != w->objectName().toStdString())) {
            seen.push_back(w->objectName().toStdString());
        }
        w = w->nextInFocusChain();
    }
    EXPECT_EQ(seen, std::vector<std::string>(std::begin(order), std::end(order)));
}

TEST_F(LayoutTest, StopStandsOutsideTheCommandFrameAndStaysUsable) {
    Ports_Free(1, 1);
    Open_Window();
    auto* stop = Find<QPushButton>("cmd_Stop_RS232");
    auto* frame = Find<QGroupBox>("fra_Comandi");
    EXPECT_FALSE(frame->isAncestorOf(stop));
    EXPECT_FALSE(frame->isEnabled());
    EXPECT_FALSE(Enabled("cmd_Write_RS232"));
    EXPECT_TRUE(stop->isEnabled());
    // It lies over the frame's area and is drawn above it, so clicks reach it.
    const QRect frameArea = frame->geometry();
    EXPECT_TRUE(frameArea.contains(stop->geometry()));
    EXPECT_EQ(stop->parentWidget()->childAt(stop->geometry().center()), stop);
    Click("cmd_Stop_RS232");
    EXPECT_TRUE(StopRequested);
}

TEST_F(LayoutTest, TraceProgressAndDesignTimeValues) {
    Ports_Free(1, 1);
    Open_Window();
    auto* trace = Find<QTextEdit>("rtb_RS232_SPY");
    EXPECT_TRUE(trace->isReadOnly());
    EXPECT_TRUE(trace->toPlainText().isEmpty());
    const QFont font = trace->font();
    EXPECT_TRUE(font.bold());
    EXPECT_DOUBLE_EQ(font.pointSizeF(), 9.75);
    EXPECT_TRUE(QFontInfo(font).fixedPitch());
    auto* bar = Find<QProgressBar>("pgb_RS232");
    EXPECT_EQ(bar->minimum(), 0);
    EXPECT_EQ(bar->maximum(), 512);
    EXPECT_EQ(bar->value(), 0);
    auto* combo = Find<QComboBox>("cmb_RS232");
    EXPECT_TRUE(combo->isEditable());
    EXPECT_EQ(Find<QPushButton>("cmd_Exit")->shortcut(), QKeySequence(QStringLiteral("Alt+X")));
    EXPECT_EQ(Find<QLabel>("lbl_Send_Packet")->buddy(), Find<QWidget>("txt_Send_Packet"));
}

TEST_F(LayoutTest, CentredOnTheScreenWhenCreated) {
    Ports_Free(1, 1);
    window = std::make_unique<frm_RS232>(services);
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const QRect frame = window->frameGeometry();
    EXPECT_LE(std::abs(frame.center().x() - screen.center().x()), 1);
    EXPECT_LE(std::abs(frame.center().y() - screen.center().y()), 1);
}

}  // namespace
}  // namespace lcdprog::test
