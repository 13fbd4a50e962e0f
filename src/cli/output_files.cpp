#include "cli/output_files.h"

#include <cstdio>

namespace lcdprog::cli {

bool Make_Output_Folder(platform::StagedFiles& out, const std::string& folder) {
    std::string reason;
    if (!out.Make_Folder(folder, reason)) {
        std::fprintf(stderr, "lcdprog-cli: impossibile creare la cartella %s: %s\n", folder.c_str(),
                     reason.c_str());
        return false;
    }
    return true;
}

bool Stage_Output(platform::StagedFiles& out, const std::string& path, std::string_view bytes) {
    std::string reason;
    if (!out.Stage(path, bytes, reason)) {
        std::fprintf(stderr, "lcdprog-cli: impossibile scrivere %s: %s\n", path.c_str(),
                     reason.c_str());
        return false;
    }
    return true;
}

bool Commit_Outputs(platform::StagedFiles& out) {
    std::string reason;
    if (!out.Commit(reason)) {
        std::fprintf(stderr, "lcdprog-cli: impossibile completare i file di uscita: %s\n",
                     reason.c_str());
        return false;
    }
    return true;
}

}  // namespace lcdprog::cli
