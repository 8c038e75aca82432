#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "platform/posix_env.h"

// The command line run in the test's own process, on the real disk.
namespace chatterwick::testing {

struct CliResult {
  int status;
  std::string out, err;
};

inline CliResult RunCli(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  const int status = cli::Run(args, *PosixEnv(), out, err, false);
  return {status, out.str(), err.str()};
}

}  // namespace chatterwick::testing
