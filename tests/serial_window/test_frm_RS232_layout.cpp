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
    const char* accessibleName = nullptr;  // none: the text, or any for a control without one
};

const ControlRow kLayout[] = {
    {"fra_Select_RS232", "QGroupBox", "frm_RS232", 60, 0, 5715, 8715,
     "Seleziona porta seriale tra quelle disponibili:", ""},
    {"fra_RS232", "QGroupBox", "fra_Select_RS232", 120, 240, 1995, 735, "Porte disponibili:", ""},
    {"cmb_RS232", "QComboBox", "fra_RS232", 120, 300, 1755, 315, "",
     "Selezionare una porta seriale dall'elenco", "Porte disponibili:"},
    {"fra_Speed", "QGroupBox", "fra_Select_RS232", 2220, 240, 3375, 1515,
     "Impostazioni porta seriale:", ""},
    {"lbl_Baud_Rates", "QLabel", "fra_Speed", 120, 300, 1700, 255, "Baud Rates:", ""},
    {"lbl_Lenght_Byte", "QLabel", "fra_Speed", 120, 600, 1700, 255, "Lunghezza dato in bit:", ""},
    {"lbl_Parity_Bit", "QLabel", "fra_Speed", 120, 900, 1700, 255, "Bit di parit\u00e0:", ""},
    {"lbl_Stop_Bit", "QLabel", "fra_Speed", 120, 1200, 1695, 255, "Bit di stop:", ""},
    {"txt_Baud_Rates", "QLineEdit", "fra_Speed", 1860, 240, 1275, 285, "115200",
     "Velocit\u00e0 trasmissione dati", "Baud Rates:"},
    {"txt_Lenght_Byte", "QLineEdit", "fra_Speed", 1860, 540, 1275, 285, "8", "Lunghezza dato 8 bit",
     "Lunghezza dato in bit:"},
    {"txt_Parity_Bit", "QLineEdit", "fra_Speed", 1860, 840, 1275, 285, "Nessuno",
     "Bit di parit\u00e0", "Bit di parit\u00e0:"},
    {"txt_Stop_Bit", "QLineEdit", "fra_Speed", 1860, 1140, 1275, 285, "1", "Numero bit di stop",
     "Bit di stop:"},
    {"fra_Set_Port", "QGroupBox", "fra_Select_RS232", 120, 1020, 1995, 735,
     "Attiva porta selezionata:", ""},
    {"cmd_ON", "QPushButton", "fra_Set_Port", 120, 300, 795, 315, "ON",
     "Attiva porta seriale selezionata"},
    {"cmd_OFF", "QPushButton", "fra_Set_Port", 1080, 300, 795, 315, "OFF",
     "Disattiva porta seriale"},
    {"fra_Comandi", "QGroupBox", "fra_Select_RS232", 120, 1800, 5475, 735,
     "Lettura/Scrittura modulo LCD alarm:", ""},
    {"cmd_Write_RS232", "QPushButton", "fra_Comandi", 180, 300, 1650, 315, "Scrivi modulo LCD",
     "Scrive modulo LCD gestione allarmi"},
    {"rtb_RS232_SPY", "QTextEdit", "fra_Select_RS232", 120, 2580, 5475, 4755, "", ""},
    {"lbl_Send_Packet", "QLabel", "fra_Select_RS232", 180, 7980, 1755, 255,
     "Pacchetti inviati al PIC:", ""},
    {"lbl_Received_Packet", "QLabel", "fra_Select_RS232", 180, 8340, 1995, 255,
     "Pacchetti ricevuti dal PIC:", ""},
    {"txt_Send_Packet", "QLineEdit", "fra_Select_RS232", 2400, 7920, 1275, 285, "0",
     "Numero pacchetti inviati al PIC", "Pacchetti inviati al PIC:"},
    {"txt_Received_Packet", "QLineEdit", "fra_Select_RS232", 2400, 8280, 1275, 285, "0",
     "Numero pacchetti ricevuti dal PIC", "Pacchetti ricevuti dal PIC:"},
    {"cmd_Stop_RS232", "QPushButton", "fra_Select_RS232", 3780, 2100, 1650, 315, "Stop ",
     "Abortisce scrittura / lettura modulo LCD gestione allarmi"},
    {"pgb_RS232", "QProgressBar", "fra_Select_RS232", 120, 7440, 5475, 375, "", ""},
    {"cmd_Exit", "QPushButton", "fra_Select_RS232", 3840, 7920, 1650, 615, "E&xit", "", "Exit"},
};

