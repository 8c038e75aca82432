// Whatever a person types: the translation never fails but for too many
// terms, and the search it makes runs without an SQL or FTS5 error, filters
// folded alike.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "archive/archive.h"
#include "archive/query.h"
#include "archive/search.h"
#include "platform/posix_env.h"
#include "testing/temp_tree.h"

using namespace chatterwick;

namespace {

// One small archive for every input, made at the first.
const std::string& Archive() {
  static std::unique_ptr<testing::TempTree> tree;
  static std::string db;
  if (!tree) {
    tree = std::make_unique<testing::TempTree>();
    tree->File("logs/p/a/zo%c3%ab/2022-09-30.100000+0000UTC.html",
               "<title>t</title>\n"
               "<font size=\"2\">(10:00:00)</font> <b>Zo\xc3\xab:</b> don't \"quote\" me * OR\n"
               "<font size=\"2\">(10:00:01)</font> <b>Bob:</b> \xe6\x9d\xb1\xe4\xba\xac "
               "\xf0\x9f\x8e\x89 NEAR(a b) col:umn ^x\n");
    db = tree->Path("a.sqlite");
    if (archive::RunArchive(*PosixEnv(), tree->Path("logs/"), db, "*.html", nullptr).outcome !=
        archive::ArchiveOutcome::kDone)
      std::abort();
  }
  return db;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view typed(reinterpret_cast<const char*>(data), size);
  archive::SearchOptions options;
  const Status s = archive::TranslateQuery(typed, &options.query);
  if (!s.ok()) {
    if (!s.IsInvalidData()) std::abort();
    return 0;  // too many terms, refused at once
  }
  // The same text as a name filter too.
  options.sender = std::string(typed.substr(0, 40));
  const Status found =
      archive::Search(Archive(), options, [](const archive::SearchHit&) { return true; });
  if (!found.ok()) std::abort();
  return 0;
}
