#include "project/project_file.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>
#include <QString>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <initializer_list>
#include <optional>
#include <system_error>
#include <vector>

#include "platform/qt/log.h"
#include "platform/staged_files.h"
#include "state/glyph_tools.h"

namespace lcdprog {
namespace {

std::string Name_Of(const std::string& path) {
    return std::filesystem::path(path).filename().string();
}

// Paths are taken apart as plain file system paths: std::filesystem and not QFileInfo or QDir,
// which read a path that starts with ':' as one of Qt's resources.
QString Folder_Of(const std::string& projectPath) {
    return QString::fromStdString(
        std::filesystem::path(Absolute_Path(projectPath)).parent_path().string());
}

platform::Refusal Refuse(const std::string& projectPath, const std::string& reason,
                         platform::RefusalKind kind = platform::RefusalKind::Invalid) {
    return {kind, "Il file " + Name_Of(projectPath) + " non è un progetto valido: " + reason + "."};
}

std::string Picture_Name(int panel, int slot) {
    return "l'immagine numero " + std::to_string(slot + 1) + " del display " +
           kPanelLayouts[panel].name;
}

// A glyph's rows as the file holds them (an array of strings), in the editors' form.
std::optional<GlyphColumns> Read_Glyph(const QJsonValue& value, GlyphSize size) {
    if (!value.isArray()) {
        return std::nullopt;
    }
    std::vector<std::string> rows;
    for (const QJsonValue& row : value.toArray()) {
        if (!row.isString()) {
            return std::nullopt;
        }
        rows.push_back(row.toString().toStdString());
    }
    return Glyph_From_Rows(rows, size);
}

template <std::size_t Columns, typename T>
std::string Glyph_Array(const std::array<T, Columns>& columns, int rows) {
    const std::vector<std::string> text =
        Glyph_Rows(GlyphColumns(columns.begin(), columns.end()), rows);
    std::string array = "[\n";
    for (std::size_t r = 0; r < text.size(); ++r) {
        array += "            \"" + text[r] + (r + 1 < text.size() ? "\",\n" : "\"\n");
    }
    return array + "        ]";
}

// A JSON string literal, quotes included.
std::string Json_String(const std::string& text) {
    const QByteArray array =
        QJsonDocument(QJsonArray{QString::fromStdString(text)}).toJson(QJsonDocument::Compact);
    return array.mid(1, array.size() - 2).toStdString();
}

// The keys of `object` outside `known`, kept as they are for the next save.
std::vector<Project::Extra> Extra_Keys(const QJsonObject& object,
                                       std::initializer_list<QLatin1String> known) {
    std::vector<Project::Extra> extra;
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (std::find(known.begin(), known.end(), it.key()) != known.end()) {
            continue;
        }
        const QByteArray value =
            QJsonDocument(QJsonArray{it.value()}).toJson(QJsonDocument::Compact);
        extra.push_back({it.key().toStdString(), value.mid(1, value.size() - 2).toStdString()});
    }
    return extra;
}

// The kept keys, each on a line of its own at `indent`, after the known ones.
std::string Extra_Text(const std::vector<Project::Extra>& extra, const std::string& indent) {
    std::string text;
    for (const Project::Extra& e : extra) {
        text += ",\n" + indent + Json_String(e.key) + ": " + e.json;
    }
    return text;
}

// A picture path as the file keeps it: relative to the project's folder when under it.
std::string Stored_Path(const std::string& picture, const QString& folder) {
    if (picture.empty()) {
        return {};
    }
    const QString path = QString::fromStdString(Absolute_Path(picture));
    const QString prefix = folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
    if (path.startsWith(prefix) && path.size() > prefix.size()) {
        return path.mid(prefix.size()).toStdString();
    }
    return path.toStdString();
}

// A path as the file keeps it, made absolute against the project's folder.
std::string Resolved_Path(const QString& stored, const QString& folder) {
    return Absolute_Path(
        (stored.startsWith(QLatin1Char('/')) ? stored : folder + QLatin1Char('/') + stored)
            .toStdString());
}

// The keys version 2 added at the top of the file.
constexpr const char* kImportsKey = "imports";
constexpr const char* kReversedKey = "reversedPalettesKept";

// The settings as the members of a JSON object, in the order the dialog shows them.
std::string Settings_Members(const picture::Settings& s) {
    const auto flag = [](bool on) { return std::string(on ? "true" : "false"); };
    return "\"scale\": " + Json_String(picture::kScalingNames[static_cast<int>(s.scaling)]) +
           ", \"rotate\": " + std::to_string(s.rotation) + ", \"mirror\": " + flag(s.mirror) +
           ", \"dither\": " +
           Json_String(picture::kConversionNames[static_cast<int>(s.conversion)]) +
           ", \"threshold\": " + std::to_string(s.threshold) +
           ", \"brightness\": " + std::to_string(s.brightness) +
           ", \"contrast\": " + std::to_string(s.contrast) + ", \"invert\": " + flag(s.invert);
}

// One of `names` by its word; false when the value is not one of them.
template <std::size_t N>
bool Read_Name(const QJsonValue& value, const char* const (&names)[N], int& index) {
    for (std::size_t i = 0; i < N; ++i) {
        if (value.toString() == QLatin1String(names[i])) {
            index = static_cast<int>(i);
            return true;
        }
    }
    return false;
}

std::optional<picture::Settings> Read_Settings(const QJsonObject& object) {
    picture::Settings s;
    const auto number = [&](const char* key, int& value) {
        const QJsonValue v = object.value(QLatin1String(key));
        if (v.isUndefined()) {
            return true;
        }
        const double d = v.toDouble(0.5);
        if (!v.isDouble() || d != std::floor(d) || std::abs(d) > 1000) {
            return false;
        }
        value = static_cast<int>(d);
        return true;
    };
    const auto flag = [&](const char* key, bool& value) {
        const QJsonValue v = object.value(QLatin1String(key));
        value = v.toBool(value);
        return v.isUndefined() || v.isBool();
    };
    int scaling = static_cast<int>(s.scaling);
    int conversion = static_cast<int>(s.conversion);
    const QJsonValue scale = object.value(QStringLiteral("scale"));
    const QJsonValue dither = object.value(QStringLiteral("dither"));
    if ((!scale.isUndefined() && !Read_Name(scale, picture::kScalingNames, scaling)) ||
        (!dither.isUndefined() && !Read_Name(dither, picture::kConversionNames, conversion)) ||
        !number("rotate", s.rotation) || !number("threshold", s.threshold) ||
        !number("brightness", s.brightness) || !number("contrast", s.contrast) ||
        !flag("mirror", s.mirror) || !flag("invert", s.invert)) {
        return std::nullopt;
    }
    s.scaling = static_cast<picture::Scaling>(scaling);
    s.conversion = static_cast<picture::Conversion>(conversion);
    if (!picture::Check_Settings(s).empty()) {
        return std::nullopt;
    }
    return s;
}

}  // namespace

