#pragma once

#include <string>

#include "core/status.h"

// The messages that name a file or folder, each worded in one place for the
// window's pane and boxes and the command line alike.
namespace chatterwick {

inline std::string LoadFailureMessage(const std::string& path) {
  return "File could not be loaded. (" + path + ")";
}

// Why a log could not be loaded, as the command line prints it after
// LoadFailureMessage: "no such file", "the file is empty", "permission denied".
inline std::string LoadFailureReason(const Status& why) {
  if (why.IsNotFound()) return "no such file";
  std::string reason = why.message();
  // The system's messages begin a sentence; here they continue one.
  if (reason.size() > 1 && reason[0] >= 'A' && reason[0] <= 'Z' && reason[1] >= 'a' &&
      reason[1] <= 'z')
    reason[0] = static_cast<char>(reason[0] - 'A' + 'a');
  return reason;
}

// The message and its reason in one line, as the command line prints it.
inline std::string LoadFailureLine(const std::string& path, const Status& why) {
  return LoadFailureMessage(path) + ": " + LoadFailureReason(why);
}

inline std::string WriteFailureMessage(const std::string& path, const Status& why) {
  return "Could not write " + path + " (" + why.message() + ")";
}

inline std::string UnreadableFolderMessage(const std::string& path, const Status& why) {
  return "Folder could not be read. (" + path + ": " + why.message() + ")";
}

}  // namespace chatterwick
