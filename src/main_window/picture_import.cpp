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
constexpr const char* kBmpFilter = "Tutti i file |*.*| Immagine bitmap (*.bmp) | *.bmp";
constexpr const char* kImagesFolder = "immagini";
// Enough for the header and the palette of any information header a 1-bit file may carry.
constexpr std::size_t kPaletteReadLimit = 1024;

QString Native(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(path));
}

// `path` with "_2", "_3"... before its extension: the first name that is free or already holds
// `bytes`; empty when every one tried is taken.
std::string Free_Name(const platform::FileService& files, const std::string& path,
                      const std::string& bytes) {
    const std::size_t slash = path.find_last_of("/\\");
    const std::size_t dot = path.rfind('.');
    const bool ext = dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
    const std::string stem = ext ? path.substr(0, dot) : path;
    const std::string extension = ext ? path.substr(dot) : std::string();
    for (int n = 2; n < 100; ++n) {
        const std::string candidate = stem + "_" + std::to_string(n) + extension;
        const platform::FileContents file = files.Read(candidate, bytes.size() + 1);
        if (file.status == platform::FileStatus::Missing ||
            (file.status == platform::FileStatus::Ok && file.bytes == bytes)) {
            return candidate;
        }
    }
    return {};
}

// Writes `bytes` at `path` unless the same bytes are already there. A different file of that
// name may be another slot's picture, so it is replaced only when `ask` is false (the operator
// already agreed) or the operator says so now; the default is a free name beside it. The path
// written, or nothing, with any message shown, when nothing was written and nothing should
// follow.
std::optional<std::string> Save_Picture(platform::Services& services, const std::string& path,
                                        const std::string& bytes, bool ask) {
    const platform::FileContents old = services.files.Read(path, bytes.size() + 1);
    if (old.status == platform::FileStatus::Ok && old.bytes == bytes) {
        return path;
    }
    std::string target = path;
    if (ask && old.status != platform::FileStatus::Missing) {
        const std::string name = services.files.GetFileName(path);
        const std::string other = Free_Name(services.files, path, bytes);
        std::vector<std::string> choices;
        std::string question = "Il file " + name + " esiste già ed è diverso.";
        if (!other.empty()) {
            question += " Scrivere questa immagine come " + services.files.GetFileName(other) +
                        " o sostituire " + name + "?";
            choices.push_back("Nuovo nome");
        } else {
            question += " Sostituirlo?";
        }
        choices.push_back("Sostituisci");
        choices.push_back("Annulla");
        const std::size_t answer = services.messages.AskChoice(
            question, frm_Importa_Immagine::kCaption.toStdString(), choices);
        if (answer + 1 == choices.size()) {
            return std::nullopt;
        }
        if (choices[answer] == "Nuovo nome") {
            target = other;
            const platform::FileContents there = services.files.Read(target, bytes.size() + 1);
            if (there.status == platform::FileStatus::Ok && there.bytes == bytes) {
                return target;
            }
        }
    }
    std::string reason;
    if (!platform::Write_File_Atomically(target, bytes, reason)) {
        services.messages.Show("Impossibile scrivere il file " + target + ":" + kCrLf + reason,
                               "ERROR", platform::MessageIcon::Critical);
        return std::nullopt;
    }
    return target;
}

// The slot holds its path lower-cased; a copy goes beside the original as it is spelt on disk.
std::string Spelt_On_Disk(const std::string& path) {
    const std::string onDisk = platform::PosixFileService::Resolve(path);
    return onDisk.empty() ? path : onDisk;
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

    const std::optional<std::string> target =
        Picture_Destination(services, state, projectPath, name);
    if (!target) {
        return std::nullopt;
    }
    // Qt's save form has already asked before replacing a file; beside a project it is asked here.
    const bool ask = !projectPath.empty();
    const std::optional<std::string> written = Save_Picture(services, *target, bytes, ask);
    if (!written) {
        return std::nullopt;
    }
    return SlotPicture{dialog.Panel(), dialog.Slot(), *written};
}

std::optional<std::string> Picture_Destination(platform::Services& services, ProgramState& state,
                                               const std::string& projectPath,
                                               const std::string& name) {
    if (projectPath.empty()) {
        // With no project there is no folder of its own: the operator says where.
        return Choose_File(state, services.dialog, "Salva l'immagine " + name, kBmpFilter, true,
                           ".bmp", name);
    }
    const QDir folder = QFileInfo(Native(projectPath)).dir();
    if (!folder.mkpath(QString::fromLatin1(kImagesFolder))) {
        services.messages.Show("Impossibile creare la cartella " +
                                   QFile::encodeName(folder.filePath(kImagesFolder)).toStdString(),
                               "ERROR", platform::MessageIcon::Critical);
        return std::nullopt;
    }
    return QFile::encodeName(folder.filePath(QString::fromLatin1(kImagesFolder) + '/' +
                                             QString::fromStdString(name)))
        .toStdString();
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
    // With one picture the copy is named as it will be on disk; with more, by the pattern.
    const std::string copyName =
        reversed.size() == 1
            ? picture::Fixed_Name(services.files.GetFileName(Spelt_On_Disk(reversed.front().path)))
            : "nome_lcd.bmp";
    text += kCrLf +
            "Correggi scrive accanto all'originale una copia con i bit invertiti e la "
            "tavolozza normale (" +
            copyName +
            ") e la usa al suo posto; Lascia così la "
            "programma com'è.";
    if (!services.messages.AskTwo(text, "Tavolozza invertita", "Correggi", "Lascia così")) {
        return {};
    }
    std::vector<SlotPicture> fixed;
    for (const SlotPicture& p : reversed) {
        const PanelLayout& layout = kPanelLayouts[static_cast<std::size_t>(p.panel)];
        // The whole file, as the compiler reads it: its rows are taken from the end.
        const platform::FileContents file = services.files.Read(p.path, kPictureFileMaxLength + 1);
        // A longer file was read only in part, and its rows lie beyond what was read.
        const std::optional<std::string> bytes =
            file.status == platform::FileStatus::Ok && file.length <= kPictureFileMaxLength
                ? picture::Fix_Reversed_Palette(file.bytes, layout.width, layout.height)
                : std::nullopt;
        const std::string target = picture::Fixed_Name(Spelt_On_Disk(p.path));
        if (!bytes) {
            services.messages.Show("Impossibile correggere " + services.files.GetFileName(p.path),
                                   "ERROR", platform::MessageIcon::Critical);
            continue;
        }
        if (const std::optional<std::string> written =
                Save_Picture(services, target, *bytes, true)) {
            fixed.push_back({p.panel, p.slot, *written});
        }
    }
    return fixed;
}

}  // namespace lcdprog