std::string Settings_Json(const picture::Settings& settings) {
    std::string json = "{";
    json += Settings_Members(settings);
    return json + "}";
}

std::optional<picture::Settings> Settings_From_Json(std::string_view text) {
    const QJsonDocument document =
        QJsonDocument::fromJson(QByteArray(text.data(), static_cast<qsizetype>(text.size())));
    if (!document.isObject()) {
        return std::nullopt;
    }
    return Read_Settings(document.object());
}

std::string Absolute_Path(const std::string& path) {
    if (path.empty()) {
        return {};
    }
    std::error_code ec;
    std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    if (ec) {
        absolute = path;
    }
    std::string clean = absolute.lexically_normal().string();
    while (clean.size() > 1 && clean.back() == '/') {
        clean.pop_back();
    }
    return clean;
}

namespace {

// The document as far as its kind and version go: size, JSON, an object of this format and of a
// version this program reads.
platform::Result<QJsonObject> Read_Root(std::string_view bytes, const std::string& projectPath) {
    if (bytes.size() > kProjectMaxBytes) {
        return Refuse(projectPath, "supera 1 MiB", platform::RefusalKind::TooLarge);
    }
    QJsonParseError parseError{};
    const QJsonDocument document = QJsonDocument::fromJson(
        QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())), &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        return Refuse(projectPath, "il testo JSON non è corretto (carattere " +
                                       std::to_string(parseError.offset) + ")");
    }
    if (!document.isObject()) {
        return Refuse(projectPath, "il testo JSON non è un oggetto");
    }
    const QJsonObject root = document.object();
    if (root.value(QStringLiteral("format")).toString() != QLatin1String(kProjectFormat)) {
        return Refuse(projectPath, std::string("manca il formato \"") + kProjectFormat + "\"");
    }
    const QJsonValue versionValue = root.value(QStringLiteral("version"));
    const double version = versionValue.toDouble(-1);
    if (!versionValue.isDouble() || version < 1 || version != std::floor(version)) {
        return Refuse(projectPath, "la versione manca o non è un numero intero positivo");
    }
    if (version > kProjectVersion) {
        return platform::Refusal{
            platform::RefusalKind::NewerFormat,
            "Il progetto " + Name_Of(projectPath) +
                " è stato salvato da una versione più recente del programma (formato " +
                QString::number(version, 'g', 17).toStdString() +
                "); questa versione legge fino al formato " + std::to_string(kProjectVersion) +
                "."};
    }
    return root;
}

