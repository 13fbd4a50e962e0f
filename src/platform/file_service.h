#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace lcdprog::platform {

enum class FileStatus {
    Ok,          // bytes holds the first min(length, limit) bytes
    Missing,     // nothing at that path (after case-insensitive resolution)
    NotRegular,  // a folder, FIFO, device or socket: never opened, so nothing can block
    Unreadable,  // exists but open() or read() failed (permissions, I/O error, vanished)
};

struct FileContents {
    FileStatus status = FileStatus::Missing;
    std::uint64_t length = 0;  // the whole file's length, even when only a prefix was read
    std::string bytes;         // one char per byte
    std::string error;         // operator-readable reason when status is not Ok
};

// The file services the behaviour code needs: existence, the last path component, and binary
// reading. Reading returns a prefix in one call instead of single bytes at a position: the
// callers index into it exactly as they would read byte k at position k.
class FileService {
  public:
    virtual ~FileService() = default;
    // True for an existing entry that is not a folder.
    virtual bool FileExists(const std::string& path) const = 0;
    // The last component of a path (file name with extension).
    virtual std::string GetFileName(const std::string& path) const = 0;
    // Reads at most `limit` bytes from the start of the file and reports its full length.
    virtual FileContents Read(const std::string& path, std::size_t limit) const = 0;
    // The folder that holds the running executable, without a trailing separator.
    virtual std::string ProgramFolder() const = 0;
    // The path of a file the program ships with (the white backgrounds): in the program folder,
    // unless the service knows of another place that holds it.
    virtual std::string ProgramDataFile(const std::string& name) const {
        return ProgramFolder() + "/" + name;
    }
    // The path as the file system spells it (a lookup may ignore case, so the path asked for may
    // differ in case from the entry): "" when nothing matches.
    virtual std::string PathOnDisk(const std::string& path) const {
        return FileExists(path) ? path : std::string();
    }
};

}  // namespace lcdprog::platform