using LayoutTest = SerialWindowTest;

TEST_F(LayoutTest, EveryControlHasItsNameKindPlaceTextTipAndAccessibleNames) {
    Ports_Free(1, 1);
    Open_Window();
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Comunicazione seriale verso modulo LCD"));
    EXPECT_EQ(window->objectName(), QStringLiteral("frm_RS232"));
    EXPECT_EQ(window->size(), QSize(Twips(5805), Twips(8730 + 480)));  // and the status line
    for (const ControlRow& row : kLayout) {
        SCOPED_TRACE(row.name);
        QWidget* w = Find(row.name);
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
        if (*row.text != '\0') {
            EXPECT_EQ(w->property(qobject_cast<QGroupBox*>(w) ? "title" : "text").toString(),
                      QString::fromUtf8(row.text));
        }
        EXPECT_EQ(w->toolTip(), QString::fromUtf8(row.tip));
        EXPECT_EQ(w->accessibleDescription(),
                  *row.tip != '\0' ? QString::fromUtf8(row.tip) : QString::fromLatin1(row.name));
        if (row.accessibleName != nullptr || *row.text != '\0') {
            EXPECT_EQ(w->accessibleName(),
                      QString::fromUtf8(row.accessibleName ? row.accessibleName : row.text));
        } else {
            EXPECT_FALSE(w->accessibleName().isEmpty());
        }
    }
}

TEST_F(LayoutTest, TabOrderStopOutsideTheCommandFrameTraceFontProgressAndShortcuts) {
    Ports_Free(1, 1);
    Open_Window();
    const char* order[] = {"cmb_RS232",       "txt_Baud_Rates",      "txt_Lenght_Byte",
                           "txt_Parity_Bit",  "txt_Stop_Bit",        "cmd_ON",
                           "cmd_OFF",         "cmd_Write_RS232",     "rtb_RS232_SPY",
                           "txt_Send_Packet", "txt_Received_Packet", "cmd_Stop_RS232",
                           "cmd_Exit"};
    // Walk the focus chain, keeping the named controls (a combo's line edit sits between).
    std::vector<std::string> seen;
    QWidget* w = Find("cmb_RS232");
    for (int i = 0; i < 200 && seen.size() < std::size(order); ++i, w = w->nextInFocusChain()) {
        const std::string name = w->objectName().toStdString();
        if (std::find(std::begin(order), std::end(order), name) != std::end(order) &&
            (seen.empty() || seen.back() != name)) {
            seen.push_back(name);
        }
    }
    EXPECT_EQ(seen, std::vector<std::string>(std::begin(order), std::end(order)));
    auto* stop = Find<QPushButton>("cmd_Stop_RS232");
    auto* frame = Find<QGroupBox>("fra_Comandi");
    EXPECT_FALSE(frame->isAncestorOf(stop));
    EXPECT_TRUE(frame->geometry().contains(stop->geometry()));
    EXPECT_EQ(stop->parentWidget()->childAt(stop->geometry().center()), stop) << "drawn above";
    EXPECT_FALSE(frame->isEnabled());
    Click("cmd_Stop_RS232");
    EXPECT_TRUE(StopRequested);
    auto* trace = Find<QTextEdit>("rtb_RS232_SPY");
    EXPECT_TRUE(trace->isReadOnly());
    EXPECT_TRUE(trace->font().bold());
    EXPECT_DOUBLE_EQ(trace->font().pointSizeF(), 9.75);
    EXPECT_TRUE(QFontInfo(trace->font()).fixedPitch());
    auto* bar = Find<QProgressBar>("pgb_RS232");
    EXPECT_EQ(std::make_tuple(bar->minimum(), bar->maximum(), bar->value()),
              std::make_tuple(0, 512, 0));
    EXPECT_TRUE(Find<QComboBox>("cmb_RS232")->isEditable());
    EXPECT_EQ(Find<QPushButton>("cmd_Exit")->shortcut(), QKeySequence(QStringLiteral("Alt+X")));
    EXPECT_EQ(Find<QLabel>("lbl_Send_Packet")->buddy(), Find("txt_Send_Packet"));
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
