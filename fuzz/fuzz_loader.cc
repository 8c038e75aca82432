// Any bytes as a log file: the load, listing, title and CSV save must hold
// their invariants and never touch memory outside the tables.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/commands.h"
#include "core/modGeneral.h"
#include "platform/mem_env.h"
#include "platform/memory_window.h"

using namespace chatterwick;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  MemEnv env;
  env.PutFolder("/out");
  env.PutFile("/log.html", std::string(reinterpret_cast<const char*>(data), size));
  modGlobal::State state;
  MemoryWindow window;
  Context ctx{state, window, env, "/out/"};
  const bool ok = modGeneral::OpenLog(ctx, "/log.html");
  if (state.LineCount < 0 || state.LineCount > modGlobal::kLastLineIndex + 1) std::abort();
  if (ok) {
    for (int32_t i = 0; i < state.LineCount; ++i)
      if (state.RawLines[i].empty() || state.RawLines[i][0] != '<') std::abort();
    if (!state.RawLines[state.LineCount].empty()) std::abort();
  }
  if (!commands::SaveLogAsCsvTo(ctx, "/out/log.csv").ok()) std::abort();
  if (!commands::SaveLogAsTextTo(ctx, "/out/log.txt").ok()) std::abort();
  if (env.Contents("/out/log.txt") != window.pane + "\r\n") std::abort();
  return 0;
}
