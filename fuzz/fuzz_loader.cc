// Any bytes as a log file: the load, listing, title and CSV save must hold
// their invariants and never touch memory outside the tables.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/commands.h"
#include "core/log_view.h"
#include "testing/mem_env.h"
#include "testing/memory_window.h"

using namespace chatterwick;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  MemEnv env;
  env.PutFolder("/out");
  env.PutFile("/log.html", std::string(reinterpret_cast<const char*>(data), size));
  LoadedLog log;
  Catalogue catalogue;
  MemoryWindow window;
  Context ctx{log, catalogue, window, env, "/out/"};
  const bool ok = OpenLog(ctx, "/log.html").ok();
  if (log.LineCount < 0 || log.LineCount > kLastLineIndex + 1) std::abort();
  if (ok) {
    // An HTML log's lines are its markup lines; a plain-text log's are its text.
    for (int32_t i = 0; i < log.LineCount; ++i)
      if (log.RawLines[i].empty() ||
          (log.Format == LogFormat::kHtml && log.RawLines[i][0] != '<'))
        std::abort();
    if (!log.RawLines[log.LineCount].empty()) std::abort();
  }
  if (!commands::SaveLogAsCsvTo(ctx, {}, "/out/log.csv").ok()) std::abort();
  if (!commands::SaveLogAsTextTo(ctx, "/out/log.txt").ok()) std::abort();
  if (env.Contents("/out/log.txt") != window.pane + "\r\n") std::abort();
  return 0;
}
