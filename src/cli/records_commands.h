#pragma once

#include <string>
#include <vector>

namespace lcdprog::cli {

// lcdprog-cli report [FILE.jsonl...] [--db CONNINFO] [--by ...] [--from ...] [--to ...]
//                    [--order ...] [--csv]
// Each parses its own `arguments` (the words after its name). Exit 0 done, 1 the database could
// not be reached or refused, 2 wrong usage or a file that cannot be read.
int Run_Report(const std::vector<std::string>& arguments);
// lcdprog-cli db init CONNINFO | db send CONNINFO FILE.jsonl...
int Run_Db(const std::vector<std::string>& arguments);

}  // namespace lcdprog::cli
