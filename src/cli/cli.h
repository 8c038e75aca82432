#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "core/env.h"

namespace chatterwick::cli {

// Runs one command line (without the program name). Exit status: 0 success,
// 1 the work failed, 2 the arguments were wrong.
int Run(const std::vector<std::string>& args, Env& env, std::ostream& out, std::ostream& err,
        bool err_is_terminal);

}  // namespace chatterwick::cli
