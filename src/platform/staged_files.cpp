#include "platform/staged_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "platform/system_reason.h"

namespace lcdprog::platform {
namespace {

std::string Folder_Of(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

// A new file takes the permissions an ordinary create would give it; a replaced one keeps its
// own, so saving does not quietly make a shared file private.
mode_t Mode_For(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        return st.st_mode & 07777;
    }
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

}  // namespace

StagedFiles::~StagedFiles() {
    for (const Staged& s : staged_) {
        ::unlink(s.temporary.c_str());
    }
    if (!committed_) {
        // Innermost first; a folder somebody put something into meanwhile stays (rmdir refuses).
        for (auto it = madeFolders_.rbegin(); it != madeFolders_.rend(); ++it) {
            ::rmdir(it->c_str());
        }
    }
}

Result<> StagedFiles::Make_Folder(const std::string& path) {
    std::size_t end = 0;
    while (end != std::string::npos) {
        end = path.find('/', end + 1);
        const std::string folder = path.substr(0, end);
        if (folder.empty() || folder == "/") {
            continue;
        }
        struct stat st {};
        if (::stat(folder.c_str(), &st) == 0) {
            if (!S_ISDIR(st.st_mode)) {
                return Refusal{RefusalKind::Unwritable, System_Reason(ENOTDIR)};
            }
            continue;
        }
        if (::mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST) {
            return Refusal{RefusalKind::Unwritable, System_Reason(errno)};
        }
        madeFolders_.push_back(folder);
    }
    return kDone;
}

Result<> StagedFiles::Stage(const std::string& given, std::string_view bytes) {
    // A name that is a symbolic link keeps being one: the file it leads to is replaced.
    std::string path = given;
    if (char* target = ::realpath(given.c_str(), nullptr)) {
        path = target;
        std::free(target);
    }
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        return Refusal{RefusalKind::Unwritable, System_Reason(EISDIR)};
    }
    const std::size_t slash = path.find_last_of('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string temporary = Folder_Of(path) + "/." + name + ".XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) {
        return Refusal{RefusalKind::Unwritable, System_Reason(errno)};
    }
    int error = 0;
    if (::fchmod(fd, Mode_For(path)) != 0) {
        error = errno;
    }
    for (std::size_t done = 0; error == 0 && done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno != EINTR) {
            error = errno;
        } else if (n > 0) {
            done += static_cast<std::size_t>(n);
        }
    }
    // The data must be on the disk before the rename makes it the file, or a power cut could
    // leave the name pointing at nothing.
    if (error == 0 && ::fsync(fd) != 0) {
        error = errno;
    }
    if (::close(fd) != 0 && error == 0) {
        error = errno;
    }
    if (error != 0) {
        ::unlink(temporary.c_str());
        return Refusal{RefusalKind::Unwritable, System_Reason(error)};
    }
    staged_.push_back({temporary, path});
    return kDone;
}

Result<> StagedFiles::Commit() {
    while (!staged_.empty()) {
        const Staged s = staged_.front();
        if (::rename(s.temporary.c_str(), s.path.c_str()) != 0) {
            return Refusal{RefusalKind::Unwritable, System_Reason(errno)};
        }
        staged_.erase(staged_.begin());
        const int folder = ::open(Folder_Of(s.path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (folder >= 0) {
            ::fsync(folder);
            ::close(folder);
        }
    }
    committed_ = true;
    return kDone;
}

Result<> Write_File_Atomically(const std::string& path, std::string_view bytes) {
    StagedFiles files;
    if (Result<> staged = files.Stage(path, bytes); !staged) {
        return staged;
    }
    return files.Commit();
}

FileStamp Stamp_Of(const std::string& path) {
    FileStamp stamp;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        return stamp;
    }
    stamp.exists = true;
    stamp.size = static_cast<std::uint64_t>(st.st_size);
    stamp.modifiedNs =
        static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    stamp.inode = static_cast<std::uint64_t>(st.st_ino);
    return stamp;
}

}  // namespace lcdprog::platform
