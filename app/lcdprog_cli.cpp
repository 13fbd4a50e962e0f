// lcdprog-cli: the programmer without a window (QtCore and QtSerialPort only).

#include "cli/cli_main.h"

int main(int argc, char** argv) {
    return lcdprog::cli::Cli_Main(argc, argv);
}
