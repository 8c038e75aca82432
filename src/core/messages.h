#pragma once

#include <string>

#include "core/status.h"

// The messages that name a file or folder, each worded in one place for the
// window's pane and boxes and the command line alike.
namespace chatterwick {

inline std::string LoadFailureMessage(const std::string& path) {
  return "File could not be loaded. (" + path + ")";
}

inline std::string WriteFailureMessage(const std::string& path, const Status& why) {
  return "Could not write " + path + " (" + why.message() + ")";
}

inline std::string UnreadableFolderMessage(const std::string& path, const Status& why) {
  return "Folder could not be read. (" + path + ": " + why.message() + ")";
}

}  // namespace chatterwick
