#pragma once

#include <QAction>
#include <QMenu>
#include <QString>
#include <QUndoCommand>
#include <QUndoStack>
#include <array>
#include <functional>
#include <utility>

#include "platform/qt/announcer.h"

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
// each names the step it undoes or redoes ("Annulla modifica del glifo 5x8"). What was undone or
// redone is said by `announcer` ("Annullato: modifica del glifo 5x8"): the keys change nothing
// under the focus that a screen reader would speak.
inline std::array<QAction*, 2> Add_History_Actions(QUndoStack* history, QMenu* menu,
                                                   Announcer* announcer) {
    QAction* undo = history->createUndoAction(menu, QStringLiteral("&Annulla"));
    undo->setObjectName(QStringLiteral("smnu_Annulla"));
    undo->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    QAction* redo = history->createRedoAction(menu, QStringLiteral("&Ripeti"));
    redo->setObjectName(QStringLiteral("smnu_Ripeti"));
    redo->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)});
    menu->addAction(undo);
    menu->addAction(redo);
    // Connected after the stack's own: the step just undone is the one to redo now.
    QObject::connect(undo, &QAction::triggered, announcer, [history, announcer] {
        announcer->Say(QStringLiteral("Annullato: ") + history->redoText());
    });
    QObject::connect(redo, &QAction::triggered, announcer, [history, announcer] {
        announcer->Say(QStringLiteral("Ripetuto: ") + history->undoText());
    });
    return {undo, redo};
}

}  // namespace lcdprog::platform
