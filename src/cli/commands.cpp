#include "cli/commands.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>
#include <vector>

#include "cli/convert_command.h"
#include "cli/output_files.h"
#include "compiler/image_decoder.h"
#include "compiler/mod_Compilatore.h"
#include "platform/message_box.h"
#include "platform/port_diagnostics.h"
#include "platform/posix_file_service.h"
#include "platform/qt/port_table.h"
#include "platform/system_reason.h"
#include "png/png_writer.h"
#include "project/project_file.h"
#include "project/project_state.h"
#include "state/mod_variabili.h"

namespace lcdprog::cli {
namespace {

using platform::Refusal;
using platform::RefusalKind;
using platform::Result;

Result<MemoryImageBytes> Load_Image_File(const std::string& path) {
    MemoryImageBytes image{};
    const platform::PosixFileService files;
    const platform::FileContents file = files.Read(path, image.size() + 1);
    if (file.status == platform::FileStatus::Missing) {
        return Refusal{RefusalKind::Missing, "file non trovato: " + path};
    }
    if (file.status != platform::FileStatus::Ok) {
        return Refusal{
            file.status == platform::FileStatus::NotRegular ? RefusalKind::NotRegular
                                                            : RefusalKind::Unreadable,
            "impossibile leggere " + path + (file.error.empty() ? "" : ": " + file.error)};
    }
    if (file.length != image.size()) {
        return Refusal{RefusalKind::Invalid,
                       "il file " + path + " non è un'immagine della EEPROM: " +
                           std::to_string(file.length) + " byte invece di 65536"};
    }
    std::copy(file.bytes.begin(), file.bytes.end(), image.begin());
    return image;
}

std::string Without_Cr(std::string text) {
    std::erase(text, '\r');
    return text;
}

}  // namespace

// What the window does for the same project: every slot and both glyphs set as opening the
// project sets them, then the compile of "Scrivi modulo LCD". A picture the project names but
// the window would refuse stops here, rather than programming a white picture in its place.
Result<MemoryImageBytes> Compile_Project(
    platform::FileService& files, const std::string& path,
    const std::function<void(const std::string&)>& reversedPalette) {
    const Result<Project> read = Read_Project(files, path);
    if (!read) {
        return read.Why();
    }
    // The slots and glyphs as the window would hold them, for this one compile. A reversed
    // palette is programmed as it is, as the window does, with a warning.
    const auto state = std::make_unique<ProgramState>();
    const std::vector<RefusedPicture> refused =
        Apply_Project(*state, *read, files, [&](int, int, const std::string& picture) -> Result<> {
            if (reversedPalette) {
                reversedPalette(picture);
            }
            return platform::kDone;
        });
    if (!refused.empty()) {
        // The window would show these slots white; a production run must not.
        std::string text = "il progetto " + path + " ha immagini non utilizzabili:";
        for (const RefusedPicture& r : refused) {
            text += "\n  " + Refused_Picture_Line(r);
        }
        return Refusal{RefusalKind::Invalid, text};
    }
    // Nobody can close a box here: the compiler's refusal is the reason, on standard error.
    platform::KeptMessages messages;
    const Result<MemoryImageBytes> compiled = Compile_Image(CompilerIo{files, messages}, *state);
    if (!compiled) {
        return Refusal{compiled.Why().kind, Without_Cr(compiled.Why().text)};
    }
    return *compiled;
}

Result<MemoryImageBytes> Load_Input(const std::string& input) {
    if (Is_Image_File(input)) {
        return Load_Image_File(input);
    }
    platform::PosixFileService files;
    return Compile_Project(files, input, Warn_Reversed_Palette);
}

// The window's port table, "COM n" by "COM n", with what the window shows in each entry's tool
// tip (path, by-id name, USB maker, product and serial number) and, for a port this user cannot
// open, the advice the window gives.
int Run_Ports() {
    const platform::PortTable table = platform::PortTable::FromEnvironment();
    if (table.Count() == 0) {
        std::printf("Nessuna porta seriale trovata.\n");
        return kExitOk;
    }
    for (int n = 1; n <= table.Count(); ++n) {
        std::string description = table.Description(n);
        std::string lines;
        for (std::size_t eol = 0; (eol = description.find('\n')) != std::string::npos;) {
            description.erase(0, eol + 1);
            lines += "       " + description.substr(0, description.find('\n')) + "\n";
        }
        const std::string device = table.DevicePath(n);
        const platform::PortFacts facts = platform::Gather_Port_Facts(device);
        std::printf(
            "COM %-2d %s\n%s       %s\n", n, device.c_str(), lines.c_str(),
            facts.accessible ? "apribile da questo utente" : "NON apribile da questo utente");
        if (!facts.accessible) {
            std::string advice = platform::Explain_Port_Failure(facts);
            std::erase(advice, '\r');
            for (std::size_t eol = 0; (eol = advice.find('\n', eol)) != std::string::npos;) {
                advice.replace(eol, 1, "\n       ");
                eol += 8;
            }
            std::printf("       %s\n", advice.c_str());
        }
    }
    return kExitOk;
}

int Run_Image(const Options& options) {
    const Result<MemoryImageBytes> loaded = Load_Input(options.input);
    if (!loaded) {
        std::fprintf(stderr, "lcdprog-cli: %s\n", loaded.Why().text.c_str());
        return kExitUsage;
    }
    const MemoryImageBytes& image = *loaded;
    // Every output is written beside its name first and renamed only once all of them are
    // complete: a command that fails leaves no output behind, nor half of one.
    platform::StagedFiles out;
    if (!Stage_Output(
            out, options.output,
            std::string_view(reinterpret_cast<const char*>(image.data()), image.size()))) {
        return kExitUsage;
    }
    if (!options.pngDir.empty()) {
        if (const Result<> staged = Stage_Png_Pictures(ImageView(image), options.pngDir, out);
            !staged) {
            std::fprintf(stderr, "lcdprog-cli: %s\n", staged.Why().text.c_str());
            return kExitUsage;
        }
    }
    return Commit_Outputs(out) ? kExitOk : kExitUsage;
}

}  // namespace lcdprog::cli
