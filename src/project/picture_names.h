#pragma once

// Where a picture made by the program (an import, a corrected palette, the picture editor) is
// written, and under which name. A file that exists is never replaced by another picture: it may
// be the picture of another slot, of this project's history (an undo brings its path back, and
// the path must still mean those pixels) or of another project this program cannot see. So a new
// picture takes a name nobody holds, and the boxes, the preview and the module stay in step.

#include <string>

#include "platform/file_service.h"
#include "platform/result.h"

namespace lcdprog {

// The folder beside a project that holds the pictures made for it: "<project folder>/immagini".
std::string Pictures_Folder(const std::string& projectPath);

// A name for `bytes` that replaces nothing: `wanted` when no file has that name or the file
// already holds exactly these bytes, else the first of "name_2.ext", "name_3.ext", ... that is
// free or holds them. "" when all of a thousand are taken by other pictures.
std::string Unused_Picture_Name(const platform::FileService& files, const std::string& wanted,
                                const std::string& bytes);

// Writes `bytes` under Unused_Picture_Name (atomically, nothing written when the same bytes are
// already there) and gives the path written; the folder must exist. Refused with the operator's
// message, naming the file, when there is no free name or the file cannot be written.
platform::Result<std::string> Write_New_Picture(const platform::FileService& files,
                                                const std::string& wanted,
                                                const std::string& bytes);

}  // namespace lcdprog
