// Importing a large photo: a 4000 x 3000 JPEG, made here, decoded once, then converted to each
// panel size in each scaling and conversion; and the import dialog's preview refresh on a
// 240 x 128 panel after each kind of change, once the source is decoded (the dialog must follow
// every change well within 30 ms).
//
//   build/bench/lcdprog-bench-picture [runs]     (QT_QPA_PLATFORM=offscreen without a display)

#include <QApplication>
#include <QBuffer>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QSpinBox>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

#include "compiler/image_decoder.h"
#include "main_window/import_dialog.h"
#include "picture/picture.h"
#include "platform/qt/qt_image_reader.h"

namespace {

using namespace lcdprog;

// The median of `runs` timings of `step`, in milliseconds.
double Median_Ms(int runs, const std::function<void()>& step) {
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        step();
        ms.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

QByteArray Photo() {
    QImage image(4000, 3000, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient sky(0, 0, 4000, 3000);
    sky.setColorAt(0, QColor(20, 60, 160));
    sky.setColorAt(1, QColor(250, 220, 120));
    painter.fillRect(image.rect(), sky);
    for (int i = 0; i < 60; ++i) {
        painter.setBrush(QColor::fromHsv(i * 6, 200, 120 + i * 2));
        painter.drawEllipse(QPoint(137 * i % 4000, 211 * i % 3000), 90 + i * 7, 60 + i * 5);
    }
    painter.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 90);
    return bytes;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const QByteArray jpeg = Photo();
    picture::Rgba source;
    std::string error;
    const double decode = Median_Ms(runs, [&] {
        platform::Result<picture::Rgba> decoded = platform::Decode_Image(jpeg);
        if (decoded) {
            source = std::move(decoded.Value());
        } else {
            error = decoded.Text();
        }
    });
    if (source.width != 4000) {
        std::fprintf(stderr, "decoding failed: %s\n", error.c_str());
        return 1;
    }
    picture::Prepared prepared;
    const double prepare = Median_Ms(runs, [&] { prepared = picture::Prepare(source); });
    std::printf("4000 x 3000 JPEG, %lld KiB: decode %.1f ms, composition and levels %.1f ms\n",
                static_cast<long long>(jpeg.size() / 1024), decode, prepare);
    std::printf("then the panel picture (median of %d, ms):\n", runs);
    std::printf("%-10s %-9s %9s %9s %9s %9s\n", "panel", "scaling", "Soglia", "F-S", "Atkinson",
                "Bayer");
    const char* scalings[] = {"Adatta", "Riempi", "Estendi", "Originale"};
    for (const int panel : {0, 2, 3}) {
        const PanelLayout& layout = kPanelLayouts[std::size_t(panel)];
        for (int s = 0; s < 4; ++s) {
            std::printf("%3dx%-6d %-9s", layout.width, layout.height, scalings[s]);
            for (int c = 0; c < 4; ++c) {
                picture::Settings settings;
                settings.scaling = static_cast<picture::Scaling>(s);
                settings.conversion = static_cast<picture::Conversion>(c);
                std::printf(" %9.2f", Median_Ms(runs, [&] {
                                picture::Quantise(
                                    picture::Place(prepared, layout.width, layout.height, settings),
                                    settings);
                            }));
            }
            std::printf("\n");
        }
    }

    frm_Importa_Immagine dialog(source, "foto.jpg", 3, 0);
    auto* threshold = dialog.findChild<QSpinBox*>("txt_Soglia");
    auto* conversion = dialog.findChild<QComboBox*>("cmb_Conversione");
    auto* scaling = dialog.findChild<QComboBox*>("cmb_Scala");
    auto* rotation = dialog.findChild<QComboBox*>("cmb_Rotazione");
    auto* brightness = dialog.findChild<QSpinBox*>("txt_Luminosita");
    auto* invert = dialog.findChild<QCheckBox*>("chk_Inverti");
    int n = 0;
    const std::pair<const char*, std::function<void()>> changes[] = {
        {"soglia", [&] { threshold->setValue(100 + n++ % 50); }},
        {"conversione", [&] { conversion->setCurrentIndex(n++ % 4); }},
        {"inverti", [&] { invert->toggle(); }},
        {"scala", [&] { scaling->setCurrentIndex(n++ % 4); }},
        {"rotazione", [&] { rotation->setCurrentIndex(n++ % 4); }},
        {"luminosità", [&] { brightness->setValue(n++ % 40 - 20); }},
    };
    std::printf("import dialog, 240 x 128, preview refresh after a change (median, ms):\n");
    for (const auto& [name, change] : changes) {
        std::printf("  %-12s %6.2f\n", name, Median_Ms(runs * 2, change));
    }
    return 0;
}
