#pragma once

#include <atomic>
#include <ostream>
#include <string>
#include <vector>

#include "core/env.h"
#include "core/tables.h"

namespace chatterwick::cli {

// Runs one command line (without the program name). Exit status: 0 success,
// 1 a file or folder could not be read or written, 2 the arguments were
// wrong, 128 + the signal's number when *stop turned nonzero and the command
// stopped, changing nothing. blocks (the heap when null) holds the
// catalogue's chat lines.
// A command as its table describes it, and the names of the options and
// arguments its parser takes but help (both forms of each: "-m" and "--mask"):
// what --help, the manual and a test of the two against each other use.
struct CommandUsage {
  std::string name, summary, usage;
  std::vector<std::vector<std::string>> parsed;
};
std::vector<CommandUsage> CommandUsages();

int Run(const std::vector<std::string>& args, Env& env, std::ostream& out, std::ostream& err,
        bool err_is_terminal, const std::atomic<int>* stop = nullptr, bool out_is_terminal = false,
        BlockSource* blocks = nullptr);

}  // namespace chatterwick::cli
