#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <vector>

#include "state/glyph_tools.h"

class QAction;
class QMenu;
class QTableWidget;

namespace lcdprog {

// What the glyph menu offers: the tools, then the clipboard and a character of a font.
enum class GlyphCommand {
    Clear,
    Invert,
    MirrorHorizontally,
    MirrorVertically,
    ShiftUp,
    ShiftDown,
    ShiftLeft,
    ShiftRight,
    Copy,
    Paste,
    FromCharacter,
};

// A command as its step of the history names it: "Specchia orizzontalmente", "Sposta su".
QString Step_Name(GlyphCommand command);

// The tool a command is, for the commands that are one.
std::optional<GlyphTool> Tool_Of(GlyphCommand command);

// The keyboard and the menu of one glyph grid: the arrows move the cursor cell (drawn as a frame
// while the grid has the focus), Home/End and Ctrl+arrows go to the edges, Tab leaves the grid,
// and each command has a key that works while the grid has the focus. The right button or the
// context-menu key opens the menu. Toggling (Space, a click) stays with the window.
class GlyphGrid final : public QObject {
    Q_OBJECT
  public:
    GlyphGrid(QTableWidget* grid, GlyphSize size, std::function<void(GlyphCommand)> run);

    QMenu* Menu() const { return menu_; }
    QAction* Action(GlyphCommand command) const;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QTableWidget* grid_;
    QMenu* menu_;
    std::vector<std::pair<GlyphCommand, QAction*>> actions_;
};

}  // namespace lcdprog
