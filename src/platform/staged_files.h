#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/result.h"

namespace lcdprog::platform {

// Files that appear all together or not at all. Each is first written whole to a temporary file
// beside its final name (same folder, so the rename cannot cross disks) and synced; Commit()
// then renames them into place. Until then nothing of the old files changes, and whatever is
// left uncommitted (a failure, an early return) is removed with the object: a full disk, a
// folder this user may not write or a crash leaves the old files intact, never half a new one.
class StagedFiles {
  public:
    StagedFiles() = default;
    StagedFiles(const StagedFiles&) = delete;
    StagedFiles& operator=(const StagedFiles&) = delete;
    ~StagedFiles();

    // Each refusal's text is the system's reason (System_Reason) alone, for the caller to put
    // in its own sentence.
    [[nodiscard]] Result<> Stage(const std::string& path, std::string_view bytes);
    // Creates `path` and any missing folder above it. The folders this made are removed again
    // (when still empty) unless Commit() succeeds, so a command that fails leaves no empty
    // folder behind either.
    [[nodiscard]] Result<> Make_Folder(const std::string& path);
    // Renames every staged file into place, in staging order.
    [[nodiscard]] Result<> Commit();

  private:
    struct Staged {
        std::string temporary;
        std::string path;
    };
    std::vector<Staged> staged_;
    std::vector<std::string> madeFolders_;  // outermost first
    bool committed_ = false;
};

// One file written as above.
[[nodiscard]] Result<> Write_File_Atomically(const std::string& path, std::string_view bytes);

// What a file on disk looked like when the program last read or wrote it: a later save can tell
// whether somebody else changed it since.
struct FileStamp {
    bool exists = false;
    std::uint64_t size = 0;
    std::int64_t modifiedNs = 0;
    std::uint64_t inode = 0;
    bool operator==(const FileStamp&) const = default;
};
FileStamp Stamp_Of(const std::string& path);

}  // namespace lcdprog::platform
