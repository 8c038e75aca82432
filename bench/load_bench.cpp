// Loads and lists logs of growing length and prints the time per line, so that
// a cost that grows faster than the log shows as a growing figure.
#include <malloc.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

#include "core/modGeneral.h"
#include "platform/mem_env.h"
#include "platform/memory_window.h"

using namespace chatterwick;

int main() {
  std::printf("%8s %12s %14s\n", "lines", "total ms", "us per line");
  for (int n : {1250, 2500, 5000, 10000}) {
    std::string log = "<html><head><title>bench</title></head><body><p>\n";
    for (int i = 1; i < n; ++i)
      log += "<span style=\"color: #A82F2F\"><span style=\"font-size: smaller\">(13:59:33)</span> "
             "<b>Bob Jones:</b></span> <span style='color: #008000;'>message number " +
             std::to_string(i) + ", with some text</span><br>\n";
    MemEnv env;
    env.PutFile("/b.html", log);
    modGlobal::State state;
    MemoryWindow window;
    Context ctx{state, window, env, "/out/"};
    const int reps = 20;
    auto start = std::chrono::steady_clock::now();
    for (int r = 0; r < reps; ++r) modGeneral::OpenLog(ctx, "/b.html");
    double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count() / reps;
    std::printf("%8d %12.2f %14.3f\n", n, ms, ms * 1000.0 / n);
  }

  // What the tables cost before any run, full, and to clear when full.
  
  // Large blocks come straight from mmap and show in hblkhd, not uordblks.
  auto heap = [] { struct mallinfo2 m = mallinfo2(); return m.uordblks + m.hblkhd; };
  const size_t before = heap();
  auto state = std::make_unique<modGlobal::State>();
  std::printf("\nfresh state: %zu bytes on the heap (%zu in the object)\n",
              heap() - before, sizeof(modGlobal::State));
  modGlobal::ClearCatalogue(*state);
  for (int32_t i = 1; i <= modGlobal::kLastConversation; ++i)
    state->Conversations.At(i) = {i, 1, "2024-01-01.120000+0000UTC.html"};
  for (int32_t i = 1; i <= modGlobal::kLastChatLine; ++i)
    state->ChatLines.Append(i / 100 + 1, i % 100 + 1, "(12:00:00)", "Someone",
                            "a message of some fifty characters, give or take");
  std::printf("full tables:  %zu bytes on the heap\n", heap() - before);
  auto start = std::chrono::steady_clock::now();
  modGlobal::ClearCatalogue(*state);
  double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  std::printf("ClearCatalogue on full tables: %.2f ms, %zu bytes left on the heap\n", ms,
              heap() - before);
  return 0;
}
