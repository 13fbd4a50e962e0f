#include "cli/convert_command.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <cstdio>
#include <map>
#include <vector>

#include "cli/cli_options.h"
#include "cli/output_files.h"
#include "compiler/image_decoder.h"
#include "picture/picture.h"
#include "platform/posix_file_service.h"
#include "platform/qt/command_line.h"
#include "platform/qt/log.h"
#include "platform/qt/qt_image_reader.h"

namespace lcdprog::cli {
namespace {

const char* const kConvertHelp =
    R"(Uso: lcdprog-cli convert IMMAGINE... --panel TIPO -o USCITA [OPZIONI]
Converte ogni immagine (PNG, JPEG, GIF, BMP, PBM/PGM/PPM, XPM, SVG) nel file BMP a 1 bit
che uno spazio immagine accetta, con gli stessi passi e le stesse impostazioni della
finestra "Importa immagine". Con più immagini (o con USCITA che finisce con "/")
USCITA è una cartella, creata se manca, e ogni file prende il nome NOME_LxA.bmp.

  --panel TIPO          64128A, 64128E, 64240B o 128240A
  -o, --output USCITA   il file .bmp da scrivere (o la cartella)
  --fit                 tutta l'immagine, proporzioni mantenute, centrata su bianco (predefinito)
  --fill                copre il display, proporzioni mantenute, centro ritagliato
  --stretch             estesa ai bordi del display
  --original            un pixel per pixel, centrata e ritagliata
  --rotate GRADI        0, 90, 180 o 270 in senso orario (predefinito 0)
  --mirror              specchiata da sinistra a destra
  --dither MODO         threshold (predefinito), floyd-steinberg, atkinson, bayer
  --threshold N         soglia da 0 a 255 (predefinita 128): più scuro di N diventa nero
  --brightness N        luminosità da -100 a 100 (predefinita 0)
  --contrast N          contrasto da -100 a 100 (predefinito 0)
  --invert              scambia nero e bianco alla fine
  --verbose             scrive su standard error il registro di quello che fa

Uscita: 0 file scritti, 2 argomenti o immagini non validi (nessun file scritto).
)";

bool Parse_Int(const QString& text, int& value) {
    bool ok = false;
    value = text.toInt(&ok);
    return ok;
}

struct Job {
    std::string source;
    std::string target;
    std::string bytes;
};

int Fail(const std::string& error) {
    std::fprintf(stderr, "lcdprog-cli: %s\nNessun file è stato scritto.\n", error.c_str());
    return kExitUsage;
}

// The options of convert, as QCommandLineParser takes them.
struct ConvertOptions {
    QCommandLineOption help{{"h", "help"}, ""};
    QCommandLineOption panel{"panel", "", "TIPO"};
    QCommandLineOption output{{"o", "output"}, "", "USCITA"};
    QCommandLineOption fit{"fit", ""};
    QCommandLineOption fill{"fill", ""};
    QCommandLineOption stretch{"stretch", ""};
    QCommandLineOption original{"original", ""};
    QCommandLineOption rotate{"rotate", "", "GRADI"};
    QCommandLineOption mirror{"mirror", ""};
    QCommandLineOption dither{"dither", "", "MODO"};
    QCommandLineOption threshold{"threshold", "", "N"};
    QCommandLineOption brightness{"brightness", "", "N"};
    QCommandLineOption contrast{"contrast", "", "N"};
    QCommandLineOption invert{"invert", ""};

