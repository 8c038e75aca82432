#include "core/log_tree.h"

#include <string_view>
#include <utility>
#include <vector>

#include "core/messages.h"

namespace chatterwick {

namespace {

class Lister {
 public:
  Lister(Env& env, const std::function<void(const std::string&)>& problem)
      : env_(env), problem_(problem) {}

  std::vector<std::string> Names(const std::string& pattern, ListKind kind) {
    std::vector<std::string> names;
    Status s = env_.ListFolder(pattern, kind, &names);
    if (!s.ok()) problem_(UnreadableFolderMessage(pattern, s));
    return names;
  }

  std::vector<std::string> Folders(const std::string& path, std::string_view passed_over) {
    std::vector<std::string> folders;
    for (std::string& name : Names(path, ListKind::kFilesAndFolders)) {
      if (name == "." || name == ".." || name == passed_over) continue;
      Status why;
      if (IsDirectory(env_, path + name, &why)) folders.push_back(std::move(name));
      else if (!why.ok() && !why.IsNotFound()) problem_(UnreadableFolderMessage(path + name, why));
    }
    return folders;
  }

 private:
  Env& env_;
  const std::function<void(const std::string&)>& problem_;
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

void ListLogTree(Env& env, const std::string& root, const std::string& mask,
                 const std::function<void(LogFileRef&&)>& found,
                 const std::function<void(const std::string& message)>& problem) {
  Lister lister(env, problem);
  const char sep = env.Separator();
  for (const std::string& protocol : lister.Folders(root, {})) {
    const std::string p = root + protocol + sep;
    for (const std::string& account : lister.Folders(p, "Old Chat Logs")) {
      const std::string a = p + account + sep;
      for (const std::string& contact : lister.Folders(a, ".system")) {
        const std::string c = a + contact + sep;
        for (std::string& name : lister.Names(c + mask, ListKind::kFilesOnly))
          found({protocol, account, contact, name, c + name});
      }
    }
  }
}

}  // namespace chatterwick