// Four paths a panel, each empty or made absolute against the project's folder.
platform::Result<> Read_Pictures(const QJsonObject& pictures, const std::string& projectPath,
                                 Project& project) {
    const QString folder = Folder_Of(projectPath);
    for (int p = 0; p < kProjectPanels; ++p) {
        const QJsonValue panel = pictures.value(QLatin1String(kPanelLayouts[p].name));
        if (!panel.isArray() || panel.toArray().size() != kSlotsPerPanel) {
            return Refuse(projectPath, std::string("il display ") + kPanelLayouts[p].name +
                                           " deve avere un elenco di 4 immagini");
        }
        const QJsonArray entries = panel.toArray();
        for (int s = 0; s < kSlotsPerPanel; ++s) {
            if (!entries[s].isString()) {
                return Refuse(projectPath, Picture_Name(p, s) + " non è un testo");
            }
            const QString stored = entries[s].toString();
            if (stored.contains(QChar(0))) {
                return Refuse(projectPath, Picture_Name(p, s) + " contiene un carattere nullo");
            }
            if (stored.isEmpty()) {
                continue;
            }
            project.pictures[p][s] = Resolved_Path(stored, folder);
        }
    }
    return platform::kDone;
}

platform::Result<> Read_Glyphs(const QJsonObject& glyphs, const std::string& projectPath,
                               Project& project) {
    const std::optional<GlyphColumns> small =
        Read_Glyph(glyphs.value(QStringLiteral("5x8")), kGlyph5x8);
    if (!small) {
        return Refuse(projectPath, "il font 5x8 deve avere 8 righe di 5 caratteri '#' o '.'");
    }
    const std::optional<GlyphColumns> large =
        Read_Glyph(glyphs.value(QStringLiteral("10x16")), kGlyph10x16);
    if (!large) {
        return Refuse(projectPath, "il font 10x16 deve avere 16 righe di 10 caratteri '#' o '.'");
    }
    for (std::size_t c = 0; c < small->size(); ++c) {
        project.font5x8[c] = static_cast<std::uint8_t>((*small)[c]);
    }
    for (std::size_t c = 0; c < large->size(); ++c) {
        project.font10x16[c] = static_cast<std::uint16_t>((*large)[c]);
    }
    return platform::kDone;
}

