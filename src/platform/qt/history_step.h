#pragma once

#include <QAction>
#include <QMenu>
#include <QString>
#include <QUndoCommand>
#include <QUndoStack>
#include <array>
#include <functional>
#include <utility>

namespace lcdprog::platform {

// One step of a window's history (the main window's, the picture editor's): what puts the state
// back and what puts it forward again. `done` says the change has already been made (a click
// toggles its cell first), so the first redo, which QUndoStack::push() runs at once, is skipped.
class HistoryStep final : public QUndoCommand {
  public:
    HistoryStep(const QString& text, std::function<void()> undo, std::function<void()> redo,
                bool done)
        : QUndoCommand(text), undo_(std::move(undo)), redo_(std::move(redo)), done_(done) {}
    void undo() override { undo_(); }
    void redo() override {
        if (done_) {
            done_ = false;
            return;
        }
        redo_();
    }

  private:
    std::function<void()> undo_;
    std::function<void()> redo_;
    bool done_;
};

// "&Annulla" and "&Ripeti" added to `menu` as smnu_Annulla and smnu_Ripeti, with the usual keys;
// each names the step it undoes or redoes ("Annulla modifica del glifo 5x8").
inline std::array<QAction*, 2> Add_History_Actions(QUndoStack* history, QMenu* menu) {
    QAction* undo = history->createUndoAction(menu, QStringLiteral("&Annulla"));
    undo->setObjectName(QStringLiteral("smnu_Annulla"));
    undo->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    QAction* redo = history->createRedoAction(menu, QStringLiteral("&Ripeti"));
    redo->setObjectName(QStringLiteral("smnu_Ripeti"));
    redo->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)});
    menu->addAction(undo);
    menu->addAction(redo);
    return {undo, redo};
}

}  // namespace lcdprog::platform
