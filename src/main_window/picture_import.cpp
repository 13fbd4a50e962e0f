#include "main_window/picture_import.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "compiler/image_decoder.h"
#include "compiler/mod_Compilatore.h"
#include "main_window/import_dialog.h"
#include "main_window/mod_Funzioni_Varie.h"
#include "picture/picture.h"
#include "platform/posix_file_service.h"
#include "platform/qt/qt_image_reader.h"
#include "platform/staged_files.h"

namespace lcdprog {
namespace {

const std::string kCrLf = "\r\n";
constexpr const char* kBmpFilter = "Tutti i file |*.*| Messaggio (*.bmp) | *.bmp";
constexpr const char* kImagesFolder = "immagini";
// Enough for the header and the palette of any information header a 1-bit file may carry.
constexpr std::size_t kPaletteReadLimit = 1024;

QString Native(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(path));
}

// Writes `bytes` at `path` unless the same bytes are already there. A different file of that
// name is replaced only when `ask` is false (the operator already agreed) or the operator says
// so now. False, with any message shown, when nothing was written and nothing should follow.
bool Save_Picture(platform::Services& services, const std::string& path, const std::string& bytes,
                  bool ask) {
    const platform::FileContents old = services.files.Read(path, bytes.size() + 1);
    if (old.status == platform::FileStatus::Ok && old.bytes == bytes) {
        return true;
    }
    if (ask && old.status != platform::FileStatus::Missing &&
        !services.messages.AskTwo("Il file " + services.files.GetFileName(path) +
                                      " esiste già ed è diverso. Sostituirlo?",
                                  frm_Importa_Immagine::kCaption.toStdString(), "Sostituisci",
                                  "Annulla")) {
        return false;
    }
    std::string reason;
    if (!platform::Write_File_Atomically(path, bytes, reason)) {
        services.messages.Show("Impossibile scrivere il file " + path + ":" + kCrLf + reason,
                               "ERROR", platform::MessageIcon::Critical);
        return false;
    }
    return true;
}

}  // namespace

std::string Import_Filter() {
    return platform::Image_File_Filter();
}

std::optional<SlotPicture> Import_Picture(platform::Services& services, ProgramState& state,
                                          QWidget* parent, const std::string& source, int panel,
                                          int slot, const std::string& projectPath,
                                          const RunImportDialog& run) {
    picture::Rgba image;
    std::string error;
    if (!platform::Read_Image_File(source, image, error)) {
        services.messages.Show(error, "ERROR", platform::MessageIcon::Critical);
        return std::nullopt;
    }
    frm_Importa_Immagine dialog(std::move(image), services.files.GetFileName(source), panel, slot,
                                parent);
    if (!(run ? run(dialog) : dialog.exec() == QDialog::Accepted)) {
        return std::nullopt;
    }
    const PanelLayout& layout = kPanelLayouts[static_cast<std::size_t>(dialog.Panel())];
    const std::string name = picture::Output_Name(source, layout.width, layout.height);
    const std::string bytes = picture::Bmp_File(dialog.Result());

    std::string target;
    bool ask = true;
    if (!projectPath.empty()) {
        const QDir folder = QFileInfo(Native(projectPath)).dir();
        if (!folder.mkpath(QString::fromLatin1(kImagesFolder))) {
            services.messages.Show(
                "Impossibile creare la cartella " +
                    QFile::encodeName(folder.filePath(kImagesFolder)).toStdString(),
                "ERROR", platform::MessageIcon::Critical);
            return std::nullopt;
        }
        target = QFile::encodeName(folder.filePath(QString::fromLatin1(kImagesFolder) + '/' +
                                                   QString::fromStdString(name)))
                     .toStdString();
    } else {
        // With no project there is no folder of its own: the operator says where, the name
        // proposed. Qt's save form has already asked before replacing a file.
        const std::optional<std::string> chosen =
            Choose_File(state, services.dialog, kBmpFilter, true, ".bmp", name);
        if (!chosen) {
            return std::nullopt;
        }
        target = *chosen;
        ask = false;
    }
    if (!Save_Picture(services, target, bytes, ask)) {
        return std::nullopt;
    }
    return SlotPicture{dialog.Panel(), dialog.Slot(), target};
}

std::vector<SlotPicture> Reversed_Palettes(const platform::FileService& files,
                                           const std::vector<SlotPicture>& taken) {
    std::vector<SlotPicture> reversed;
    for (const SlotPicture& p : taken) {
        const platform::FileContents file = files.Read(p.path, kPaletteReadLimit);
        if (file.status == platform::FileStatus::Ok && picture::Has_Reversed_Palette(file.bytes)) {
            reversed.push_back(p);
        }
    }
    return reversed;
}

std::vector<SlotPicture> Offer_Palette_Fix(platform::Services& services,
                                           const std::vector<SlotPicture>& reversed) {
    if (reversed.empty()) {
        return {};
    }
    std::string text;
    for (const SlotPicture& p : reversed) {
        text += picture::Reversed_Palette_Text(services.files.GetFileName(p.path)) + kCrLf;
    }
    text += kCrLf +
            "Correggi scrive accanto all'originale una copia con i bit invertiti e la "
            "tavolozza normale (nome_lcd.bmp) e la usa al suo posto; Lascia così la "
            "programma com'è.";
    if (!services.messages.AskTwo(text, "Tavolozza invertita", "Correggi", "Lascia così")) {
        return {};
    }
    std::vector<SlotPicture> fixed;
    for (const SlotPicture& p : reversed) {
        const PanelLayout& layout = kPanelLayouts[static_cast<std::size_t>(p.panel)];
        // The whole file, as the compiler reads it: its rows are taken from the end.
        const platform::FileContents file = services.files.Read(p.path, kPictureFileMaxLength + 1);
        const std::optional<std::string> bytes =
            file.status == platform::FileStatus::Ok
                ? picture::Fix_Reversed_Palette(file.bytes, layout.width, layout.height)
                : std::nullopt;
        // Beside the original as it is spelt on disk: the slot holds its path lower-cased.
        const std::string onDisk = platform::PosixFileService::Resolve(p.path);
        const std::string target = picture::Fixed_Name(onDisk.empty() ? p.path : onDisk);
        if (!bytes) {
            services.messages.Show("Impossibile correggere " + services.files.GetFileName(p.path),
                                   "ERROR", platform::MessageIcon::Critical);
            continue;
        }
        if (Save_Picture(services, target, *bytes, true)) {
            fixed.push_back({p.panel, p.slot, target});
        }
    }
    return fixed;
}

}  // namespace lcdprog