// Version 2: the imports and the reversed palettes kept, their paths made absolute.
platform::Result<> Read_Version_2(const QJsonObject& root, const std::string& projectPath,
                                  Project& project) {
    const QString folder = Folder_Of(projectPath);
    const QJsonValue imports = root.value(QLatin1String(kImportsKey));
    if (!imports.isUndefined() && !imports.isArray()) {
        return Refuse(projectPath, "le importazioni devono essere un elenco");
    }
    for (const QJsonValue& entry : imports.toArray()) {
        const QJsonObject object = entry.toObject();
        const QJsonValue picture = object.value(QStringLiteral("picture"));
        const QJsonValue source = object.value(QStringLiteral("source"));
        const std::optional<picture::Settings> settings = Read_Settings(object);
        if (!picture.isString() || picture.toString().isEmpty() || !source.isString() ||
            source.toString().isEmpty() || !settings) {
            return Refuse(projectPath, "l'importazione numero " +
                                           std::to_string(project.imports.size() + 1) +
                                           " non è corretta");
        }
        project.imports.push_back({Resolved_Path(picture.toString(), folder),
                                   Resolved_Path(source.toString(), folder), *settings});
    }
    const QJsonValue reversed = root.value(QLatin1String(kReversedKey));
    if (!reversed.isUndefined() && !reversed.isArray()) {
        return Refuse(projectPath, "le tavolozze invertite lasciate così devono essere un elenco");
    }
    for (const QJsonValue& entry : reversed.toArray()) {
        if (!entry.isString() || entry.toString().isEmpty()) {
            return Refuse(projectPath, "una tavolozza invertita lasciata così non è un percorso");
        }
        project.reversedPalettesKept.push_back(Resolved_Path(entry.toString(), folder));
    }
    return platform::kDone;
}

}  // namespace

platform::Result<Project> Parse_Project(std::string_view bytes, const std::string& projectPath) {
    const platform::Result<QJsonObject> root = Read_Root(bytes, projectPath);
    if (!root) {
        return root.Why();
    }
    Project project;
    const QJsonObject pictures = root->value(QStringLiteral("pictures")).toObject();
    if (platform::Result<> read = Read_Pictures(pictures, projectPath, project); !read) {
        return read.Why();
    }
    const QJsonObject glyphs = root->value(QStringLiteral("glyphs")).toObject();
    if (platform::Result<> read = Read_Glyphs(glyphs, projectPath, project); !read) {
        return read.Why();
    }
    // A file of version 1 is read as it always was: keys named like version 2's are its own.
    const bool second = root->value(QStringLiteral("version")).toInt() >= 2;
    if (second) {
        if (platform::Result<> read = Read_Version_2(*root, projectPath, project); !read) {
            return read.Why();
        }
    }
    project.extraTop = Extra_Keys(
        *root, {QLatin1String("format"), QLatin1String("version"), QLatin1String("pictures"),
                QLatin1String("glyphs"), QLatin1String(second ? kImportsKey : "format"),
                QLatin1String(second ? kReversedKey : "format")});
    std::vector<QLatin1String> panelNames;
    for (const PanelLayout& layout : kPanelLayouts) {
        panelNames.emplace_back(layout.name);
    }
    project.extraPictures =
        Extra_Keys(pictures, {panelNames[0], panelNames[1], panelNames[2], panelNames[3]});
    project.extraGlyphs = Extra_Keys(glyphs, {QLatin1String("5x8"), QLatin1String("10x16")});
    return project;
}

namespace {

platform::Result<Project> Read_Project_Unlogged(const platform::FileService& files,
                                                const std::string& projectPath) {
    using platform::RefusalKind;
    const platform::FileContents file = files.Read(projectPath, kProjectMaxBytes + 1);
    const std::string name = Name_Of(projectPath);
    switch (file.status) {
        case platform::FileStatus::Ok:
            break;
        case platform::FileStatus::Missing:
            // The whole path: a recent project that moved must say where it was looked for.
            return platform::Refusal{RefusalKind::Missing,
                                     "Il progetto " + projectPath + " non esiste."};
        case platform::FileStatus::NotRegular:
            return platform::Refusal{
                RefusalKind::NotRegular,
                "Il file " + name + " non è un file regolare: non è un progetto."};
        case platform::FileStatus::Unreadable:
            return platform::Refusal{
                RefusalKind::Unreadable,
                "Impossibile leggere il progetto " + name +
                    (file.error.empty() ? std::string(".") : ": " + file.error + ".")};
    }
    if (file.length > kProjectMaxBytes) {
        return Refuse(projectPath, "supera 1 MiB", RefusalKind::TooLarge);
    }
    return Parse_Project(file.bytes, projectPath);
}

}  // namespace

