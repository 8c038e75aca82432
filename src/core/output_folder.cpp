#include "core/output_folder.h"

namespace chatterwick {

std::string OutputFolder(Env& env) {
  const char sep = env.Separator();
  const std::string app = env.ApplicationFolder();
  const std::string beside = app + sep + "output";
  FileKind kind = FileKind::kOther;
  const Status there = env.GetFileKind(beside, &kind);
  if (there.ok() ? kind == FileKind::kFolder && env.IsWritable(beside)
                 : there.IsNotFound() && env.IsWritable(app.empty() ? std::string(1, sep) : app))
    return beside + sep;
  std::string data = env.GetVariable("XDG_DATA_HOME").value_or("");
  // A relative XDG_DATA_HOME is to be ignored.
  if (data.empty() || data[0] != sep)
    data = env.GetVariable("HOME").value_or("") + sep + ".local" + sep + "share";
  return data + sep + "chatterwick" + sep + "output" + sep;
}

}  // namespace chatterwick