    QList<QCommandLineOption> All() const {
        return {help,      panel,      output,   fit,    fill,
                stretch,   original,   rotate,   mirror, dither,
                threshold, brightness, contrast, invert, platform::Verbose_Option()};
    }
};

// The conversion's settings from the options; the reason when they are wrong, else empty.
std::string Read_Settings(const QCommandLineParser& parser, const ConvertOptions& o,
                          picture::Settings& settings) {
    int scalings = 0;
    for (const auto& [option, scaling] :
         {std::pair{&o.fit, picture::Scaling::Fit}, std::pair{&o.fill, picture::Scaling::Fill},
          std::pair{&o.stretch, picture::Scaling::Stretch},
          std::pair{&o.original, picture::Scaling::Original}}) {
        if (parser.isSet(*option)) {
            settings.scaling = scaling;
            ++scalings;
        }
    }
    if (scalings > 1) {
        return "indicare una sola scala tra --fit, --fill, --stretch e --original";
    }
    settings.mirror = parser.isSet(o.mirror);
    settings.invert = parser.isSet(o.invert);
    const std::pair<const QCommandLineOption*, int*> numbers[] = {
        {&o.rotate, &settings.rotation},
        {&o.threshold, &settings.threshold},
        {&o.brightness, &settings.brightness},
        {&o.contrast, &settings.contrast},
    };
    for (const auto& [option, value] : numbers) {
        if (parser.isSet(*option) && !Parse_Int(parser.value(*option), *value)) {
            return "--" + option->names().constLast().toStdString() +
                   " vuole un numero intero, non \"" + parser.value(*option).toStdString() + "\"";
        }
    }
    if (parser.isSet(o.dither)) {
        const auto& names = picture::kConversionNames;
        const auto mode =
            std::find(std::begin(names), std::end(names), parser.value(o.dither).toStdString());
        if (mode == std::end(names)) {
            return "--dither non valido: \"" + parser.value(o.dither).toStdString() +
                   "\" (threshold, floyd-steinberg, atkinson o bayer)";
        }
        settings.conversion = static_cast<picture::Conversion>(mode - std::begin(names));
    }
    return picture::Check_Settings(settings);
}

// The panel --panel names; the reason when it names none, else empty.
std::string Find_Panel(const QCommandLineParser& parser, const ConvertOptions& o,
                       const PanelLayout*& panel) {
    for (const PanelLayout& layout : kPanelLayouts) {
        if (parser.value(o.panel) == QLatin1String(layout.name)) {
            panel = &layout;
        }
    }
    if (panel != nullptr) {
        return {};
    }
    return parser.isSet(o.panel)
               ? "tipo di display sconosciuto: \"" + parser.value(o.panel).toStdString() +
                     "\" (64128A, 64128E, 64240B o 128240A)"
               : "manca il tipo di display: indicarlo con --panel TIPO";
}

// Every picture read and converted before anything is written, so that a bad one leaves no file
// behind.
platform::Result<std::vector<Job>> Convert_All(const QStringList& sources, const QString& out,
                                               bool intoFolder, const PanelLayout& panel,
                                               const picture::Settings& settings) {
    std::vector<Job> jobs;
    std::map<std::string, std::string> targets;
    for (const QString& source : sources) {
        const std::string path = QFile::encodeName(source).toStdString();
        const platform::Result<picture::Rgba> image = platform::Read_Image_File(path);
        if (!image) {
            qCWarning(platform::Picture_Log, "convert: %s refused: %s", path.c_str(),
                      image.Text().c_str());
            return image.Why();
        }
        qCInfo(platform::Picture_Log, "convert: read %s, %d x %d pixels", path.c_str(),
               image->width, image->height);
        const picture::Bits bits = picture::Convert(*image, panel.width, panel.height, settings);
        std::string target = out.toStdString();
        if (intoFolder) {
            target = QDir(out)
                         .filePath(QString::fromStdString(
                             picture::Output_Name(path, panel.width, panel.height)))
                         .toStdString();
        }
        if (const auto seen = targets.find(target); seen != targets.end()) {
            return platform::Refusal{
                platform::RefusalKind::Invalid,
                seen->second + " e " + path + " darebbero lo stesso file " + target};
        }
        targets[target] = path;
        jobs.push_back({path, target, picture::Bmp_File(bits)});
    }
    return jobs;
}

// All the pictures or none: each is staged beside its name and renamed once all are written.
// `folder` is the output folder to create first ("" when -o names a file).
int Write_All_Files(const std::vector<Job>& jobs, const std::string& folder) {
    platform::StagedFiles staged;
    if (!folder.empty() && !Make_Output_Folder(staged, folder)) {
        return kExitUsage;
    }
    for (const Job& job : jobs) {
        if (!Stage_Output(staged, job.target, job.bytes)) {
            return kExitUsage;
        }
    }
    if (!Commit_Outputs(staged)) {
        return kExitUsage;
    }
    for (const Job& job : jobs) {
        qCInfo(platform::Picture_Log, "convert: wrote %s from %s", job.target.c_str(),
               job.source.c_str());
    }
    return kExitOk;
}

}  // namespace

