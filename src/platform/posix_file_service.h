#pragma once

#include <string>
#include <string_view>

#include "platform/file_service.h"
#include "platform/lower_case_path.h"

namespace lcdprog::platform {

// File services on a POSIX file system (Linux).
//
// Paths are split at '/' only: on Linux '\' is an ordinary character of a file name, so a
// path written with backslashes names one file, not a folder and a file.
//
// The picture selection stores the chosen path in lower case, and file systems here tell upper
// from lower case. So when a path does not exist exactly as written, it is looked up again one
// component at a time, matching each component case-insensitively (Lower_Case_Path on both
// sides). Within one folder a name that matches exactly always wins; otherwise the first
// matching entry in the order readdir() returns them is taken. That order is the file system's
// own and not sorted: with "Logo.BMP" and "LOGO.bmp" side by side, "logo.bmp" reaches whichever
// the folder lists first. The lookup walks the path once, front to back, and follows symbolic
// links only through the kernel (which stops loops with ELOOP), so it always ends.
class PosixFileService final : public FileService {
  public:
    PosixFileService() = default;
    // A program folder other than the executable's: for a program or test that runs the
    // windows from another folder than the one holding the white backgrounds.
    explicit PosixFileService(std::string programFolder)
        : programFolder_(std::move(programFolder)) {}

    bool FileExists(const std::string& path) const override;
    std::string GetFileName(const std::string& path) const override;
    // Only regular files are opened (non-blocking, close-on-exec, never as a controlling
    // terminal), so a FIFO, a device or a socket is reported as NotRegular without waiting.
    FileContents Read(const std::string& path, std::size_t limit) const override;
    // The folder of /proc/self/exe (or the one given); "" when the program lies in "/", "."
    // when unknown.
    std::string ProgramFolder() const override;
    // The program folder comes first, so the build tree and a copy kept beside the executable
    // behave as they always have; then ../share/lcdprog beside it, where an installed tree (bin/
    // and share/ under one prefix, such as /usr) keeps it. When neither holds the file, the path
    // in the program folder, the place looked first.
    std::string ProgramDataFile(const std::string& name) const override;
    // Resolve(path).
    std::string PathOnDisk(const std::string& path) const override { return Resolve(path); }

    // The path as it exists on disk: `path` itself when it exists, otherwise the result of the
    // case-insensitive lookup, or "" when no entry matches.
    static std::string Resolve(const std::string& path);

  private:
    std::string programFolder_;
};

}  // namespace lcdprog::platform
