#include <unistd.h>

#include <csignal>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "platform/large_pages.h"
#include "platform/posix_env.h"
#include "platform/stop_signals.h"

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  // A closed pipe is a failed write to report, not a silent death.
  std::signal(SIGPIPE, SIG_IGN);
  // Ctrl+C and SIGTERM let a command remove what it had begun to write.
  const std::atomic<int>* stop = chatterwick::stop_signals::Install();
  chatterwick::stop_signals::Arm(true);
  std::vector<std::string> args(argv + 1, argv + argc);
  try {
    return chatterwick::cli::Run(args, *chatterwick::PosixEnv(), std::cout, std::cerr,
                                 ::isatty(STDERR_FILENO) != 0, stop, ::isatty(STDOUT_FILENO) != 0,
                                 chatterwick::LargePageBlocks());
  } catch (const std::exception& e) {
    std::cerr << "chatterwick-cli: stopped: " << e.what() << '\n';
    return 1;
  }
}
