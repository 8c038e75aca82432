#pragma once

#include <functional>
#include <string>

#include "core/env.h"

// The shape every log tree has: protocol folders under the root, account
// folders under each ("Old Chat Logs" passed over), contact folders under
// each account (".system" passed over), and the log files in them.
namespace chatterwick {

struct LogFileRef {
  std::string protocol, account, contact, file_name;
  std::string path;  // the root's text followed by the names
};

// OK when root names a folder that can be listed; otherwise why not
// ("no folder named" for an empty root).
Status CheckLogRoot(Env& env, const std::string& root);

// Calls found for each log file matching mask, in the catalogue's order;
// problem with the pane's message for each folder that could not be listed
// or examined (it counts as empty).
void ListLogTree(Env& env, const std::string& root, const std::string& mask,
                 const std::function<void(LogFileRef&&)>& found,
                 const std::function<void(const std::string& message)>& problem);

}  // namespace chatterwick
