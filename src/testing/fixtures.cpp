#include "testing/fixtures.h"

#include <algorithm>

namespace chatterwick::testing {

namespace fs = std::filesystem;

fs::path FixtureRoot() { return CHATTERWICK_FIXTURES; }

namespace {
// The folder that holds FixtureRoot(), however it was typed.
fs::path FixturesBeside() {
  fs::path root = FixtureRoot();
  if (!root.has_filename()) root = root.parent_path();
  return root.parent_path();
}
}  // namespace

fs::path TextFixtureRoot() { return FixturesBeside() / "fixtures-text"; }

fs::path SourcesFixtureRoot() { return FixturesBeside() / "fixtures-sources"; }

std::vector<fs::path> FixtureTrees() {
  std::vector<fs::path> trees;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(FixtureRoot(), ec))
    if (e.is_directory()) trees.push_back(e.path());
  std::sort(trees.begin(), trees.end());
  return trees;
}

std::vector<fs::path> HtmlFilesUnder(const fs::path& folder) {
  std::vector<fs::path> files;
  for (const auto& e : fs::recursive_directory_iterator(folder))
    if (e.is_regular_file() && e.path().extension() == ".html") files.push_back(e.path());
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace chatterwick::testing
