#include "main_window/glyph_grid.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QTableWidget>

namespace lcdprog {
namespace {

// The current cell framed in the highlight colour while the grid has the focus: with selection
// off (a highlight would hide the pixel) the platform's own focus mark is a dotted line that a
// set cell's dark background swallows.
class CursorDelegate final : public QStyledItemDelegate {
  public:
    explicit CursorDelegate(QTableWidget* grid) : QStyledItemDelegate(grid), grid_(grid) {}
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem plain = option;
        plain.state &= ~QStyle::State_HasFocus;
        QStyledItemDelegate::paint(painter, plain, index);
        if (grid_->hasFocus() && index == grid_->currentIndex()) {
            painter->save();
            QPen pen(grid_->palette().color(QPalette::Highlight));
            pen.setWidth(2);
            painter->setPen(pen);
            painter->drawRect(option.rect.adjusted(1, 1, -1, -1));
            painter->restore();
        }
    }

  private:
    QTableWidget* grid_;
};

struct CommandRow {
    GlyphCommand command;
    const char* name;  // objectName after "smnu_Glifo_5x8_"
    const char* caption;
    QKeySequence keys;
    bool inShiftMenu;
    const char* step;  // the history step's name, before " del glifo 5x8"
};

const CommandRow kCommands[] = {
    {GlyphCommand::Clear, "Pulisci", "Pulisci", QKeySequence(Qt::Key_Delete), false, "Pulisci"},
    {GlyphCommand::Invert, "Inverti", "Inverti", QKeySequence(Qt::Key_I), false, "Inverti"},
    {GlyphCommand::MirrorHorizontally, "Specchia_Orizzontalmente", "Specchia orizzontalmente",
     QKeySequence(Qt::Key_H), false, "Specchia orizzontalmente"},
    {GlyphCommand::MirrorVertically, "Specchia_Verticalmente", "Specchia verticalmente",
     QKeySequence(Qt::Key_V), false, "Specchia verticalmente"},
    {GlyphCommand::ShiftUp, "Sposta_Su", "Su", QKeySequence(Qt::SHIFT | Qt::Key_Up), true,
     "Sposta su"},
    {GlyphCommand::ShiftDown, "Sposta_Giu", "Giù", QKeySequence(Qt::SHIFT | Qt::Key_Down), true,
     "Sposta giù"},
    {GlyphCommand::ShiftLeft, "Sposta_Sinistra", "Sinistra", QKeySequence(Qt::SHIFT | Qt::Key_Left),
     true, "Sposta a sinistra"},
    {GlyphCommand::ShiftRight, "Sposta_Destra", "Destra", QKeySequence(Qt::SHIFT | Qt::Key_Right),
     true, "Sposta a destra"},
    {GlyphCommand::Copy, "Copia", "Copia", QKeySequence(Qt::CTRL | Qt::Key_C), false, "Copia"},
    {GlyphCommand::Paste, "Incolla", "Incolla", QKeySequence(Qt::CTRL | Qt::Key_V), false,
     "Incolla"},
    {GlyphCommand::FromCharacter, "Da_Carattere", "Da carattere...", QKeySequence(Qt::Key_F), false,
     "Da carattere"},
};

}  // namespace

QString Step_Name(GlyphCommand command) {
    for (const CommandRow& row : kCommands) {
        if (row.command == command) {
            return QString::fromUtf8(row.step);
        }
    }
    return {};
}

std::optional<GlyphTool> Tool_Of(GlyphCommand command) {
    switch (command) {
        case GlyphCommand::Clear:
            return GlyphTool::Clear;
        case GlyphCommand::Invert:
            return GlyphTool::Invert;
        case GlyphCommand::MirrorHorizontally:
            return GlyphTool::MirrorHorizontally;
        case GlyphCommand::MirrorVertically:
            return GlyphTool::MirrorVertically;
        case GlyphCommand::ShiftUp:
            return GlyphTool::ShiftUp;
        case GlyphCommand::ShiftDown:
            return GlyphTool::ShiftDown;
        case GlyphCommand::ShiftLeft:
            return GlyphTool::ShiftLeft;
        case GlyphCommand::ShiftRight:
            return GlyphTool::ShiftRight;
        default:
            return std::nullopt;
    }
}