void Warn_Reversed_Palette(const std::string& picturePath) {
    const platform::PosixFileService files;
    const platform::FileContents file = files.Read(picturePath, 4096);
    if (file.status == platform::FileStatus::Ok && picture::Has_Reversed_Palette(file.bytes)) {
        std::fprintf(stderr, "lcdprog-cli: attenzione: %s\n",
                     picture::Reversed_Palette_Text(files.GetFileName(picturePath)).c_str());
    }
}

int Run_Convert(int argc, char** argv, const std::vector<std::string>& arguments) {
    // SVG pictures are drawn with QtGui's painter and fonts, which need a GUI application; a
    // command line has no display, so the platform that shows nothing (with fonts) is used, and
    // Qt's remarks about the desktop session (no runtime folder) are not passed on: every
    // failure that matters is reported in this command's own words.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "minimal:enable_fonts");
    }
    // Our own log still goes out, when it was asked for.
    qInstallMessageHandler(
        [](QtMsgType type, const QMessageLogContext& context, const QString& message) {
            if (context.category != nullptr && qstrncmp(context.category, "lcdprog.", 8) == 0) {
                std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
            }
        });
    QGuiApplication app(argc, argv);
    QCoreApplication::setApplicationName("lcdprog-cli");

    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const ConvertOptions o;
    QStringList line{QCoreApplication::arguments().value(0)};
    for (const std::string& argument : arguments) {
        line.append(QString::fromStdString(argument));
    }
    if (const platform::Result<> parsed = platform::Parse_Options(parser, o.All(), line); !parsed) {
        return Fail(parsed.Text());
    }
    if (parser.isSet(platform::Verbose_Option())) {
        platform::Enable_Verbose_Log();
    }
    if (parser.isSet(o.help)) {
        std::fputs(kConvertHelp, stdout);
        return kExitOk;
    }
    picture::Settings settings;
    if (const std::string wrong = Read_Settings(parser, o, settings); !wrong.empty()) {
        return Fail(wrong);
    }
    const PanelLayout* panel = nullptr;
    if (const std::string wrong = Find_Panel(parser, o, panel); !wrong.empty()) {
        return Fail(wrong);
    }
    const QStringList sources = parser.positionalArguments();
    if (sources.isEmpty()) {
        return Fail("manca l'immagine da convertire");
    }
    if (!parser.isSet(o.output) || parser.value(o.output).isEmpty()) {
        return Fail("manca il file da scrivere: indicarlo con -o USCITA");
    }
    const QString out = parser.value(o.output);
    // A name ending in '/' is a folder to make, as a shell user writes one.
    const bool intoFolder =
        sources.size() > 1 || QFileInfo(out).isDir() || out.endsWith(QLatin1Char('/'));
    if (intoFolder && QFileInfo::exists(out) && !QFileInfo(out).isDir()) {
        return Fail("con più immagini -o indica una cartella, e " + out.toStdString() +
                    " non lo è");
    }
    const platform::Result<std::vector<Job>> jobs =
        Convert_All(sources, out, intoFolder, *panel, settings);
    if (!jobs) {
        return Fail(jobs.Text());
    }
    return Write_All_Files(*jobs, intoFolder ? out.toStdString() : std::string());
}

}  // namespace lcdprog::cli
