#include "core/output_folder.h"

namespace chatterwick {

std::string OutputFolder(Env& env) {
  const char sep = env.Separator();
  const std::string app = env.ApplicationFolder();
  const std::string beside = app + sep + "output";
  FileKind kind = FileKind::kOther;
  // An installed copy never writes beside itself, also when root runs it.
  const bool build_folder = env.GetFileKind(app + sep + kBuildFolderMark, &kind).ok();
  const Status there = env.GetFileKind(beside, &kind);
  if (build_folder &&
      (there.ok() ? kind == FileKind::kFolder && env.IsWritable(beside)
                  : there.IsNotFound() && env.IsWritable(app.empty() ? std::string(1, sep) : app)))
    return beside + sep;
  std::string data = env.GetVariable("XDG_DATA_HOME").value_or("");
  // A relative XDG_DATA_HOME is to be ignored; without HOME there is no place.
  if (data.empty() || data[0] != sep) {
    const std::string home = env.GetVariable("HOME").value_or("");
    if (home.empty()) return {};
    data = home + (home.back() == sep ? "" : std::string(1, sep)) + ".local" + sep + "share";
  }
  return data + sep + "chatterwick" + sep + "output" + sep;
}

}  // namespace chatterwick