GlyphGrid::GlyphGrid(QTableWidget* grid, GlyphSize size, std::function<void(GlyphCommand)> run)
    : QObject(grid), grid_(grid), menu_(new QMenu(grid)) {
    const QString prefix = QStringLiteral("smnu_Glifo_%1_").arg(QLatin1String(size.name));
    menu_->setObjectName(QStringLiteral("mnu_Glifo_%1").arg(QLatin1String(size.name)));
    menu_->setTitle(QStringLiteral("Glifo %1").arg(QLatin1String(size.name)));
    QMenu* shift = nullptr;
    for (const CommandRow& row : kCommands) {
        if (row.command == GlyphCommand::Copy || row.command == GlyphCommand::FromCharacter) {
            menu_->addSeparator();
        }
        if (row.inShiftMenu && shift == nullptr) {
            shift = menu_->addMenu(QStringLiteral("Sposta"));
            shift->setObjectName(prefix + QStringLiteral("Sposta"));
        }
        QAction* action =
            (row.inShiftMenu ? shift : menu_)->addAction(QString::fromUtf8(row.caption));
        action->setObjectName(prefix + QLatin1String(row.name));
        // Shown in the menu; the grid itself turns the keys into commands (eventFilter), so
        // they act only while that grid has the focus.
        action->setShortcut(row.keys);
        action->setShortcutContext(Qt::WidgetShortcut);
        connect(action, &QAction::triggered, this, [run, c = row.command] { run(c); });
        actions_.emplace_back(row.command, action);
    }

    // Tab and Shift+Tab leave the grid for the next control instead of walking its cells.
    grid_->setTabKeyNavigation(false);
    grid_->setItemDelegate(new CursorDelegate(grid_));
    grid_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(grid_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        // The keyboard's menu opens at the cursor cell, the mouse's where it was pressed.
        const QModelIndex under = grid_->indexAt(at);
        if (under.isValid()) {
            grid_->setCurrentIndex(under);
        }
        menu_->popup(grid_->viewport()->mapToGlobal(at));
    });
    grid_->installEventFilter(this);
}

QAction* GlyphGrid::Action(GlyphCommand command) const {
    for (const auto& [c, action] : actions_) {
        if (c == command) {
            return action;
        }
    }
    return nullptr;
}

bool GlyphGrid::eventFilter(QObject* watched, QEvent* event) {
    if (watched != grid_ ||
        (event->type() != QEvent::KeyPress && event->type() != QEvent::ShortcutOverride)) {
        return QObject::eventFilter(watched, event);
    }
    auto* key = static_cast<QKeyEvent*>(event);
    const QKeySequence pressed(key->keyCombination());
    for (const auto& [command, action] : actions_) {
        if (action->shortcut() == pressed) {
            // Claimed before the window's shortcuts see it, then run on the key press.
            event->accept();
            if (event->type() == QEvent::KeyPress) {
                action->trigger();
            }
            return true;
        }
    }
    if (event->type() != QEvent::KeyPress) {
        return false;
    }
    const int lastRow = grid_->rowCount() - 1;
    const int lastColumn = grid_->columnCount() - 1;
    const int r = std::max(grid_->currentRow(), 0);
    const int c = std::max(grid_->currentColumn(), 0);
    const bool control = key->modifiers() == Qt::ControlModifier;
    const bool none = key->modifiers() == Qt::NoModifier || key->modifiers() == Qt::KeypadModifier;
    int toRow = -1;
    int toColumn = -1;
    switch (key->key()) {
        case Qt::Key_Home:
            toRow = control ? 0 : r;
            toColumn = 0;
            break;
        case Qt::Key_End:
            toRow = control ? lastRow : r;
            toColumn = lastColumn;
            break;
        case Qt::Key_Up:
            toRow = control ? 0 : std::max(r - 1, 0);
            toColumn = c;
            break;
        case Qt::Key_Down:
            toRow = control ? lastRow : std::min(r + 1, lastRow);
            toColumn = c;
            break;
        case Qt::Key_Left:
            toRow = r;
            toColumn = control ? 0 : std::max(c - 1, 0);
            break;
        case Qt::Key_Right:
            toRow = r;
            toColumn = control ? lastColumn : std::min(c + 1, lastColumn);
            break;
        default:
            return false;
    }
    if (!control && !none) {
        return false;
    }
    grid_->setCurrentCell(toRow, toColumn);
    return true;
}

}  // namespace lcdprog
