#include <unistd.h>

#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "platform/posix_env.h"

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  std::vector<std::string> args(argv + 1, argv + argc);
  try {
    return chatterwick::cli::Run(args, *chatterwick::PosixEnv(), std::cout, std::cerr,
                                 ::isatty(STDERR_FILENO) != 0);
  } catch (const std::exception& e) {
    std::cerr << "chatterwick-cli: stopped: " << e.what() << '\n';
    return 1;
  }
}
