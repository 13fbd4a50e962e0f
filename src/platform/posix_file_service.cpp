#include "platform/posix_file_service.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/lower_case_path.h"
#include "platform/system_reason.h"

namespace lcdprog::platform {
namespace {

std::string Join(const std::string& folder, const std::string& name) {
    if (folder.empty()) {
        return name;
    }
    if (folder.back() == '/') {
        return folder + name;
    }
    return folder + "/" + name;
}

bool Entry_Exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

// The first entry of `folder`, in readdir() order, whose lower-cased name equals `lowered`;
// "" when there is none or the folder cannot be listed.
std::string Find_Case_Insensitive(const std::string& folder, const std::string& lowered) {
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (dir == nullptr) {
        return {};
    }
    std::string found;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != ".." && Lower_Case_Path(name) == lowered) {
            found = name;
            break;
        }
    }
    ::closedir(dir);
    return found;
}

FileContents Failure(FileStatus status, std::string error) {
    FileContents out;
    out.status = status;
    out.error = std::move(error);
    return out;
}

const char* const kNotRegular =
    "Non è un file normale (è una cartella, un dispositivo, una FIFO o un socket).";

}  // namespace

std::string PosixFileService::Resolve(const std::string& path) {
    if (path.empty()) {
        return {};
    }
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) {
        return path;
    }
    if (errno != ENOENT && errno != ENOTDIR) {
        // A loop, a permission or a length problem: the exact path is the one to report on.
        return path;
    }

    std::string current = path.front() == '/' ? "/" : "";
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string::npos) {
            end = path.size();
        }
        const std::string component = path.substr(start, end - start);
        start = end + 1;
        if (component.empty()) {
            continue;
        }
        const std::string exact = Join(current, component);
        if (component == "." || component == ".." || Entry_Exists(exact)) {
            current = exact;
            continue;
        }
        const std::string match = Find_Case_Insensitive(current, Lower_Case_Path(component));
        if (match.empty()) {
            return {};
        }
        current = Join(current, match);
    }
    if (path.back() == '/' && current.back() != '/') {
        current += '/';
    }
    return current;
}

bool PosixFileService::FileExists(const std::string& path) const {
    const std::string real = Resolve(path);
    struct stat st {};
    return !real.empty() && ::stat(real.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

std::string PosixFileService::GetFileName(const std::string& path) const {
    const auto cut = path.rfind('/');
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

FileContents PosixFileService::Read(const std::string& path, std::size_t limit) const {
    const std::string real = Resolve(path);
    if (real.empty()) {
        return Failure(FileStatus::Missing, System_Reason(ENOENT));
    }
    // Look before opening: open() on a FIFO without a writer, or on some devices, would wait.
    struct stat st {};
    if (::stat(real.c_str(), &st) != 0) {
        const int error = errno;
        const bool gone = error == ENOENT || error == ENOTDIR;
        return Failure(gone ? FileStatus::Missing : FileStatus::Unreadable, System_Reason(error));
    }
    if (!S_ISREG(st.st_mode)) {
        return Failure(FileStatus::NotRegular, kNotRegular);
    }

    const int fd = ::open(real.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        const int error = errno;
        return Failure(error == ENOENT ? FileStatus::Missing : FileStatus::Unreadable,
                       System_Reason(error));
    }
    // The entry may have been replaced between stat() and open(): trust only what was opened.
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return Failure(FileStatus::NotRegular, kNotRegular);
    }

    FileContents out;
    out.status = FileStatus::Ok;
    out.length = static_cast<std::uint64_t>(st.st_size);
    const std::size_t wanted = static_cast<std::size_t>(std::min<std::uint64_t>(out.length, limit));
    out.bytes.reserve(wanted);
    std::vector<char> chunk(64 * 1024);
    while (out.bytes.size() < limit) {
        const std::size_t ask = std::min(chunk.size(), limit - out.bytes.size());
        const ssize_t got = ::read(fd, chunk.data(), ask);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            const int error = errno;
            ::close(fd);
            return Failure(FileStatus::Unreadable, System_Reason(error));
        }
        if (got == 0) {
            break;
        }
        out.bytes.append(chunk.data(), static_cast<std::size_t>(got));
    }
    ::close(fd);
    return out;
}

std::string PosixFileService::ProgramFolder() const {
    if (!programFolder_.empty()) {
        return programFolder_;
    }
    std::vector<char> buffer(256);
    for (;;) {
        const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (n < 0) {
            return ".";
        }
        if (static_cast<std::size_t>(n) < buffer.size()) {
            const std::string exe(buffer.data(), static_cast<std::size_t>(n));
            const auto cut = exe.rfind('/');
            return cut == std::string::npos ? std::string(".") : exe.substr(0, cut);
        }
        buffer.resize(buffer.size() * 2);
    }
}

std::string PosixFileService::ProgramDataFile(const std::string& name) const {
    const std::string folder = ProgramFolder();
    const std::string beside = folder + "/" + name;
    if (FileExists(beside)) {
        return beside;
    }
    // The parent folder, cut from the text: the executable's path from /proc/self/exe has no
    // symbolic links or "..", so "/usr/bin" gives "/usr"; "" (the root) and "." get "/.." added.
    const auto cut = folder.rfind('/');
    const std::string prefix = cut == std::string::npos ? folder + "/.." : folder.substr(0, cut);
    const std::string installed = prefix + "/share/lcdprog/" + name;
    return FileExists(installed) ? installed : beside;
}

}  // namespace lcdprog::platform
