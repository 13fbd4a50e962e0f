#pragma once

#include <string>
#include <vector>

namespace lcdprog::cli {

// lcdprog-cli convert IMAGE... --panel NAME -o OUT [options]: any picture to the 1-bit file a
// slot takes, with the import dialog's code, defaults and bytes. Parses its own `arguments` (the
// words after "convert") and creates the application it needs from argc and argv. Exit 0 when
// every file was written; 2, with nothing written, for any bad argument or picture.
int Run_Convert(int argc, char** argv, const std::vector<std::string>& arguments);

// On standard error, the warning for each picture of a project whose palette is reversed (the
// module would show it as a negative); the command then carries on.
void Warn_Reversed_Palette(const std::string& picturePath);

}  // namespace lcdprog::cli
