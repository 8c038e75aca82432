#pragma once

#include <string>

#include "core/env.h"
#include "core/run_observer.h"
#include "core/stop_flag.h"
#include "core/tables.h"
#include "core/window_ops.h"

namespace chatterwick {

// What every procedure of the core works with. Nothing here is owned: the
// tables live as long as the process that made them.
struct Context {
  LoadedLog& log;
  Catalogue& catalogue;
  WindowOps& window;
  Env& env;
  // Where the files go; ends with the separator.
  std::string output_folder;
  // Told of a folder run's progress and problems; may be null.
  RunObserver* observer = nullptr;
  // Raised when the user asked the program to stop: a run then ends at the
  // next log and changes nothing.
  StopFlag stop = {};
};

}  // namespace chatterwick
