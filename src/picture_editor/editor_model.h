#pragma once

// The picture editor without its window: the picture, the selection, the tool and the gesture in
// progress, turned into calls of the drawing tools (picture/drawing.h). A mouse drag and the
// keyboard's Space ... arrows ... Space are the same gesture here (press, moves, release), so
// both draw exactly the same pixels. Every change of the picture comes back as one step with the
// state before and after it, for the window's undo history.

#include <optional>
#include <string>

#include "picture/character.h"
#include "picture/drawing.h"

namespace lcdprog {

enum class DrawingTool { Pencil, Eraser, Line, Rectangle, Ellipse, Fill, Text, Selection };

// A box of pixels by its top-left pixel and its size. A selection lies inside the picture when
// it is made; a piece moved or pasted may then reach beyond the edges, and keeps its hidden part.
struct Area {
    picture::Point at;
    int width = 0;
    int height = 0;
    picture::Point Far() const { return {at.x + width - 1, at.y + height - 1}; }
    bool Contains(picture::Point p) const {
        return p.x >= at.x && p.y >= at.y && p.x < at.x + width && p.y < at.y + height;
    }
    friend bool operator==(const Area&, const Area&) = default;
};

// What one step of the history puts back.
struct EditorState {
    picture::Bits picture;
    std::optional<Area> selection;
    // A selection's pixels once they were moved or pasted float over `under` (the picture without
    // them) until something else is done: moving them again uncovers what was beneath, instead of
    // leaving paper there. Then picture is `piece` pasted over `under` at the selection.
    std::optional<picture::Bits> piece;
    picture::Bits under;
};

struct EditorStep {
    std::string name;  // what the history calls it: "Annulla linea"
    EditorState before;
    EditorState after;
};

// Shift and Ctrl while drawing.
struct GestureKeys {
    bool constrain = false;  // lines at 0, 45 or 90 degrees; squares and circles
    bool copy = false;       // a moved selection leaves its pixels where they were, too
};

class EditorModel {
  public:
    explicit EditorModel(picture::Bits picture);

    const EditorState& State() const { return state_; }
    // The picture as the canvas shows it: with the gesture in progress drawn on.
    const picture::Bits& Shown() const {
        return gesture_ ? gesture_->after.picture : state_.picture;
    }
    // The selection as the canvas outlines it, while it is being drawn too.
    std::optional<Area> Selection() const;
    // Undo and redo: a state the history kept. A gesture in progress is dropped.
    void Restore(EditorState state);

    DrawingTool Tool() const { return tool_; }
    // A new tool ends the gesture in progress as if it had been cancelled.
    void Set_Tool(DrawingTool tool);
    void Set_Shape(picture::Shape shape) { shape_ = shape; }
    // The text tool's line of text, as the window rendered it in the chosen font.
    void Set_Text(picture::CharacterRaster text, int threshold);
    bool Has_Text() const { return !text_.level.empty(); }

    // A gesture: a press, moves, a release. The pencil and the shapes draw with `pen` (the eraser
    // always with paper). A fill is done at the press. Each returns the step it completed.
    std::optional<EditorStep> Press(picture::Point p, picture::Pen pen, GestureKeys keys);
    void Move(picture::Point p, GestureKeys keys);
    std::optional<EditorStep> Release(picture::Point p, GestureKeys keys);
    bool Drawing() const { return gesture_.has_value(); }
    // Escape: the gesture undone, nothing recorded.
    void Cancel() { gesture_.reset(); }

    // The selection: chosen by the window (all of it), or forgotten. A piece floating there is
    // set down where it is.
    void Select(std::optional<Area> area);
    // The selected pixels (the whole picture when nothing is selected).
    picture::Bits Copy() const;
    // The selected pixels replaced by paper (Canc), or copied first and then replaced (Ctrl+X).
    std::optional<EditorStep> Clear(const std::string& name);
    // `piece` floating at `at`, selected, over the picture as it is.
    std::optional<EditorStep> Paste(picture::Bits piece, picture::Point at);
    // Invert, mirror or rotate the selection, or the whole picture when nothing is selected.
    std::optional<EditorStep> Transform(picture::AreaTool tool, const std::string& name);
    // The whole picture, black and white exchanged, and a new white one.
    std::optional<EditorStep> Invert_All();
    std::optional<EditorStep> New_Picture();

  private:
    enum class Kind { Draw, Select, Move };
    struct Gesture {
        Kind kind = Kind::Draw;
        picture::Pen pen = picture::Pen::Ink;
        picture::Point anchor;
        picture::Point last;
        bool copy = false;  // Ctrl at the press: the pixels moved stay where they were, too
        EditorState before;
        EditorState after;  // as the canvas shows it now
    };
    // `after` as the new state and one step from `before`; nothing (and the state as it was)
    // when neither the picture nor the selection changed.
    std::optional<EditorStep> Commit(const std::string& name, EditorState before,
                                     EditorState after);
    // A floating piece becomes part of the picture where it is.
    void Set_Down();
    // The selected pixels taken up to be moved, at the start of a move.
    void Lift(Gesture& g) const;
    void Follow(Gesture& g, picture::Point p, GestureKeys keys) const;

    EditorState state_;
    DrawingTool tool_ = DrawingTool::Pencil;
    picture::Shape shape_ = picture::Shape::Outline;
    picture::CharacterRaster text_;
    int threshold_ = 128;
    std::optional<Gesture> gesture_;
};

// What the history calls a tool's steps.
const char* Step_Name(DrawingTool tool);

}  // namespace lcdprog
