#pragma once

#include <QString>
#include <QUndoCommand>
#include <functional>
#include <utility>

namespace lcdprog {

// One step of the main window's history: what puts the state back and what puts it forward
// again. `done` says the change has already been made (a click toggles its cell first), so the
// first redo, which QUndoStack::push() runs at once, is skipped.
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

}  // namespace lcdprog
