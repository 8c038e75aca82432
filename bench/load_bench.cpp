// Loads and lists logs of growing length, in each of the client's formats,
// and prints the time per line, so that a cost that grows faster than the
// log shows as a growing figure.
#include <malloc.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

#include "core/log_view.h"
#include "testing/mem_env.h"
#include "testing/memory_window.h"

using namespace chatterwick;

// A log of n lines in either of the client's formats.
std::string Log(int n, LogFormat format) {
  std::string text = format == LogFormat::kHtml
                         ? "<html><head><title>bench</title></head><body><p>\n"
                         : "Conversation with bob at Mon 01 Jan 2024 12:00:00 CET on me (jabber)\n";
  for (int i = 1; i < n; ++i)
    text += format == LogFormat::kHtml
                ? "<span style=\"color: #A82F2F\"><span style=\"font-size: smaller\">(13:59:33)"
                  "</span> <b>Bob Jones:</b></span> <span style='color: #008000;'>message number " +
                      std::to_string(i) + ", with some text</span><br>\n"
                : "(13:59:33) Bob Jones: message number " + std::to_string(i) + ", with some text\n";
  return text;
}

int main() {
  std::printf("%8s %6s %12s %14s\n", "lines", "format", "total ms", "us per line");
  for (int n : {1250, 2500, 5000, 10000}) {
    for (LogFormat format : {LogFormat::kHtml, LogFormat::kText}) {
      MemEnv env;
      env.PutFile("/b.log", Log(n, format));
      LoadedLog log;
      Catalogue catalogue;
      MemoryWindow window;
      Context ctx{log, catalogue, window, env, "/out/"};
      const int reps = 20;
      auto start = std::chrono::steady_clock::now();
      for (int r = 0; r < reps; ++r) OpenLog(ctx, "/b.log").IgnoreError();
      double ms =
          std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
              .count() /
          reps;
      std::printf("%8d %6s %12.2f %14.3f\n", n, format == LogFormat::kHtml ? "HTML" : "text", ms,
                  ms * 1000.0 / n);
    }
  }

  // What the tables cost before any run, full, and to clear when full.
  // Large blocks come straight from mmap and show in hblkhd, not uordblks.
  auto heap = [] {
    struct mallinfo2 m = mallinfo2();
    return m.uordblks + m.hblkhd;
  };
  const size_t before = heap();
  auto log = std::make_unique<LoadedLog>();
  auto catalogue = std::make_unique<Catalogue>();
  std::printf("\nfresh tables: %zu bytes on the heap (%zu in the objects)\n", heap() - before,
              sizeof(LoadedLog) + sizeof(Catalogue));
  for (int32_t i = 1; i <= kLastConversation; ++i)
    catalogue->Conversations.At(i) = {i, 1, "2024-01-01.120000+0000UTC.html"};
  for (int32_t i = 1; i <= kLastChatLine; ++i)
    catalogue->ChatLines.Append(i / 100 + 1, i % 100 + 1, "(12:00:00)", "Someone",
                                "a message of some fifty characters, give or take");
  std::printf("full tables:  %zu bytes on the heap\n", heap() - before);
  auto start = std::chrono::steady_clock::now();
  catalogue->Clear();
  double ms =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  std::printf("clearing the full catalogue: %.2f ms, %zu bytes left on the heap\n", ms,
              heap() - before);
  return 0;
}
