#include "cli/output_files.h"

#include <cstdio>

namespace lcdprog::cli {

bool Make_Output_Folder(platform::StagedFiles& out, const std::string& folder) {
    if (const platform::Result<> made = out.Make_Folder(folder); !made) {
        std::fprintf(stderr, "lcdprog-cli: impossibile creare la cartella %s: %s\n", folder.c_str(),
                     made.Text().c_str());
        return false;
    }
    return true;
}

bool Stage_Output(platform::StagedFiles& out, const std::string& path, std::string_view bytes) {
    if (const platform::Result<> staged = out.Stage(path, bytes); !staged) {
        std::fprintf(stderr, "lcdprog-cli: impossibile scrivere %s: %s\n", path.c_str(),
                     staged.Text().c_str());
        return false;
    }
    return true;
}

bool Commit_Outputs(platform::StagedFiles& out) {
    if (const platform::Result<> committed = out.Commit(); !committed) {
        std::fprintf(stderr, "lcdprog-cli: impossibile completare i file di uscita: %s\n",
                     committed.Text().c_str());
        return false;
    }
    return true;
}

}  // namespace lcdprog::cli
