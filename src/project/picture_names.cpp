#include "project/picture_names.h"

#include <filesystem>

#include "platform/staged_files.h"

namespace lcdprog {
namespace {

constexpr int kNamesTried = 1000;

// Nothing there, or exactly these bytes: writing there changes no picture anybody sees.
bool Free_For(const platform::FileService& files, const std::string& path,
              const std::string& bytes) {
    const platform::FileContents file = files.Read(path, bytes.size() + 1);
    return file.status == platform::FileStatus::Missing ||
           (file.status == platform::FileStatus::Ok && file.bytes == bytes);
}

}  // namespace

std::string Pictures_Folder(const std::string& projectPath) {
    return (std::filesystem::path(projectPath).parent_path() / "immagini").string();
}

std::string Unused_Picture_Name(const platform::FileService& files, const std::string& wanted,
                                const std::string& bytes) {
    if (Free_For(files, wanted, bytes)) {
        return wanted;
    }
    const std::size_t slash = wanted.find_last_of('/');
    const std::size_t dot = wanted.rfind('.');
    const bool ext = dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
    const std::string stem = ext ? wanted.substr(0, dot) : wanted;
    const std::string extension = ext ? wanted.substr(dot) : std::string();
    for (int n = 2; n <= kNamesTried; ++n) {
        const std::string candidate = stem + "_" + std::to_string(n) + extension;
        if (Free_For(files, candidate, bytes)) {
            return candidate;
        }
    }
    return {};
}

platform::Result<std::string> Write_New_Picture(const platform::FileService& files,
                                                const std::string& wanted,
                                                const std::string& bytes) {
    const std::string target = Unused_Picture_Name(files, wanted, bytes);
    if (target.empty()) {
        return platform::Refusal{platform::RefusalKind::Unwritable,
                                 "Impossibile scrivere l'immagine " + files.GetFileName(wanted) +
                                     ": ci sono già troppe immagini diverse con questo nome."};
    }
    if (files.FileExists(target)) {
        return target;  // already there, byte for byte
    }
    if (const platform::Result<> written = platform::Write_File_Atomically(target, bytes);
        !written) {
        return platform::Refusal{
            platform::RefusalKind::Unwritable,
            "Impossibile scrivere il file " + target + ":\r\n" + written.Text()};
    }
    return target;
}

}  // namespace lcdprog
