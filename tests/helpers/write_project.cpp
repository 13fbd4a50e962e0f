// Saves an empty project where a save cannot succeed, and prints what the save said, for the
// project window's test. A process of its own because the limits it sets (another user, a file
// size limit) are for good: a test that set them on itself, or on a fork of a process running
// Qt, would run on in a state it cannot undo.
//   lcdprog-test-write-project nobody|full-disk PROJECT
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <string>

#include "project/project_file.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: lcdprog-test-write-project nobody|full-disk PROJECT\n", stderr);
        return 2;
    }
    const std::string how = argv[1];
    const std::string path = argv[2];
    const std::string folder = std::filesystem::path(path).parent_path();
    if (how == "nobody") {
        // As root the folder's permissions would not stop it: become nobody instead.
        if ((::getuid() == 0 ? ::setuid(65534) : ::chmod(folder.c_str(), 0555)) != 0) {
            std::perror("nobody");
            return 1;
        }
    } else if (how == "full-disk") {
        const rlimit small{100, 100};
        std::signal(SIGXFSZ, SIG_IGN);
        if (::setrlimit(RLIMIT_FSIZE, &small) != 0) {
            std::perror("setrlimit");
            return 1;
        }
    } else {
        return 2;
    }
    const std::string said = lcdprog::Write_Project(lcdprog::Project{}, path).Text();
    ::chmod(folder.c_str(), 0755);
    std::printf("%s\n", said.c_str());
    return 0;
}
