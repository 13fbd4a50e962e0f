#include "cli/cli_main.h"

#include <QCoreApplication>
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "cli/commands.h"
#include "cli/convert_command.h"
#include "cli/port_worker.h"
#include "cli/records_commands.h"
#include "cli/write_command.h"
#include "platform/qt/log.h"

namespace lcdprog::cli {

int Cli_Main(int argc, char** argv) {
    platform::Set_Log_Format();
    const std::vector<std::string> args(argv + 1, argv + argc);
    const platform::Result<Options> parsed = Parse_Arguments(args);
    if (!parsed) {
        // The command, if one was named before the mistake, gets its own help named.
        const auto named = std::find_if(args.begin(), args.end(), [](const std::string& a) {
            return Command_Named(a) != Command::None;
        });
        const std::string name = named == args.end() ? "" : *named + " ";
        std::fprintf(stderr, "lcdprog-cli: %s\nPer l'aiuto: lcdprog-cli %s--help\n",
                     parsed.Text().c_str(), name.c_str());
        return kExitUsage;
    }
    const Options& options = *parsed;
    if (options.verbose) {
        platform::Enable_Verbose_Log();
    }
    if (options.command == Command::Convert) {
        // It makes the application it needs (one that can draw) and says its own help.
        return Run_Convert(argc, argv, options.commandArguments);
    }
    if (options.version) {
        std::fputs(Version_Text().c_str(), stdout);
        return kExitOk;
    }
    if (options.help) {
        std::fputs(Help_Text(options.command).c_str(), stdout);
        return kExitOk;
    }
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("lcdprog-cli");
    switch (options.command) {
        case Command::Ports:
            return Run_Ports();
        case Command::Image:
            return Run_Image(options);
        case Command::Write: {
            const platform::Result<MemoryImageBytes> image = Load_Input(options.input);
            if (!image) {
                std::fprintf(stderr, "lcdprog-cli: %s\nNessun modulo è stato scritto.\n",
                             image.Why().text.c_str());
                return kExitUsage;
            }
            return Run_Write(options, *image);
        }
        case Command::Worker:
            return Run_Port_Worker(options.ports.front(), options.loop);
        case Command::Report:
            return Run_Report(options.commandArguments);
        case Command::Db:
            return Run_Db(options.commandArguments);
        case Command::Convert:
        case Command::None:
            break;
    }
    return kExitUsage;
}

}  // namespace lcdprog::cli
