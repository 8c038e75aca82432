#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "core/env.h"
#include "core/tables.h"
#include "core/window_ops.h"

namespace chatterwick {

// Told of a folder run's progress; the window ignores it, the CLI draws a bar.
class WalkObserver {
 public:
  virtual ~WalkObserver() = default;
  virtual void OnLogsListed(int32_t count) = 0;
  virtual void OnLogLoaded(int32_t chat_lines_stored) = 0;
  // why is the loader's reason; the pane has the message without it.
  virtual void OnLoadFailed(const std::string& path, const Status& why) {
    (void)path;
    (void)why;
  }
};

// What every procedure of the core works with. Nothing here is owned: the
// tables live as long as the process that made them.
struct Context {
  LoadedLog& log;
  Catalogue& catalogue;
  WindowOps& window;
  Env& env;
  // Where the files go; ends with the separator.
  std::string output_folder;
  WalkObserver* observer = nullptr;
  // Nonzero (the signal's number) when the user asked the program to stop:
  // a run then ends at the next log and changes nothing.
  const std::atomic<int>* stop = nullptr;
};

inline bool StopRequested(const Context& ctx) { return ctx.stop && ctx.stop->load() != 0; }

// The folder "output" beside the executable, with a final separator.
inline std::string DefaultOutputFolder(Env& env) {
  const char sep = env.Separator();
  return env.ApplicationFolder() + sep + "output" + sep;
}

}  // namespace chatterwick
