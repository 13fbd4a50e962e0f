// Arbitrary bytes as what an operator does in the picture editor: tools, gestures (press, moves,
// release, Escape), selections, pastes, cuts, turns, and undo and redo of earlier steps. After
// every action the picture keeps its size and holds only black and white, a floating piece is
// exactly what shows at its place over what it covers, and a step's "before" is the state the
// action started from and its "after" the state it left, so that undo and redo put back exactly
// what was there.
//
// Input: byte 0 picks the panel size (mod 3); then actions, each a pen byte, an action byte and
// its arguments, coordinates as fuzz_draw reads them.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "drawing_input.h"
#include "picture_editor/editor_model.h"

namespace {

using namespace lcdprog;
using picture::Bits;
using picture::Point;

using fuzz::Check;
using fuzz::Input;

GestureKeys Keys(Input& in) {
    const std::uint8_t b = in.Byte();
    return {(b & 1) != 0, (b & 2) != 0};
}

// A small piece: width and height 1..8, then a byte per row of up to 8 pixels.
Bits Piece(Input& in) {
    const int width = in.Byte() % 8 + 1;
    const int height = in.Byte() % 8 + 1;
    Bits piece{width, height, {}};
    for (int y = 0; y < height; ++y) {
        const std::uint8_t row = in.Byte();
        for (int x = 0; x < width; ++x) {
            piece.index.push_back((row >> x) & 1u);
        }
    }
    return piece;
}

bool Same(const EditorState& a, const EditorState& b) {
    return a.picture.index == b.picture.index && a.selection == b.selection &&
           a.piece.has_value() == b.piece.has_value() &&
           (!a.piece || (a.piece->index == b.piece->index && a.under.index == b.under.index));
}

void Check_Picture(const Bits& p, int width, int height) {
    Check(p.width == width && p.height == height);
    Check(p.index.size() == std::size_t(width) * std::size_t(height));
    for (const std::uint8_t v : p.index) {
        Check(v <= 1);
    }
}

void Check_State(const EditorModel& model, int width, int height) {
    const EditorState& s = model.State();
    Check_Picture(s.picture, width, height);
    Check_Picture(model.Shown(), width, height);
    if (s.piece) {
        Check(s.selection.has_value());
        Check(s.selection->width == s.piece->width && s.selection->height == s.piece->height);
        Check_Picture(s.under, width, height);
        Check(picture::Paste(s.under, *s.piece, s.selection->at).index == s.picture.index);
    } else if (s.selection) {
        const Area a = *s.selection;
        Check(a.width > 0 && a.height > 0 && a.at.x >= 0 && a.at.y >= 0 &&
              a.at.x + a.width <= width && a.at.y + a.height <= height);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input in(data, size);
    static const int sizes[3][2] = {{128, 64}, {240, 64}, {240, 128}};
    const int* panel = sizes[in.Byte() % 3];
    const int width = panel[0];
    const int height = panel[1];
    EditorModel model(picture::Blank(width, height));
    std::vector<EditorStep> history;
    for (int actions = 0; !in.Done() && actions < 200; ++actions) {
        const EditorState start = model.State();
        std::optional<EditorStep> step;
        const picture::Pen pen = in.Ink_Or_Paper();
        switch (in.Byte() % 13) {
            case 0:
                model.Set_Tool(static_cast<DrawingTool>(in.Byte() % 8));
                break;
            case 1:
                model.Set_Shape(in.Byte() % 2 ? picture::Shape::Filled : picture::Shape::Outline);
                break;
            case 2: {
                const Point p = in.Where();
                step = model.Press(p, pen, Keys(in));
                break;
            }
            case 3: {
                const Point p = in.Where();
                model.Move(p, Keys(in));
                break;
            }
            case 4: {
                const Point p = in.Where();
                step = model.Release(p, Keys(in));
                break;
            }
            case 5:
                model.Cancel();
                Check(!model.Drawing());
                break;
            case 6: {
                const Point at = in.Where();
                const int w = in.Byte() % 64;
                const int h = in.Byte() % 64;
                model.Select(w == 0 ? std::nullopt : std::optional<Area>(Area{at, w, h}));
                break;
            }
            case 7:
                step = model.Clear("taglia");
                break;
            case 8: {
                Bits piece = Piece(in);
                step = model.Paste(std::move(piece), in.Where());
                break;
            }
            case 9:
                step = model.Transform(static_cast<picture::AreaTool>(in.Byte() % 4), "inverti");
                break;
            case 10:
                step = model.Invert_All();
                break;
            case 11:
                step = model.New_Picture();
                break;
            default:
                if (!history.empty()) {
                    const EditorStep& kept = history[in.Byte() % history.size()];
                    const bool undo = in.Byte() % 2 == 0;
                    model.Restore(undo ? kept.before : kept.after);
                    Check(Same(model.State(), undo ? kept.before : kept.after));
                    Check(!model.Drawing());
                }
                break;
        }
        Check_State(model, width, height);
        if (step) {
            // From the picture and selection the action found (a floating piece may have been
            // set down on the way, which keeps the picture and clips the selection) to the state
            // it left.
            Check(step->before.picture.index == start.picture.index &&
                  (start.piece || step->before.selection == start.selection));
            Check(Same(step->after, model.State()));
            if (history.size() < 16) {
                history.push_back(std::move(*step));
            }
        }
    }
    return 0;
}
