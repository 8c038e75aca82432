#include "core/log_tree.h"

#include <algorithm>
#include <string_view>
#include <utility>
#include <vector>

#include "core/name_pattern.h"
#include "core/path.h"

namespace chatterwick {

namespace {

class Walker {
 public:
  Walker(Env& env, const std::string& mask, LogTreeVisitor& visitor, StopFlag stop)
      : env_(env), mask_(mask), visitor_(visitor), stop_(stop), sep_(env.Separator()) {}

  void Level(TreeLevel level, const std::string& path, int32_t parent_id) {
    struct Kept {
      std::string name;
      int32_t id;
    };
    std::vector<Kept> kept;
    bool whole = false;
    for (std::string& name : Names(path, ListKind::kFilesAndFolders, &whole)) {
      if (stop_.Requested()) return;
      if (name == "." || name == ".." || name == PassedOver(level)) continue;
      if (!IsFolder(path, name, &whole)) continue;
      int32_t id = 0;
      if (visitor_.OnFolder(level, name, parent_id, &id)) kept.push_back({std::move(name), id});
    }
    if (whole) visitor_.OnListedWhole(static_cast<int>(level), names_);
    for (Kept& k : kept) {
      if (stop_.Requested()) return;
      const std::string below = path + k.name + sep_;
      names_[static_cast<size_t>(level)] = std::move(k.name);
      if (level == TreeLevel::kContact) Logs(below, k.id);
      else Level(static_cast<TreeLevel>(static_cast<int>(level) + 1), below, k.id);
    }
  }

 private:
  static std::string_view PassedOver(TreeLevel level) {
    switch (level) {
      case TreeLevel::kAccount:
        return "Old Chat Logs";
      case TreeLevel::kContact:
        return ".system";
      case TreeLevel::kProtocol:
        break;
    }
    return {};
  }

  // A folder that cannot be listed counts as empty, but the visitor hears of it.
  std::vector<std::string> Names(const std::string& pattern, ListKind kind, bool* whole = nullptr) {
    std::vector<std::string> names;
    Status s = env_.ListFolder(pattern, kind, &names);
    if (!s.ok()) visitor_.OnUnreadable(pattern, {}, s);
    if (whole) *whole = s.ok();
    return names;
  }

  // An entry that cannot be examined is no folder, and the visitor hears
  // why: a dangling link or an entry that vanished is no exception. The
  // folder it is in is then not known whole.
  bool IsFolder(const std::string& path, const std::string& name, bool* whole) {
    FileKind kind = FileKind::kOther;
    Status s = env_.GetFileKind(path + name, &kind);
    if (!s.ok()) {
      visitor_.OnUnreadable(path, name, s);
      *whole = false;
    }
    return s.ok() && kind == FileKind::kFolder;
  }

  void Logs(const std::string& path, int32_t contact_id) {
    bool whole = false;
    // A mask of several patterns is matched here, over one listing of all.
    const bool several = mask_.find(';') != std::string::npos;
    for (std::string& name : Names(path + (several ? "*" : mask_), ListKind::kFilesOnly, &whole)) {
      if (stop_.Requested()) return;
      if (several && !MatchMask(mask_, name)) continue;
      std::string log_path = path + name;
      visitor_.OnLog({names_[0], names_[1], names_[2], std::move(name), std::move(log_path)},
                     contact_id);
    }
    if (whole) visitor_.OnListedWhole(3, names_);
  }

  Env& env_;
  const std::string& mask_;
  LogTreeVisitor& visitor_;
  const StopFlag stop_;
  const char sep_;
  // The protocol, account and contact being walked.
  std::string names_[3];
};

}  // namespace

Status CheckLogRoot(Env& env, const std::string& root) {
  if (root.empty()) return Status::NotFound("no folder named");
  FileKind kind = FileKind::kOther;
  Status s = env.GetFileKind(root, &kind);
  if (s.ok() && kind != FileKind::kFolder) s = Status::IOError("Not a directory");
  if (s.ok()) {
    std::vector<std::string> names;
    s = env.ListFolder(root, ListKind::kFilesAndFolders, &names);
  }
  return s;
}

void WalkLogTree(Env& env, const std::string& root, const std::string& mask,
                 LogTreeVisitor& visitor, StopFlag stop) {
  // A folder typed without its final separator is the same folder.
  const std::string folder = path::WithFinalSeparator(root, env.Separator());
  Walker(env, mask, visitor, stop).Level(TreeLevel::kProtocol, folder, 0);
}

namespace {

// How many folders down from "folder" the first file matching mask lies
// (1: in it), up to "deepest"; 0 when none does.
int LogDepth(Env& env, const std::string& folder, const std::string& mask, int deepest) {
  std::vector<std::string> names;
  if (env.ListFolder(folder + "*", ListKind::kFilesOnly, &names).ok() &&
      std::any_of(names.begin(), names.end(),
                  [&](const std::string& name) { return MatchMask(mask, name); }))
    return 1;
  if (deepest == 1) return 0;
  int best = 0;
  names.clear();
  if (!env.ListFolder(folder, ListKind::kFilesAndFolders, &names).ok()) return 0;
  for (const std::string& name : names) {
    FileKind kind = FileKind::kOther;
    if (name == "." || name == ".." || !env.GetFileKind(folder + name, &kind).ok() ||
        kind != FileKind::kFolder)
      continue;
    const int below = LogDepth(env, folder + name + env.Separator(), mask, deepest - 1);
    if (below > 0 && (best == 0 || below + 1 < best)) best = below + 1;
    if (best == 2) break;
  }
  return best;
}

}  // namespace

std::string NoLogsFound(Env& env, const std::string& root, const std::string& mask) {
  const char sep = env.Separator();
  const std::string folder = path::WithFinalSeparator(root, sep);
  std::string text = "No logs (" + mask + ") were found under " + folder + ".\r\n";
  text +=
      "A log folder holds a folder for each protocol, in each of those a folder for each "
      "account, in those a folder for each contact, and in those the logs: " +
      folder + "jabber" + sep + "me@example.com" + sep + "bob@example.org" + sep +
      "2022-09-30.173826+0200CEST.html\r\n";
  FileKind kind = FileKind::kOther;
  if (env.GetFileKind(folder + "logs", &kind).ok() && kind == FileKind::kFolder)
    return text + "Did you mean " + folder + "logs" + sep + "?\r\n";
  static const char* const kLooksLike[] = {"a contact folder", "an account folder",
                                           "a protocol folder"};
  static const char* const kLevelsUp[] = {"three", "two", "one"};
  if (const int depth = LogDepth(env, folder, mask, 3); depth > 0)
    text += folder + " looks like " + kLooksLike[depth - 1] + " (logs " + std::to_string(depth) +
            (depth == 1 ? " level" : " levels") + " down): the log folder is likely " +
            kLevelsUp[depth - 1] + (depth == 3 ? " level" : " levels") + " above it.\r\n";
  return text;
}

}  // namespace chatterwick
