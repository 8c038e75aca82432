#include "archive/export_index.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>
#include <sstream>

#include "archive/archive.h"
#include "archive/export.h"
#include "archive/export_manifest.h"
#include "platform/posix_env.h"
#include "testing/temp_tree.h"

// The index page an HTML export keeps at the top of its folder.
namespace chatterwick::archive {
namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// A link's path as the file system names it: %XX as its byte.
std::string Decoded(const std::string& link) {
  std::string path;
  for (size_t i = 0; i < link.size(); ++i) {
    if (link[i] == '%' && i + 2 < link.size()) {
      path += static_cast<char>(std::stoi(link.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      path += link[i];
    }
  }
  return path;
}

struct Heard : RunObserver {
  std::vector<std::string> problems;
  void OnProblem(const Problem& p) override { problems.push_back(ProblemLine(p)); }
};

class ExportIndexTest : public ::testing::Test {
 protected:
  testing::TempTree t;
  std::string db = t.Path("a.sqlite");
  std::string out = t.Path("out/");

  void SetUp() override {
    t.File("logs/jabber/me@x/bob@y/2022-09-30.100000+0000UTC.html", testing::SmallLog(3));
    t.File("logs/jabber/me@x/bob@y/2022-10-01.100000+0000UTC.html", testing::SmallLog(1));
    t.File("logs/jabber/me@x/x%3cy%3e%26z/2022-09-30.110000+0000UTC.html", testing::SmallLog(2));
    t.File("logs/irc/me/#room.chat/2022-09-30.120000+0000UTC.html", testing::SmallLog(2));
    ASSERT_EQ(RunArchive(*PosixEnv(), t.Path("logs/"), db, kArchiveMask, nullptr).outcome,
              ArchiveOutcome::kDone);
  }
  ArchiveExportResult Export(Heard* heard = nullptr, const std::string& contact = "") {
    ArchiveExportOptions options;
    options.format = ExportFormat::kHtml;
    options.selection.contact = contact;
    return ExportArchiveToFolder(*PosixEnv(), db, out, options, heard);
  }
  // The conversations' files under out, by their places there.
  std::set<std::string> Files() {
    std::set<std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(out))
      if (e.is_regular_file() && e.path().filename().string()[0] != '.' &&
          e.path().filename() != kExportIndex)
        files.insert(fs::relative(e.path(), out).string());
    return files;
  }
  // The places the index links to, in its order.
  std::vector<std::string> Links() {
    const std::string page = ReadAll(out + kExportIndex);
    EXPECT_TRUE(page.ends_with("</html>\n"));
    std::vector<std::string> links;
    const std::regex href(R"re(<a href="([^"]*)">)re");
    for (std::sregex_iterator it(page.begin(), page.end(), href), end; it != end; ++it)
      links.push_back(Decoded((*it)[1]));
    return links;
  }
};

TEST_F(ExportIndexTest, LinksEveryFileTheFolderHoldsAndOnlyThose) {
  ASSERT_TRUE(Export().status.ok());
  const std::vector<std::string> links = Links();
  EXPECT_EQ(std::set<std::string>(links.begin(), links.end()), Files());
  EXPECT_EQ(links.size(), 4u);
  // A contact's newest conversation first.
  const auto newer =
      std::find(links.begin(), links.end(), "jabber/me@x/bob@y/2022-10-01 10.00.00.html");
  const auto older =
      std::find(links.begin(), links.end(), "jabber/me@x/bob@y/2022-09-30 10.00.00.html");
  EXPECT_LT(newer, older);
  const std::string page = ReadAll(out + kExportIndex);
  EXPECT_NE(page.find("x&lt;y&gt;&amp;z"), std::string::npos);
  EXPECT_EQ(page.find("x<y>"), std::string::npos);
  EXPECT_NE(page.find(">2022-09-30 10:00</a> <span class=\"n\">3 messages</span>"),
            std::string::npos);

  // A later run that finds nothing changed makes the same page, also from a
  // manifest that does not know the times its pages show.
  const std::string manifest = out + kExportManifest;
  nlohmann::json older_manifest = nlohmann::json::parse(ReadAll(manifest));
  for (auto& [place, entry] : older_manifest["files"].items()) {
    entry.erase("first_sent_at");
    entry.erase("last_sent_at");
  }
  std::ofstream(manifest, std::ios::trunc) << older_manifest.dump(1);
  const ArchiveExportResult again = Export();
  EXPECT_EQ(again.summary.unchanged, 4);
  EXPECT_EQ(ReadAll(out + kExportIndex), page);
  EXPECT_NE(ReadAll(manifest).find("first_sent_at"), std::string::npos);

  // Fewer selected: their files go, and so do their links.
  ASSERT_TRUE(Export(nullptr, "bob").status.ok());
  EXPECT_EQ(Files().size(), 2u);
  const std::vector<std::string> fewer = Links();
  EXPECT_EQ(std::set<std::string>(fewer.begin(), fewer.end()), Files());
}

// Only a page an export wrote is replaced: one of the user's, or a link in
// its place, is left as it is and said.
TEST_F(ExportIndexTest, AnIndexThatIsNotTheExportsIsLeftAsItIs) {
  t.File("out/index.html", "<p>my own page</p>");
  t.File("elsewhere.html", "mine");
  Heard heard;
  ASSERT_TRUE(Export(&heard).status.ok());
  EXPECT_EQ(t.Read("out/index.html"), "<p>my own page</p>");
  ASSERT_EQ(heard.problems.size(), 1u);
  EXPECT_NE(heard.problems[0].find(out + kExportIndex), std::string::npos) << heard.problems[0];
  fs::remove(out + kExportIndex);
  fs::create_symlink(t.Path("elsewhere.html"), out + kExportIndex);
  EXPECT_TRUE(Export().status.ok());
  EXPECT_EQ(t.Read("elsewhere.html"), "mine");
  // Gone, it is made again, and replaced by every later run.
  fs::remove(out + kExportIndex);
  ASSERT_TRUE(Export().status.ok());
  ASSERT_TRUE(Export(&heard).status.ok());
  EXPECT_EQ(Links().size(), 4u);
  EXPECT_EQ(heard.problems.size(), 1u);
}

}  // namespace
}  // namespace chatterwick::archive