platform::Result<Project> Read_Project(const platform::FileService& files,
                                       const std::string& projectPath) {
    platform::Result<Project> project = Read_Project_Unlogged(files, projectPath);
    if (!project) {
        qCWarning(platform::Project_Log, "%s refused: %s", projectPath.c_str(),
                  project.Text().c_str());
        return project;
    }
    qCInfo(platform::Project_Log, "%s read", projectPath.c_str());
    for (int p = 0; p < kProjectPanels; ++p) {
        for (int s = 0; s < kSlotsPerPanel; ++s) {
            qCDebug(platform::Project_Log, "  %s slot %d: %s", kPanelLayouts[p].name, s + 1,
                    project->pictures[p][s].c_str());
        }
    }
    return project;
}

std::string Serialize_Project(const Project& project, const std::string& projectPath) {
    // Written by hand rather than through QJsonDocument, which would sort the keys: this order
    // reads top to bottom as the window shows it.
    const QString folder = Folder_Of(projectPath);
    const bool second = !project.imports.empty() || !project.reversedPalettesKept.empty();
    std::string text = "{\n    \"format\": " + Json_String(kProjectFormat) +
                       ",\n    \"version\": " + std::to_string(second ? 2 : 1) +
                       ",\n    \"pictures\": {\n";
    for (int p = 0; p < kProjectPanels; ++p) {
        text += std::string("        \"") + kPanelLayouts[p].name + "\": [\n";
        for (int s = 0; s < kSlotsPerPanel; ++s) {
            text += "            " + Json_String(Stored_Path(project.pictures[p][s], folder)) +
                    (s + 1 < kSlotsPerPanel ? ",\n" : "\n");
        }
        text += p + 1 < kProjectPanels ? "        ],\n" : "        ]";
    }
    text += Extra_Text(project.extraPictures, "        ");
    text += "\n    },\n    \"glyphs\": {\n        \"5x8\": " +
            Glyph_Array(project.font5x8, kGlyph5x8.rows) +
            ",\n        \"10x16\": " + Glyph_Array(project.font10x16, kGlyph10x16.rows) +
            Extra_Text(project.extraGlyphs, "        ") + "\n    }";
    if (!project.imports.empty()) {
        text += ",\n    \"";
        text += kImportsKey;
        text += "\": [";
        for (std::size_t i = 0; i < project.imports.size(); ++i) {
            const Project::Import& import = project.imports[i];
            text += i == 0 ? "\n        {\"picture\": " : ",\n        {\"picture\": ";
            text += Json_String(Stored_Path(import.picture, folder));
            text += ", \"source\": ";
            text += Json_String(Stored_Path(import.source, folder));
            text += ", ";
            text += Settings_Members(import.settings);
            text += "}";
        }
        text += "\n    ]";
    }
    if (!project.reversedPalettesKept.empty()) {
        text += ",\n    \"";
        text += kReversedKey;
        text += "\": [";
        for (std::size_t i = 0; i < project.reversedPalettesKept.size(); ++i) {
            text += i == 0 ? "" : ", ";
            text += Json_String(Stored_Path(project.reversedPalettesKept[i], folder));
        }
        text += "]";
    }
    // A version 1 file's own keys of these names give way to the real ones.
    std::vector<Project::Extra> extraTop;
    for (const Project::Extra& extra : project.extraTop) {
        if (!second || (extra.key != kImportsKey && extra.key != kReversedKey)) {
            extraTop.push_back(extra);
        }
    }
    return text + Extra_Text(extraTop, "    ") + "\n}\n";
}

platform::Result<> Write_Project(const Project& project, const std::string& projectPath) {
    const std::string text = Serialize_Project(project, projectPath);
    const platform::Result<> written = platform::Write_File_Atomically(projectPath, text);
    if (!written) {
        qCWarning(platform::Project_Log, "%s not written: %s", projectPath.c_str(),
                  written.Text().c_str());
        return platform::Refusal{platform::RefusalKind::Unwritable,
                                 "Impossibile salvare il progetto " + projectPath + ": " +
                                     written.Text() +
                                     (platform::Stamp_Of(projectPath).exists
                                          ? " Il file precedente non è stato modificato."
                                          : "")};
    }
    qCInfo(platform::Project_Log, "%s written, %d bytes", projectPath.c_str(),
           static_cast<int>(text.size()));
    return platform::kDone;
}

}  // namespace lcdprog
