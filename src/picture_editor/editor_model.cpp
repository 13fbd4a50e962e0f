#include "picture_editor/editor_model.h"

#include <algorithm>
#include <utility>

namespace lcdprog {
namespace {

using picture::Bits;
using picture::Pen;
using picture::Point;

// The box from a to b (both corners in it) as far as it lies in the picture; nothing when it
// misses the picture.
std::optional<Area> Inside(const Bits& picture, Point a, Point b) {
    const int left = std::max(std::min(a.x, b.x), 0);
    const int top = std::max(std::min(a.y, b.y), 0);
    const int right = std::min(std::max(a.x, b.x), picture.width - 1);
    const int bottom = std::min(std::max(a.y, b.y), picture.height - 1);
    if (left > right || top > bottom) {
        return std::nullopt;
    }
    return Area{{left, top}, right - left + 1, bottom - top + 1};
}

}  // namespace

const char* Step_Name(DrawingTool tool) {
    switch (tool) {
        case DrawingTool::Pencil:
            return "matita";
        case DrawingTool::Eraser:
            return "gomma";
        case DrawingTool::Line:
            return "linea";
        case DrawingTool::Rectangle:
            return "rettangolo";
        case DrawingTool::Ellipse:
            return "ellisse";
        case DrawingTool::Fill:
            return "riempimento";
        case DrawingTool::Text:
            return "testo";
        case DrawingTool::Selection:
            break;
    }
    return "spostamento della selezione";
}

EditorModel::EditorModel(Bits picture) {
    state_.picture = std::move(picture);
}

std::optional<Area> EditorModel::Selection() const {
    return gesture_ ? gesture_->after.selection : state_.selection;
}

void EditorModel::Restore(EditorState state) {
    gesture_.reset();
    state_ = std::move(state);
}

void EditorModel::Set_Tool(DrawingTool tool) {
    gesture_.reset();
    tool_ = tool;
}

void EditorModel::Set_Text(picture::CharacterRaster text, int threshold) {
    text_ = std::move(text);
    threshold_ = threshold;
    if (gesture_ && tool_ == DrawingTool::Text) {
        Follow(*gesture_, gesture_->last, {});
    }
}

void EditorModel::Set_Down() {
    if (state_.piece) {
        // What stays selected is the part of the piece that landed on the picture.
        state_.selection = Inside(state_.picture, state_.selection->at, state_.selection->Far());
    }
    state_.piece.reset();
    state_.under = {};
}

void EditorModel::Select(std::optional<Area> area) {
    gesture_.reset();
    Set_Down();
    state_.selection = area ? Inside(state_.picture, area->at, area->Far()) : std::nullopt;
}

std::optional<EditorStep> EditorModel::Press(Point p, Pen pen, GestureKeys keys) {
    gesture_.reset();
    Gesture g;
    g.pen = tool_ == DrawingTool::Eraser ? Pen::Paper : pen;
    g.anchor = g.last = p;
    g.copy = keys.copy;
    if (tool_ == DrawingTool::Selection && state_.selection && state_.selection->Contains(p)) {
        g.kind = Kind::Move;
        g.before = state_;
        Lift(g);
    } else {
        // Anything but moving the selection sets a floating piece down first: the pencil draws
        // on the picture as it is shown.
        Set_Down();
        if (tool_ == DrawingTool::Text && !Has_Text()) {
            return std::nullopt;
        }
        g.kind = tool_ == DrawingTool::Selection ? Kind::Select : Kind::Draw;
        g.before = g.after = state_;
        if (tool_ == DrawingTool::Fill) {
            EditorState after = state_;
            after.picture = picture::Flood_Fill(std::move(after.picture), p, g.pen);
            return Commit(Step_Name(tool_), state_, std::move(after));
        }
    }
    Follow(g, p, keys);
    gesture_ = std::move(g);
    return std::nullopt;
}

void EditorModel::Move(Point p, GestureKeys keys) {
    if (gesture_) {
        Follow(*gesture_, p, keys);
    }
}

std::optional<EditorStep> EditorModel::Release(Point p, GestureKeys keys) {
    if (!gesture_) {
        return std::nullopt;
    }
    Follow(*gesture_, p, keys);
    Gesture g = std::move(*gesture_);
    gesture_.reset();
    switch (g.kind) {
        case Kind::Select:
            // A click without a drag forgets the selection, as in any drawing program.
            state_.selection = p == g.anchor ? std::nullopt : g.after.selection;
            return std::nullopt;
        case Kind::Move:
            return Commit(g.copy ? "copia della selezione" : Step_Name(DrawingTool::Selection),
                          std::move(g.before), std::move(g.after));
        case Kind::Draw:
            break;
    }
    return Commit(Step_Name(tool_), std::move(g.before), std::move(g.after));
}

void EditorModel::Lift(Gesture& g) const {
    EditorState& lifted = g.after;
    lifted = state_;
    if (state_.piece) {
        // Ctrl on a floating piece sets a copy of it down where it is.
        if (g.copy) {
            lifted.under = state_.picture;
        }
        return;
    }
    const Area area = *state_.selection;
    lifted.piece = picture::Copy_Area(state_.picture, area.at, area.Far());
    lifted.under = g.copy ? state_.picture
                          : picture::Rectangle(state_.picture, area.at, area.Far(),
                                               picture::Shape::Filled, Pen::Paper);
}

void EditorModel::Follow(Gesture& g, Point p, GestureKeys keys) const {
    const Point from = g.last;
    g.last = p;
    const Bits& base = g.before.picture;
    EditorState& after = g.after;
    switch (g.kind) {
        case Kind::Select:
            after.selection =
                Inside(base, g.anchor, keys.constrain ? picture::Square_Corner(g.anchor, p) : p);
            return;
        case Kind::Move: {
            const Area start = *g.before.selection;
            after.selection = Area{{start.at.x + p.x - g.anchor.x, start.at.y + p.y - g.anchor.y},
                                   start.width,
                                   start.height};
            after.picture = picture::Paste(after.under, *after.piece, after.selection->at);
            return;
        }
        case Kind::Draw:
            break;
    }
    const Point corner = keys.constrain ? picture::Square_Corner(g.anchor, p) : p;
    switch (tool_) {
        case DrawingTool::Pencil:
        case DrawingTool::Eraser:
            // Only the newest segment is drawn: a long stroke costs no more per step than a short
            // one.
            after.picture = picture::Line(std::move(after.picture), from, p, g.pen);
            return;
        case DrawingTool::Line:
            after.picture = picture::Line(
                base, g.anchor, keys.constrain ? picture::Snap_Angle(g.anchor, p) : p, g.pen);
            return;
        case DrawingTool::Rectangle:
            after.picture = picture::Rectangle(base, g.anchor, corner, shape_, g.pen);
            return;
        case DrawingTool::Ellipse:
            after.picture = picture::Ellipse(base, g.anchor, corner, shape_, g.pen);
            return;
        case DrawingTool::Text:
            after.picture = picture::Draw_Character(base, text_, threshold_, p, g.pen);
            return;
        case DrawingTool::Fill:
        case DrawingTool::Selection:
            return;
    }
}

std::optional<EditorStep> EditorModel::Commit(const std::string& name, EditorState before,
                                              EditorState after) {
    // A piece moved or turned beyond the edge changes nothing that shows, but is a step all the
    // same: it comes back when moved in again.
    const bool samePiece = after.piece.has_value() == before.piece.has_value() &&
                           (!after.piece || after.piece->index == before.piece->index);
    if (after.picture.index == before.picture.index && after.selection == before.selection &&
        samePiece) {
        return std::nullopt;
    }
    state_ = std::move(after);
    return EditorStep{name, std::move(before), state_};
}

Bits EditorModel::Copy() const {
    if (state_.piece) {
        return *state_.piece;
    }
    if (state_.selection) {
        return picture::Copy_Area(state_.picture, state_.selection->at, state_.selection->Far());
    }
    return state_.picture;
}

std::optional<EditorStep> EditorModel::Clear(const std::string& name) {
    gesture_.reset();
    if (!state_.selection) {
        return std::nullopt;
    }
    EditorState after = state_;
    if (after.piece) {
        after.picture = std::move(after.under);
        after.piece.reset();
        after.under = {};
        after.selection = Inside(after.picture, after.selection->at, after.selection->Far());
    } else {
        after.picture =
            picture::Rectangle(std::move(after.picture), after.selection->at,
                               after.selection->Far(), picture::Shape::Filled, Pen::Paper);
    }
    return Commit(name, state_, std::move(after));
}

std::optional<EditorStep> EditorModel::Paste(Bits piece, Point at) {
    gesture_.reset();
    if (piece.width <= 0 || piece.height <= 0) {
        return std::nullopt;
    }
    Set_Down();
    EditorState after;
    after.under = state_.picture;
    after.picture = picture::Paste(state_.picture, piece, at);
    after.selection = Area{at, piece.width, piece.height};
    after.piece = std::move(piece);
    return Commit("incolla", state_, std::move(after));
}

std::optional<EditorStep> EditorModel::Transform(picture::AreaTool tool, const std::string& name) {
    gesture_.reset();
    EditorState after = state_;
    if (after.piece) {
        const Point far{after.piece->width - 1, after.piece->height - 1};
        after.piece = picture::Transform_Area(std::move(*after.piece), tool, {0, 0}, far);
        after.picture = picture::Paste(after.under, *after.piece, after.selection->at);
    } else {
        const Area area =
            after.selection.value_or(Area{{0, 0}, after.picture.width, after.picture.height});
        after.picture =
            picture::Transform_Area(std::move(after.picture), tool, area.at, area.Far());
    }
    return Commit(name, state_, std::move(after));
}

std::optional<EditorStep> EditorModel::Invert_All() {
    gesture_.reset();
    Set_Down();
    EditorState after = state_;
    after.picture = picture::Invert_All(std::move(after.picture));
    return Commit("inverti tutta l'immagine", state_, std::move(after));
}

std::optional<EditorStep> EditorModel::New_Picture() {
    gesture_.reset();
    EditorState after;
    after.picture = picture::Blank(state_.picture.width, state_.picture.height);
    return Commit("nuova immagine", state_, std::move(after));
}

}  // namespace lcdprog
