#pragma once

#include <filesystem>
#include <vector>

// The log trees the chat client wrote, read by tests in place. A test that
// needs them carries "Fixture" in its name and skips with a message naming
// the folder when they are absent, so the test script can count such skips.
namespace chatterwick::testing {

// The folder the build was configured with; it may not exist.
std::filesystem::path FixtureRoot();

// Every tree (folder) under FixtureRoot(), sorted; empty when there is none.
std::vector<std::filesystem::path> FixtureTrees();

// The folders beside FixtureRoot() with the plain-text and mixed trees
// ("fixtures-text") and one person's several sources ("fixtures-sources").
std::filesystem::path TextFixtureRoot();
std::filesystem::path SourcesFixtureRoot();

// Every regular file ending in ".html" under folder, sorted.
std::vector<std::filesystem::path> HtmlFilesUnder(const std::filesystem::path& folder);

}  // namespace chatterwick::testing

// Skips the current test when the folder of fixture trees is absent.
#define SKIP_WITHOUT(root)                                                \
  do {                                                                    \
    if (!std::filesystem::is_directory(root))                             \
      GTEST_SKIP() << "no fixtures at " << std::filesystem::path(root).string(); \
  } while (0)

// Skips the current test when there are no fixture trees.
#define SKIP_WITHOUT_FIXTURES()                                                            \
  do {                                                                                     \
    if (::chatterwick::testing::FixtureTrees().empty())                                    \
      GTEST_SKIP() << "no fixtures at " << ::chatterwick::testing::FixtureRoot().string(); \
  } while (0)
