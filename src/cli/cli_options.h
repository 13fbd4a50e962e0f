#pragma once

// The command line of lcdprog-cli. Parsing does no I/O, so that every rule is one table row in
// the tests.

#include <string>
#include <vector>

#include "platform/result.h"

namespace lcdprog::cli {

enum class Command { None, Ports, Image, Write, Convert, Report, Db, Worker };

// Exit statuses, the conventions of the flashing tools a production line already uses.
constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;  // at least one module failed
constexpr int kExitUsage = 2;   // wrong usage, a bad project or image, a port not opened
constexpr int kExitInterrupted = 130;

struct Options {
    Command command = Command::None;
    bool help = false;
    bool version = false;
    bool verbose = false;            // the log on standard error, and every port's process told so
    std::string input;               // image, write: the project or the .bin file
    std::string output;              // image: -o FILE.bin
    std::string pngDir;              // image: --png DIR
    std::vector<std::string> ports;  // write: every --port; worker: its one port
    bool loop = false;
    std::string logFile;  // write: --log FILE.jsonl
    // write: what every record says, and the plant database it goes to.
    std::string station;
    std::string operatorName;
    std::string order;
    int quantity = 0;  // -1: not a number of units
    std::string serial;
    bool reprogram = false;
    std::string db;
    bool quiet = false;
    bool json = false;
    // convert: every word after its name, as typed (it parses them itself).
    std::vector<std::string> commandArguments;
};

// The hidden sub-command each port's child process runs: lcdprog-cli _port-worker DEV [--loop].
constexpr const char* kWorkerCommand = "_port-worker";

// `args` excludes the program name. "--opt VALUE" and "--opt=VALUE" are both accepted; "--"
// ends the options; --quiet and --json exclude each other. A refusal carries the one-line Italian
// reason.
platform::Result<Options> Parse_Arguments(const std::vector<std::string>& args);

// What --help prints for the command (Command::None: the general help).
std::string Help_Text(Command command);
std::string Version_Text();
// The name the operator types for the command ("write"), empty for None; and back (None for a
// word that names no command the operator may type).
std::string Command_Name(Command command);
Command Command_Named(const std::string& word);
// True when the input names an image file rather than a project (it ends in ".bin").
bool Is_Image_File(const std::string& input);

}  // namespace lcdprog::cli
