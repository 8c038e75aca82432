#include "archive/background_reader.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "archive/archive.h"
#include "platform/posix_env.h"
#include "testing/temp_tree.h"

namespace chatterwick::archive {
namespace {

using Clock = std::chrono::steady_clock;
using Kind = BackgroundReader::Kind;

// The caller's thread, as a test has it: what the reader posts waits in a
// list until Pump runs it.
class Caller {
 public:
  BackgroundReader::Post Post() {
    return [this](std::function<void()> f) {
      const std::lock_guard<std::mutex> lock(mu_);
      posted_.push_back(std::move(f));
    };
  }
  // Runs what was posted until the reader is idle (at most 10 s).
  void PumpUntilIdle(BackgroundReader& reader) {
    const auto until = Clock::now() + std::chrono::seconds(10);
    while (!reader.Idle() && Clock::now() < until) {
      std::vector<std::function<void()>> ready;
      {
        const std::lock_guard<std::mutex> lock(mu_);
        ready.swap(posted_);
      }
      for (auto& f : ready) f();
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_TRUE(reader.Idle());
  }

 private:
  std::mutex mu_;
  std::vector<std::function<void()>> posted_;
};

// A read that waits until it is stopped (or 10 s pass), then says whether it was.
BackgroundReader::Work UntilStopped(std::atomic<bool>* started, std::vector<std::string>* seen,
                                    std::string name) {
  return [started, seen, name](const BackgroundReader::Job& job) {
    started->store(true);
    const auto until = Clock::now() + std::chrono::seconds(10);
    while (!job.stop.Requested() && Clock::now() < until)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    job.deliver([seen, name] { seen->push_back(name); });
  };
}

BackgroundReader::Work Says(std::vector<std::string>* seen, std::string name) {
  return [seen, name](const BackgroundReader::Job& job) {
    job.deliver([seen, name] { seen->push_back(name); });
  };
}

void WaitFor(const std::atomic<bool>& flag) {
  const auto until = Clock::now() + std::chrono::seconds(10);
  while (!flag.load() && Clock::now() < until)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ASSERT_TRUE(flag.load());
}

// The newest request of a kind replaces the queued one and stops the
// running one, whose results never arrive; other kinds go on.
TEST(BackgroundReaderTest, TheNewestOfAKindIsTheOneThatCounts) {
  Caller caller;
  std::vector<std::string> seen;
  std::atomic<bool> started{false};
  BackgroundReader reader("/nonexistent/a.sqlite", caller.Post());
  reader.Schedule(Kind::kCount, UntilStopped(&started, &seen, "first count"));
  WaitFor(started);
  reader.Schedule(Kind::kSearch, Says(&seen, "first search"));
  reader.Schedule(Kind::kSearch, Says(&seen, "second search"));
  reader.Schedule(Kind::kCount, Says(&seen, "second count"));
  caller.PumpUntilIdle(reader);
  EXPECT_EQ(seen, (std::vector<std::string>{"second search", "second count"}));
}

// A running read of another kind is not stopped: it ends on its own.
TEST(BackgroundReaderTest, AnotherKindWaitsItsTurn) {
  Caller caller;
  std::vector<std::string> seen;
  BackgroundReader reader("/nonexistent/a.sqlite", caller.Post());
  std::atomic<bool> started{false}, stopped{false};
  reader.Schedule(Kind::kStatistics, [&](const BackgroundReader::Job& job) {
    started.store(true);
    for (int i = 0; i < 100 && !job.stop.Requested(); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    stopped.store(job.stop.Requested());
    job.deliver([&seen] { seen.push_back("statistics"); });
  });
  WaitFor(started);
  reader.Schedule(Kind::kTree, Says(&seen, "tree"));
  caller.PumpUntilIdle(reader);
  EXPECT_FALSE(stopped.load());
  EXPECT_EQ(seen, (std::vector<std::string>{"statistics", "tree"}));
}

// Closing stops a long read instead of waiting for it.
TEST(BackgroundReaderTest, GoingAwayStopsWhatRuns) {
  Caller caller;
  std::vector<std::string> seen;
  std::atomic<bool> started{false};
  const auto start = Clock::now();
  {
    BackgroundReader reader("/nonexistent/a.sqlite", caller.Post());
    reader.Schedule(Kind::kCount, UntilStopped(&started, &seen, "count"));
    WaitFor(started);
  }
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
}

// A missing archive is said to each read; once made, the next read after
// Reopen finds it.
TEST(BackgroundReaderTest, AnArchiveMadeLaterIsFoundAfterReopen) {
  testing::TempTree t;
  const std::string db = t.Path("a.sqlite");
  Caller caller;
  BackgroundReader reader(db, caller.Post());
  std::vector<std::string> said;
  auto ask = [&] {
    reader.Schedule(Kind::kTree, [&said](const BackgroundReader::Job& job) {
      std::vector<TreeNode> nodes;
      const Status s = job.reader ? job.reader->Tree(&nodes) : job.opened;
      const std::string what = s.IsNotFound() ? "none"
                               : s.ok()       ? std::to_string(nodes.size()) + " nodes"
                                              : s.message();
      job.deliver([&said, what] { said.push_back(what); });
    });
    caller.PumpUntilIdle(reader);
  };
  ask();
  t.File("logs/p/a/c/2022-09-30.100000+0000UTC.html", testing::SmallLog(3));
  ASSERT_EQ(RunArchive(*PosixEnv(), t.Path("logs/"), db, "*.html", nullptr).outcome,
            ArchiveOutcome::kDone);
  reader.Reopen();
  ask();
  EXPECT_EQ(said, (std::vector<std::string>{"none", "3 nodes"}));
}

}  // namespace
}  // namespace chatterwick::archive
