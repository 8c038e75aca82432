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
  // True when the observer wants OnTotal: the tree is then listed once more
  // before the walk, which costs little next to reading the logs.
  virtual bool WantsTotal() const { return false; }
  virtual void OnTotal(int64_t logs, uint64_t bytes) {
    (void)logs;
    (void)bytes;
  }
  virtual void OnLogLoaded(int32_t chat_lines_stored, uint64_t bytes) = 0;
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

// Where the files go, with a final separator: the folder "output" beside the
// executable when it is, or can be made, writable there; otherwise (a copy
// installed where it may not write) $XDG_DATA_HOME/chatterwick/output, or
// ~/.local/share/chatterwick/output when that is not set.
std::string OutputFolder(Env& env);

}  // namespace chatterwick
