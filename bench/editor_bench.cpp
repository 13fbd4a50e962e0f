// The picture editor's budget: each step of a stroke repainted in under 16 ms (one frame at
// 60 Hz). The real window on Qt's offscreen platform, a 240 x 128 picture at 16x with the whole
// canvas (3840 x 2048) in view: a pointer move goes through the model, the canvas marks what
// changed, and the event loop paints it into the window's backing store, as on a screen. The
// pencil repaints one segment per step; the line and the rectangle redraw their whole shape from
// the anchor at every step, the worst case.
//
//   build/bench/lcdprog-bench-editor [steps]     (QT_QPA_PLATFORM=offscreen without a display)

#include <QApplication>
#include <QElapsedTimer>
#include <QScrollArea>
#include <QSpinBox>
#include <QTest>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "picture/drawing.h"
#include "picture_editor/frm_Modifica_Immagine.h"
#include "picture_editor/picture_canvas.h"
#include "platform/message_box.h"

namespace {

using namespace lcdprog;

constexpr int kWidth = 240;
constexpr int kHeight = 128;
constexpr int kZoom = 16;

// The milliseconds of each step of a drag from one corner to the other with `tool`.
std::vector<double> Drag(frm_Modifica_Immagine& editor, DrawingTool tool, int steps) {
    editor.Set_Tool(tool);
    PictureCanvas* canvas = editor.Canvas();
    const auto at = [](double x, double y) {
        return QPoint(static_cast<int>(x * kZoom) + kZoom / 2,
                      static_cast<int>(y * kZoom) + kZoom / 2);
    };
    QTest::mousePress(canvas, Qt::LeftButton, {}, at(0, 0));
    QApplication::processEvents();
    std::vector<double> ms;
    for (int i = 1; i <= steps; ++i) {
        // A hand's path: across the picture, wavering up and down.
        const double x = (kWidth - 1) * double(i) / steps;
        const double y =
            (kHeight - 1) * (0.5 + 0.45 * ((i / 20) % 2 == 0 ? 1 : -1) * (double(i % 20) / 20));
        QElapsedTimer timer;
        timer.start();
        QTest::mouseMove(canvas, at(x, y));
        QApplication::processEvents();
        ms.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    QTest::mouseRelease(canvas, Qt::LeftButton, {}, at(kWidth - 1, kHeight - 1));
    QApplication::processEvents();
    return ms;
}

void Report(const char* name, std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    std::printf("  %-11s median %6.2f   95%% %6.2f   worst %6.2f\n", name, ms[ms.size() / 2],
                ms[ms.size() * 95 / 100], ms.back());
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int steps = argc > 1 ? std::max(10, std::atoi(argv[1])) : 400;
    platform::KeptMessages messages;
    frm_Modifica_Immagine editor(picture::Blank(kWidth, kHeight), QStringLiteral("Banco di prova"),
                                 messages);
    editor.findChild<QSpinBox*>("txt_Zoom")->setValue(kZoom);
    editor.resize(kWidth * kZoom + 200, kHeight * kZoom + 300);
    editor.show();
    if (!QTest::qWaitForWindowExposed(&editor)) {
        std::fprintf(stderr, "the window was never shown\n");
        return 1;
    }
    const QSize viewport = editor.findChild<QScrollArea*>()->viewport()->size();
    std::printf(
        "240 x 128 at %dx, canvas %d x %d, %d x %d of it in view; %d steps (ms per step):\n", kZoom,
        editor.Canvas()->width(), editor.Canvas()->height(), viewport.width(), viewport.height(),
        steps);
    Report("matita", Drag(editor, DrawingTool::Pencil, steps));
    Report("linea", Drag(editor, DrawingTool::Line, steps));
    Report("rettangolo", Drag(editor, DrawingTool::Rectangle, steps));
    QElapsedTimer whole;
    whole.start();
    editor.Canvas()->repaint();
    std::printf("  whole canvas repainted once: %.2f ms\n", double(whole.nsecsElapsed()) / 1e6);
    return 0;
}
