#include "platform/qt/layout.h"

#include <algorithm>

#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QProxyStyle>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTextEdit>

#include "platform/qt/accessibility.h"
#include "platform/qt/crisp_picture.h"
#include "platform/qt/twips.h"

namespace lcdprog::platform {
namespace {

// The tab bar's horizontal padding, a little tighter than the platform's: the tab headers were
// drawn for an 8.25 pt font, and even at that size the platform's font and padding would push
// the last header behind scroll arrows. (A style sheet would do that too, but it stops the
// desktop's colour scheme from reaching the grids.)
class TightTabStyle final : public QProxyStyle {
  public:
    int pixelMetric(PixelMetric metric, const QStyleOption* option,
                    const QWidget* widget) const override {
        const int value = QProxyStyle::pixelMetric(metric, option, widget);
        return metric == PM_TabBarTabHSpace ? std::max(value - 6, 6) : value;
    }
};

// The inside of a frame, where the controls it does not name are put. Qt presents every direct
// child of a titled frame as labelled by the frame, so a screen reader would give the frame's
// caption to each of them ("Seleziona porta seriale tra quelle disponibili:" for Stop, Exit, the
// trace and the counters). It covers the whole frame, so the controls keep their places.
class FrameInside final : public QWidget {
  public:
    explicit FrameInside(QGroupBox* frame) : QWidget(frame) {
        setGeometry(frame->rect());
        frame->installEventFilter(this);
    }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Resize) {
            setGeometry(static_cast<QWidget*>(watched)->rect());
        }
        return false;
    }
};

QTableWidget* New_Grid(QWidget* parent) {
    auto* grid = new QTableWidget(parent);
    grid->horizontalHeader()->hide();
    grid->verticalHeader()->hide();
    // Cells are 10 px; the headers would otherwise refuse sections narrower than the font.
    grid->horizontalHeader()->setMinimumSectionSize(0);
    grid->verticalHeader()->setMinimumSectionSize(0);
    grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    grid->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // A selection highlight would hide the pixel's colour; the current cell is still tracked.
    grid->setSelectionMode(QAbstractItemView::NoSelection);
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPointSizeF(8.25);
    grid->setFont(font);
    return grid;
}

QWidget* New_Control(const ControlRow& row, QWidget* parent) {
    switch (row.kind) {
        case Kind::Frame:
            return new QGroupBox(row.caption, parent);
        case Kind::Label:
            return new QLabel(row.caption, parent);
        case Kind::Button:
            return new QPushButton(row.caption, parent);
        case Kind::TextBox: {
            auto* edit = new QLineEdit(row.caption, parent);
            edit->setReadOnly(true);
            return edit;
        }
        case Kind::ComboBox: {
            auto* combo = new QComboBox(parent);
            combo->setEditable(true);
            // Entries stay in the order the program adds them; typing adds none.
            combo->setInsertPolicy(QComboBox::NoInsert);
            combo->setEditText(row.caption);
            return combo;
        }
        case Kind::PictureBox: {
            // One pixel of border around a picture shown at its own size, in whole device
            // pixels at any scale factor.
            auto* box = new CrispPicture(parent);
            box->setFrameStyle(QFrame::Panel | QFrame::Sunken);
            box->setLineWidth(1);
            box->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            box->setScaledContents(false);
            // Focusable, so the context-menu key can do what the right button does.
            box->setFocusPolicy(Qt::StrongFocus);
            return box;
        }
        case Kind::Grid:
            return New_Grid(parent);
        case Kind::Tabs: {
            auto* tabs = new QTabWidget(parent);
            auto* style = new TightTabStyle;
            style->setParent(tabs);
            tabs->tabBar()->setStyle(style);
            return tabs;
        }
        case Kind::Page: {
            auto* page = new QWidget;
            static_cast<QTabWidget*>(parent)->addTab(page, row.caption);
            return page;
        }
        case Kind::RichText: {
            auto* text = new QTextEdit(parent);
            text->setReadOnly(true);
            text->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
            text->setAcceptRichText(false);
            return text;
        }
        case Kind::Progress:
            return new QProgressBar(parent);
    }
    return nullptr;
}

QString Caption_Of(const QWidget* w) {
    if (const auto* frame = qobject_cast<const QGroupBox*>(w)) {
        return frame->title();
    }
    if (const auto* label = qobject_cast<const QLabel*>(w)) {
        return label->text();
    }
    return {};
}

}  // namespace

Controls Build_Controls(QWidget* client, std::span<const ControlRow> rows) {
    Controls built;
    QHash<QString, QTabWidget*> tabsOfPage;
    QHash<QGroupBox*, QWidget*> insides;
    for (const ControlRow& row : rows) {
        const bool element = row.index >= 0;
        const QString name = element ? row.name + QStringLiteral("_%1").arg(row.index) : row.name;
        QWidget* parent = row.parent.isEmpty() ? client : built.Get(row.parent);
        if (auto* frame = qobject_cast<QGroupBox*>(parent);
            frame != nullptr && row.namedBy != row.parent) {
            if (!insides.contains(frame)) {
                insides.insert(frame, new FrameInside(frame));
            }
            parent = insides.value(frame);
        }
        QWidget* w = New_Control(row, parent);
        w->setObjectName(name);
        built.Add(w);
        if (row.kind == Kind::Page) {
            tabsOfPage.insert(name, static_cast<QTabWidget*>(parent));
            continue;
        }
        int top = Twips(row.top);
        if (const QTabWidget* tabs = tabsOfPage.value(row.parent)) {
            // A page begins below the tab headers, which the drawing counted in.
            top = std::max(0, top - (tabs->tabBar()->sizeHint().height() + 2));
        }
        w->setGeometry(Twips(row.left), top, Twips(row.width), Twips(row.height));
        QString spoken = row.caption;
        if (!row.namedBy.isEmpty()) {
            QWidget* namer = built.Get(row.namedBy);
            spoken = Caption_Of(namer);
            if (auto* label = qobject_cast<QLabel*>(namer)) {
                label->setBuddy(w);
            }
        }
        Name_Control(w, name, spoken, row.tip);
    }
    return built;
}

void Fit_Frame(QGroupBox* frame, int rightLimitPx) {
    const int wanted = frame->fontMetrics().horizontalAdvance(frame->title()) + 24;
    const int width = std::min(wanted, rightLimitPx - frame->x());
    if (width > frame->width()) {
        frame->resize(width, frame->height());
    }
}

}  // namespace lcdprog::platform
