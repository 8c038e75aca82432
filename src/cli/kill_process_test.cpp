// A run killed outright (SIGKILL: no stop, no cleaning up) at any moment,
// while it stores on one thread and indexes on the other: the next run
// completes the archive and its full-text index to what one whole run makes.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "cli/process_test_util.h"

namespace chatterwick {
namespace {

using testing::TempTree;

TEST(KillProcessTest, AKilledRunIsCompletedByTheNext) {
  TempTree t;
  // Enough logs for several batches and several slices of the index.
  for (int i = 0; i < 1500; ++i)
    t.File("logs/p/a/c" + std::to_string(i % 7) + "/2022-09-" + std::to_string(10 + i % 19) + "." +
               std::to_string(100000 + i) + "+0000UTC.html",
           testing::SmallLog(60));
  const std::string whole = t.Path("whole.sqlite");
  const auto began = std::chrono::steady_clock::now();
  ASSERT_EQ(RunToEnd(t, {"archive", t.Path("logs"), "--db", whole, "--quiet"}).status, 0);
  const auto took = std::chrono::steady_clock::now() - began;
  // What the archive holds, and what its index finds.
  auto held = [&](const std::string& db) {
    return RunToEnd(t, {"search", "--db", db, "--csv"}).out + "\n" +
           RunToEnd(t, {"search", "--db", db, "--csv", "line"}).out + "\n" +
           RunToEnd(t, {"search", "--db", db, "--csv", "\"line 37\""}).out;
  };
  const std::string want = held(whole);
  ASSERT_GT(want.size(), 1000u);
  for (int percent : {5, 15, 30, 45, 60, 75, 90, 98}) {
    SCOPED_TRACE(percent);
    const std::string db = t.Path("killed" + std::to_string(percent) + ".sqlite");
    Process p = Start(t, {"archive", t.Path("logs"), "--db", db, "--quiet"});
    std::this_thread::sleep_for(took * percent / 100);
    ::kill(p.pid, SIGKILL);
    Wait(p);
    const Ran next = RunToEnd(t, {"archive", t.Path("logs"), "--db", db, "--quiet"});
    ASSERT_EQ(next.status, 0) << next.err;
    EXPECT_EQ(held(db), want);
  }
}

}  // namespace
}  // namespace chatterwick
