#include "preview_window/frm_Anteprima.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QShortcut>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>
#include <filesystem>

#include "compiler/image_decoder.h"
#include "compiler/mod_Compilatore.h"
#include "platform/choose_file.h"
#include "platform/qt/accessibility.h"
#include "platform/qt/crisp_picture.h"
#include "platform/staged_files.h"
#include "png/png_writer.h"

namespace lcdprog {
namespace {

constexpr const char* kBinFilter = "Tutti i file |*.*| Immagine EEPROM (*.bin) | *.bin";
constexpr int kGlyphScale = 6;  // glyphs are tiny: shown this many times the zoom

QImage Lcd_Image(const PanelPicture& picture) {
    return platform::Lcd_Image(picture.width, picture.height,
                               [&](int x, int y) { return picture.Dark(x, y); });
}

}  // namespace

const QString frm_Anteprima::kCaption = QStringLiteral("Anteprima del modulo LCD");

frm_Anteprima::frm_Anteprima(platform::Services& services, ProgramState& state, QWidget* parent)
    : QWidget(parent, Qt::Window), services_(services), state_(state) {
    platform::Name_Window(this, QStringLiteral("frm_Anteprima"));
    setWindowTitle(kCaption);

    QHBoxLayout* top = Build_Top_Row();
    lbl_Stato = new QLabel;
    lbl_Stato->setWordWrap(true);
    lbl_Stato->setTextFormat(Qt::PlainText);
    platform::Name_Control(lbl_Stato, QStringLiteral("lbl_Stato"), QString(), QString());

    auto* scroll = new QScrollArea;
    scroll->setWidget(Build_Pictures());
    scroll->setWidgetResizable(true);
    // A Tab stop of its own, so that the keyboard can scroll a zoomed preview: named for what it
    // shows.
    platform::Name_Control(scroll, QStringLiteral("scr_Anteprima"),
                           QStringLiteral("Immagini del modulo"), QString());

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(lbl_Stato);
    layout->addWidget(scroll, 1);

    connect(txt_Zoom, &QSpinBox::valueChanged, this, [this](int zoom) { Set_Zoom(zoom); });
    connect(cmd_Salva_Bin, &QPushButton::clicked, this, [this] { cmd_Salva_Bin_Click(); });
    connect(cmd_Salva_Png, &QPushButton::clicked, this, [this] { cmd_Salva_Png_Click(); });
    // A window without a window manager around it (a kiosk, a bare X session) still closes from
    // the keyboard.
    connect(cmd_Chiudi, &QPushButton::clicked, this, &QWidget::close);
    for (const QKeySequence& keys :
         {QKeySequence(Qt::Key_Escape), QKeySequence(QKeySequence::Close)}) {
        connect(new QShortcut(keys, this), &QShortcut::activated, this, &QWidget::close);
    }
    Refresh();
    const QScreen* where = parent != nullptr ? parent->screen() : QGuiApplication::primaryScreen();
    if (where != nullptr) {
        Fit_To(where->availableGeometry());
    }
}

// The zoom and the command that saves the image.
QHBoxLayout* frm_Anteprima::Build_Top_Row() {
    auto* top = new QHBoxLayout;
    auto* zoomLabel = new QLabel(QStringLiteral("&Ingrandimento:"));
    txt_Zoom = new QSpinBox;
    txt_Zoom->setRange(1, kMaxZoom);
    txt_Zoom->setSuffix(QStringLiteral(" x"));
    txt_Zoom->setValue(zoom_);
    zoomLabel->setBuddy(txt_Zoom);
    platform::Name_Control(txt_Zoom, QStringLiteral("txt_Zoom"), QStringLiteral("Ingrandimento"),
                           QStringLiteral("Pixel dello schermo per ogni pixel del display"));
    cmd_Salva_Bin = new QPushButton(QStringLiteral("&Salva immagine .bin..."));
    platform::Name_Control(cmd_Salva_Bin, QStringLiteral("cmd_Salva_Bin"),
                           QStringLiteral("Salva immagine .bin"),
                           QStringLiteral("I 65.536 byte che il modulo riceverà"));
    cmd_Salva_Png = new QPushButton(QStringLiteral("Salva immagine &PNG..."));
    platform::Name_Control(cmd_Salva_Png, QStringLiteral("cmd_Salva_Png"),
                           QStringLiteral("Salva immagine PNG"),
                           QStringLiteral("Ogni immagine e i due glifi come file PNG in una "
                                          "cartella, da mostrare a chi deve approvarli"));
    top->addWidget(zoomLabel);
    top->addWidget(txt_Zoom);
    cmd_Chiudi = new QPushButton(QStringLiteral("&Chiudi"));
    platform::Name_Control(cmd_Chiudi, QStringLiteral("cmd_Chiudi"), cmd_Chiudi->text(), QString());
    top->addStretch(1);
    top->addWidget(cmd_Salva_Png);
    top->addWidget(cmd_Salva_Bin);
    top->addWidget(cmd_Chiudi);
    return top;
}

// Every panel's four pictures and the two glyphs, as the module will show them.
QWidget* frm_Anteprima::Build_Pictures() {
    auto* content = new QWidget;
    content_ = content;
    auto* grid = new QGridLayout(content);
    for (int p = 0; p < static_cast<int>(kPanelLayouts.size()); ++p) {
        const QString type = QString::fromLatin1(kPanelLayouts[static_cast<std::size_t>(p)].name);
        auto* frame = new QGroupBox(QStringLiteral("Display ") + type);
        platform::Name_Control(frame, QStringLiteral("fra_Anteprima_") + type, frame->title(),
                               QString());
        auto* inner = new QGridLayout(frame);
        for (int s = 0; s < kSlotsPerPanel; ++s) {
            const QString text = QStringLiteral("Immagine numero %1:").arg(s + 1);
            auto* caption = new QLabel(text);
            auto* picture = new platform::CrispPicture;
            platform::Name_Control(picture, QStringLiteral("pct_Anteprima_%1_%2").arg(type).arg(s),
                                   type + QStringLiteral(", ") + text, QString());
            inner->addWidget(caption, (s / 2) * 2, s % 2);
            inner->addWidget(picture, (s / 2) * 2 + 1, s % 2);
            pictures_[static_cast<std::size_t>(p)][static_cast<std::size_t>(s)] = picture;
        }
        // The two 128-wide panels side by side, each 240-wide one on a row of its own.
        grid->addWidget(frame, p < 2 ? 0 : p - 1, p < 2 ? p : 0, 1, p < 2 ? 1 : 2,
                        Qt::AlignLeft | Qt::AlignTop);
    }
    auto* fonts = new QGroupBox(QStringLiteral("Font per display 64128A e 64128E"));
    auto* fontRow = new QHBoxLayout(fonts);
    const QString glyphNames[] = {QStringLiteral("Font 5x8 pixel"),
                                  QStringLiteral("Font 10x16 pixel")};
    for (int g = 0; g < 2; ++g) {
        auto* glyph = new platform::CrispPicture;
        platform::Name_Control(glyph, QStringLiteral("pct_Anteprima_Font_%1").arg(g), glyphNames[g],
                               QString());
        fontRow->addWidget(new QLabel(glyphNames[g] + QLatin1Char(':')));
        fontRow->addWidget(glyph);
        glyphs_[static_cast<std::size_t>(g)] = glyph;
    }
    fontRow->addStretch(1);
    grid->addWidget(fonts, 3, 0, 1, 2, Qt::AlignLeft | Qt::AlignTop);
    grid->setRowStretch(4, 1);
    grid->setColumnStretch(2, 1);
    return content;
}

void frm_Anteprima::Fit_To(const QRect& available) {
    // What the window manager adds around the window: a title bar and thin borders.
    const QSize decoration(16, 40);
    const QSize room = available.size() - decoration;
    const QSize around = QSize(layout()->contentsMargins().left() * 2 + 24,
                               layout()->contentsMargins().top() * 2 + 24);
    // The panels' frames learn of their pictures' new size only at the next layout pass; their
    // layouts are told at once, so the size asked for is the new zoom's.
    const auto Content_Size = [this] {
        for (QGroupBox* frame : content_->findChildren<QGroupBox*>()) {
            frame->layout()->invalidate();
            frame->updateGeometry();
        }
        content_->layout()->invalidate();
        return content_->sizeHint();
    };
    int zoom = 2;
    for (; zoom > 1; --zoom) {
        Set_Zoom(zoom);
        if (Content_Size().width() + around.width() <= room.width()) {
            break;
        }
    }
    Set_Zoom(zoom);
    const QSize content = Content_Size();
    layout()->activate();
    const int above = cmd_Salva_Bin->sizeHint().height() + lbl_Stato->sizeHint().height() +
                      layout()->spacing() * 2;
    const QSize wanted = content + around + QSize(0, above);
    resize(wanted.boundedTo(room).expandedTo(minimumSizeHint()).boundedTo(room));
    const QPoint corner(available.x() + std::max(0, (room.width() - width()) / 2),
                        available.y() + std::max(0, (room.height() - height()) / 2));
    move(corner);
}

void frm_Anteprima::Set_Kept_Paths(const PicturePaths& kept) {
    kept_ = kept;
    Show_Pictures();
}

void frm_Anteprima::Refresh() {
    // The preview compiles into its own image: the state's MemoryImage only ever holds what a run
    // compiled (a run may be waiting for a reply while the operator edits).
    // A preview's compile must not put up the compiler's modal "non trovato" box on every edit:
    // its refusal goes into the status line instead.
    platform::KeptMessages messages;
    const platform::Result<MemoryImageBytes> compiled =
        Compile_Image({services_.files, messages}, state_);
    const bool ok = compiled.Ok();
    if (ok) {
        image_ = *compiled;
    }
    current_ = ok;

    // A picture that cannot be compiled: the panels keep the last complete image, which can no
    // longer be saved, and the status line says why, in the compiler's own words.
    QString status;
    if (ok) {
        status = QStringLiteral("Ciò che il modulo mostrerà dopo la programmazione.");
    } else {
        QString reason = QString::fromStdString(compiled.Why().text);
        reason.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
        status = QStringLiteral("Anteprima non aggiornata: ") + reason;
    }
    lbl_Stato->setText(status);
    cmd_Salva_Bin->setEnabled(ok);
    cmd_Salva_Png->setEnabled(ok);
    Show_Pictures();
}

void frm_Anteprima::Set_Zoom(int zoom) {
    zoom = std::clamp(zoom, 1, kMaxZoom);
    if (zoom == zoom_) {
        return;
    }
    zoom_ = zoom;
    txt_Zoom->setValue(zoom);
    Show_Pictures();
}

QImage frm_Anteprima::Picture(int panel, int slot) const {
    return Lcd_Image(Decode_Panel_Picture(image_, panel, slot));
}

QImage frm_Anteprima::Glyph(int which) const {
    return Lcd_Image(which == 0 ? Decode_Glyph_5x8(image_) : Decode_Glyph_10x16(image_));
}

void frm_Anteprima::Show_Pictures() {
    for (int p = 0; p < static_cast<int>(kPanelLayouts.size()); ++p) {
        for (int s = 0; s < kSlotsPerPanel; ++s) {
            platform::CrispPicture* box =
                pictures_[static_cast<std::size_t>(p)][static_cast<std::size_t>(s)];
            const std::string& kept =
                kept_[static_cast<std::size_t>(p)][static_cast<std::size_t>(s)];
            const QImage shown = Picture(p, s);
            box->setPixmap(QPixmap::fromImage(kept.empty() ? shown : platform::Crossed_Out(shown)));
            box->Set_Zoom(zoom_);
            box->setToolTip(kept.empty() ? QString()
                                         : QStringLiteral("Immagine non caricata: %1. Il modulo "
                                                          "riceverà l'immagine bianca.")
                                               .arg(QString::fromStdString(kept)));
        }
    }
    for (int g = 0; g < 2; ++g) {
        glyphs_[static_cast<std::size_t>(g)]->setPixmap(QPixmap::fromImage(Glyph(g)));
        glyphs_[static_cast<std::size_t>(g)]->Set_Zoom(zoom_ * kGlyphScale);
    }
}

void frm_Anteprima::cmd_Salva_Bin_Click() {
    // The save form of the same dialog the pictures are chosen with.
    const std::optional<std::string> chosen =
        platform::Choose_File(services_.dialog, "Salva immagine .bin", kBinFilter, true, ".bin");
    if (!chosen) {
        return;
    }
    const std::string& path = *chosen;
    // What is saved is what a run would send now, not what the window showed a moment ago.
    Refresh();
    const std::string name = std::filesystem::path(path).filename().string();
    if (!current_) {
        services_.messages.Show(
            "Impossibile salvare l'immagine " + name + ": " + lbl_Stato->text().toStdString(),
            "ERROR", platform::MessageIcon::Critical);
        return;
    }
    const platform::Result<> written = platform::Write_File_Atomically(
        path, std::string_view(reinterpret_cast<const char*>(image_.data()), kMemoryImageSize));
    if (!written) {
        services_.messages.Show("Impossibile salvare l'immagine " + path + ": " + written.Text(),
                                "ERROR", platform::MessageIcon::Critical);
    }
}

void frm_Anteprima::cmd_Salva_Png_Click() {
    platform::FileDialogRequest request;
    request.cancelError = true;
    request.folder = true;
    request.purpose = "Scegli la cartella delle immagini PNG";
    const std::optional<std::string> folder = services_.dialog.Show(request);
    if (!folder) {
        return;
    }
    // As for the .bin: what a run would send now.
    Refresh();
    if (!current_) {
        services_.messages.Show(
            "Impossibile salvare le immagini PNG: " + lbl_Stato->text().toStdString(), "ERROR",
            platform::MessageIcon::Critical);
        return;
    }
    platform::StagedFiles out;
    const platform::Result<> staged = Stage_Png_Pictures(image_, *folder, out);
    if (!staged) {
        services_.messages.Show("Impossibile salvare le immagini PNG: " + staged.Text(), "ERROR",
                                platform::MessageIcon::Critical);
        return;
    }
    if (const platform::Result<> committed = out.Commit(); !committed) {
        services_.messages.Show(
            "Impossibile salvare le immagini PNG: impossibile completare i "
            "file in " +
                *folder + ": " + committed.Text(),
            "ERROR", platform::MessageIcon::Critical);
    }
}

}  // namespace lcdprog
