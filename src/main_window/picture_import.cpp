#include "main_window/picture_import.h"

#include <QDir>
#include <QFile>
#include <QSettings>

#include "compiler/image_decoder.h"
#include "compiler/mod_Compilatore.h"
#include "main_window/import_dialog.h"
#include "picture/picture.h"
#include "platform/choose_file.h"
#include "platform/posix_file_service.h"
#include "platform/qt/log.h"
#include "platform/qt/qt_image_reader.h"
#include "project/picture_names.h"
#include "project/project_file.h"

namespace lcdprog {
namespace {

const std::string kCrLf = "\r\n";
constexpr const char* kBmpFilter = "Tutti i file |*.*| Immagine bitmap (*.bmp) | *.bmp";
// Enough for the header and the palette of any information header a 1-bit file may carry.
constexpr std::size_t kPaletteReadLimit = 1024;

QString Native(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(path));
}

QString Settings_Key(int panel) {
    return QStringLiteral("import/") +
           QLatin1String(kPanelLayouts[static_cast<std::size_t>(panel)].name);
}

// Writes a new picture where Write_New_Picture says; nothing, after the message, when it cannot.
std::optional<std::string> Save_Picture(platform::Services& services, const std::string& path,
                                        const std::string& bytes) {
    const platform::Result<std::string> written = Write_New_Picture(services.files, path, bytes);
    if (!written) {
        services.messages.Show(written.Text(), "ERROR", platform::MessageIcon::Critical);
        return std::nullopt;
    }
    return *written;
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

picture::Settings Remembered_Import_Settings(int panel) {
    const QString text = QSettings().value(Settings_Key(panel)).toString();
    return Settings_From_Json(text.toStdString()).value_or(picture::Settings{});
}

std::optional<ImportedPicture> Import_Picture(platform::Services& services, QWidget* parent,
                                              const std::string& source, int panel, int slot,
                                              const std::string& projectPath,
                                              const RunImportDialog& run,
                                              const std::optional<picture::Settings>& settings) {
    platform::Result<picture::Rgba> image = platform::Read_Image_File(source);
    if (!image) {
        qCWarning(platform::Picture_Log, "import: %s refused: %s", source.c_str(),
                  image.Text().c_str());
        services.messages.Show(image.Text(), "ERROR", platform::MessageIcon::Critical);
        return std::nullopt;
    }
    qCInfo(platform::Picture_Log, "import: read %s, %d x %d pixels", source.c_str(), image->width,
           image->height);
    frm_Importa_Immagine dialog(std::move(image.Value()), services.files.GetFileName(source), panel,
                                slot, parent);
    // Changing the panel in the dialog keeps what is set there: only the start is remembered.
    dialog.Apply_Settings(settings.value_or(Remembered_Import_Settings(panel)));
    if (!(run ? run(dialog) : dialog.exec() == QDialog::Accepted)) {
        return std::nullopt;
    }
    QSettings().setValue(Settings_Key(dialog.Panel()),
                         QString::fromStdString(Settings_Json(dialog.Settings())));
    const PanelLayout& layout = kPanelLayouts[static_cast<std::size_t>(dialog.Panel())];
    const std::string name = picture::Output_Name(source, layout.width, layout.height);
    const std::string bytes = picture::Bmp_File(dialog.Result());

    const std::optional<std::string> written = Save_Slot_Picture(
        services, projectPath, name, bytes, frm_Importa_Immagine::kCaption.toStdString());
    if (!written) {
        qCWarning(platform::Picture_Log, "import: %s not saved", name.c_str());
        return std::nullopt;
    }
    qCInfo(platform::Picture_Log, "import: %s saved as %s for panel %s, slot %d", source.c_str(),
           written->c_str(), layout.name, dialog.Slot() + 1);
    return ImportedPicture{{dialog.Panel(), dialog.Slot(), *written}, source, dialog.Settings()};
}

std::optional<std::string> Picture_Destination(platform::Services& services,
                                               const std::string& projectPath,
                                               const std::string& name) {
    if (projectPath.empty()) {
        // With no project there is no folder of its own: the operator says where, the name
        // proposed. A file there is not replaced (Save_Slot_Picture), so the dialog does not
        // offer to.
        return platform::Choose_File(services.dialog, "Salva l'immagine " + name, kBmpFilter, true,
                                     ".bmp", name, false);
    }
    const std::string folder = Pictures_Folder(projectPath);
    if (!QDir().mkpath(Native(folder))) {
        services.messages.Show("Impossibile creare la cartella " + folder, "ERROR",
                               platform::MessageIcon::Critical);
        return std::nullopt;
    }
    return folder + "/" + name;
}

std::optional<std::string> Save_Slot_Picture(platform::Services& services,
                                             const std::string& projectPath,
                                             const std::string& name, const std::string& bytes,
                                             const std::string& title) {
    const std::optional<std::string> target = Picture_Destination(services, projectPath, name);
    if (!target) {
        return std::nullopt;
    }
    const std::string free = Unused_Picture_Name(services.files, *target, bytes);
    if (projectPath.empty() && !free.empty() && free != *target &&
        !services.messages.AskTwo("Il file " + services.files.GetFileName(*target) +
                                      " esiste già ed è diverso, e può essere l'immagine di un "
                                      "altro spazio o di un altro progetto: scrivere questa "
                                      "immagine come " +
                                      services.files.GetFileName(free) + "?",
                                  title, "Nuovo nome", "Annulla")) {
        return std::nullopt;
    }
    return Save_Picture(services, *target, bytes);
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

PaletteAnswer Offer_Palette_Fix(platform::Services& services,
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
    PaletteAnswer answer;
    answer.fix = services.messages.AskTwo(text, "Tavolozza invertita", "Correggi", "Lascia così");
    if (!answer.fix) {
        return answer;
    }
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
        if (const std::optional<std::string> written = Save_Picture(services, target, *bytes)) {
            answer.fixed.push_back({p.panel, p.slot, *written});
        }
    }
    return answer;
}

}  // namespace lcdprog
