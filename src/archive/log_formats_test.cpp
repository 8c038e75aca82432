#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "archive/sqlite_db.h"
#include "platform/posix_env.h"
#include "testing/fixtures.h"
#include "testing/temp_tree.h"

// Logs the client wrote as plain text reach the archive as their HTML twins do.
namespace chatterwick::archive {
namespace {

using Times = std::map<std::string, std::vector<std::string>>;

class LogFormatsFixtureTest : public ::testing::Test {
 protected:
  testing::TempTree t;

  // Archives tree into a fresh archive; per conversation (its path without
  // the file's extension), the full time of each message in log order.
  Times Archived(const std::filesystem::path& tree, ArchiveSummary* summary = nullptr) {
    const std::string db = t.Path(tree.filename().string() + ".sqlite");
    const ArchiveResult r =
        RunArchive(*PosixEnv(), tree.string() + "/", db, kArchiveMask, nullptr, nullptr);
    EXPECT_EQ(r.outcome, ArchiveOutcome::kDone) << r.why.message();
    if (summary) *summary = r.summary;
    Database d;
    EXPECT_TRUE(d.Open(db, true).ok());
    Statement st;
    EXPECT_TRUE(st.Prepare(d,
                           "SELECT protocol || '/' || account || '/' || contact || '/' || "
                           "file_name, coalesce(sent_at, '') FROM chat "
                           "ORDER BY 1, line_number")
                    .ok());
    Times times;
    bool row = false;
    while (st.Step(&row).ok() && row) {
      std::string path(st.Text(0));
      path.erase(path.rfind('.'));
      times[path].emplace_back(st.Text(1));
    }
    return times;
  }
};

TEST_F(LogFormatsFixtureTest, PlainTextAndMixedTreesHoldWhatTheirHtmlTwinHolds) {
  const std::filesystem::path html = testing::FixtureRoot() / "real-logs-b";
  SKIP_WITHOUT(html);
  SKIP_WITHOUT(testing::TextFixtureRoot());
  const Times want = Archived(html);
  ASSERT_EQ(want.size(), 67u);
  for (const char* name : {"txt-logs-b", "mixed-format-b"}) {
    SCOPED_TRACE(name);
    ArchiveSummary summary;
    EXPECT_EQ(Archived(testing::TextFixtureRoot() / name, &summary), want);
    EXPECT_EQ(summary.unreadable_logs, 0);
    EXPECT_EQ(summary.unreadable_stamps, 0);
  }
}

TEST_F(LogFormatsFixtureTest, RegionalPlainTextStampsAreAllRead) {
  SKIP_WITHOUT(testing::TextFixtureRoot());
  ArchiveSummary summary;
  const Times times = Archived(testing::TextFixtureRoot() / "txt-de-24h-b", &summary);
  EXPECT_FALSE(times.empty());
  EXPECT_EQ(summary.unreadable_logs, 0);
  EXPECT_EQ(summary.unreadable_stamps, 0);
  for (const auto& [path, sent] : times)
    for (const std::string& at : sent) EXPECT_TRUE(at.empty() || at.size() == 25) << path << at;
}

}  // namespace
}  // namespace chatterwick::archive
