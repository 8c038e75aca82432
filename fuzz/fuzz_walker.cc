// Small random log trees on disk: the catalogue run must number them
// consistently and write CSV files that read back.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "core/commands.h"
#include "core/log_tree.h"
#include "platform/posix_env.h"
#include "testing/csv_reader.h"
#include "testing/memory_window.h"
#include "testing/temp_tree.h"

using namespace chatterwick;
namespace fs = std::filesystem;

namespace {

const char* const kNames[] = {"p",       "P",           "Old Chat Logs", "old chat logs",
                              ".system", ".SYSTEM",     "a.html",        "B.HTML",
                              "x.txt",   "caf\xC3\xA9", "\xFF\xFE.html", "q,\"r\""};

int32_t CheckLevel(const CatalogueTable& t, int32_t parents) {
  int32_t used = t.FirstFreeSlot() - 1, last_parent = 0;
  for (int32_t i = 1; i <= used; ++i) {
    if (t[i].Id != i || t[i].Name.empty() || t[i].ParentId < 1 || t[i].ParentId > parents ||
        t[i].ParentId < last_parent)
      std::abort();
    last_parent = t[i].ParentId;
  }
  return used;
}

// Takes every folder and counts the logs, as a pass before a run would.
struct LogCounter : LogTreeVisitor {
  bool OnFolder(TreeLevel, const std::string& name, int32_t, int32_t* id) override {
    if (name.empty()) std::abort();
    *id = ++folders;
    return true;
  }
  void OnLog(LogFileRef&& log, int32_t contact_id) override {
    if (contact_id < 1 || contact_id > folders || log.file_name.empty() ||
        !log.path.ends_with("/" + log.file_name))
      std::abort();
    ++logs;
  }
  void OnUnreadable(const std::string&, const std::string&, const Status&) override {}
  int32_t folders = 0, logs = 0;
};

size_t CsvRows(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  std::string text = ss.str();
  size_t rows = 0, pos = text.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0;
  while (pos < text.size()) {
    size_t end = text.find("\r\n", pos);
    if (end == std::string::npos) std::abort();  // every row ends in CR LF
    if (!testing::ReadCsvRow(std::string_view(text).substr(pos, end - pos))) std::abort();
    ++rows;
    pos = end + 2;
  }
  return rows;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  testing::TempTree tree;
  tree.Folder("out");
  tree.Folder("logs");
  // Each entry: a depth byte, one name byte per level, and for a file a length
  // byte and that many content bytes.
  size_t i = 0;
  for (int entries = 0; i < size && entries < 40; ++entries) {
    const int depth = data[i++] % 5 + 1;
    std::string path = "logs";
    for (int d = 0; d < depth && i < size; ++d) path += std::string("/") + kNames[data[i++] % 12];
    std::error_code ec;
    if (i < size && data[i++] % 2 == 0) {
      fs::create_directories(tree.Path(path), ec);
    } else {
      const size_t len = i < size ? data[i++] : 0;
      const std::string contents(reinterpret_cast<const char*>(data + i), std::min(len, size - i));
      i += contents.size();
      fs::create_directories(fs::path(tree.Path(path)).parent_path(), ec);
      if (!ec && !fs::is_directory(tree.Path(path), ec)) tree.File(path, contents);
    }
  }

  LoadedLog log;
  Catalogue cat;
  MemoryWindow window;
  Context ctx{log, cat, window, *PosixEnv(), tree.Path("out/")};
  const FolderRunResult result = commands::FolderRun(ctx, {}, tree.Path("logs/"));
  if (result.outcome == RunOutcome::kNoLogs) {
    // Nothing is written for a tree without a log: only the lock is there.
    LogCounter counter;
    WalkLogTree(*PosixEnv(), tree.Path("logs/"), "*.html", counter);
    int out_files = 0;
    for (const auto& e : fs::directory_iterator(tree.Path("out"))) out_files += !e.is_directory();
    if (counter.logs != 0 || out_files != 1) std::abort();
    return 0;
  }
  if (result.outcome != RunOutcome::kWritten) std::abort();
  // The five files and the lock: nothing half-written is left beside them.
  int out_files = 0;
  for (const auto& e : fs::directory_iterator(tree.Path("out"))) out_files += !e.is_directory();
  if (out_files != 6) std::abort();

  const int32_t protocols = cat.Protocols.FirstFreeSlot() - 1;
  for (int32_t p = 1; p <= protocols; ++p)
    if (cat.Protocols[p].Id != p || cat.Protocols[p].Name.empty() || cat.Protocols[p].ParentId != 0)
      std::abort();
  const int32_t accounts = CheckLevel(cat.Accounts, protocols);
  const int32_t contacts = CheckLevel(cat.Contacts, accounts);
  const int32_t conversations = CheckLevel(cat.Conversations, contacts);
  int32_t last_conversation = 0, expected_line = 0;
  for (int32_t c = 1; c <= cat.ChatLines.Count(); ++c) {
    const ChatEntry e = cat.ChatLines[c];
    if (e.ConversationId < last_conversation || e.ConversationId > conversations) std::abort();
    expected_line = e.ConversationId == last_conversation ? expected_line + 1 : 1;
    if (e.LineNumber != expected_line) std::abort();
    last_conversation = e.ConversationId;
  }
  if (result.failed_lines > cat.ChatLines.Count()) std::abort();
  // The walk alone meets the logs the run numbered, far below any capacity.
  LogCounter counter;
  WalkLogTree(*PosixEnv(), tree.Path("logs/"), "*.html", counter);
  if (counter.logs != conversations) std::abort();
  if (CsvRows(tree.Path("out/protocols.csv")) != static_cast<size_t>(protocols)) std::abort();
  if (CsvRows(tree.Path("out/conversations.csv")) != static_cast<size_t>(conversations))
    std::abort();
  CsvRows(tree.Path("out/chat.csv"));
  if (window.pane.find("Log Folder Parsing Complete!") == std::string::npos) std::abort();
  return 0;
}
