// Loads and lists logs of growing length and prints the time per line, so that
// a cost that grows faster than the log shows as a growing figure.
#include <chrono>
#include <cstdio>
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
  return 0;
}
