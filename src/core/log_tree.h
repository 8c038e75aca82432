#pragma once

#include <cstdint>
#include <string>

#include "core/env.h"
#include "core/stop_flag.h"

// The shape every log tree has: protocol folders under the root, account
// folders under each ("Old Chat Logs" passed over), contact folders under
// each account (".system" passed over), and the log files in them.
namespace chatterwick {

struct LogFileRef {
  std::string protocol, account, contact, file_name;
  std::string path;  // the root's text followed by the names
};

enum class TreeLevel { kProtocol, kAccount, kContact };

// What a walk meets, in the order the catalogue numbers it: every folder of a
// level first, then the levels below each of them in turn.
class LogTreeVisitor {
 public:
  virtual ~LogTreeVisitor() = default;
  // A folder of "level" under the one "parent_id" stands for (0 for the
  // root). Returns false to pass it over (the walk does not descend), or
  // true with *id, which its children get as parent_id.
  virtual bool OnFolder(TreeLevel level, const std::string& name, int32_t parent_id,
                        int32_t* id) = 0;
  // A log of the contact folder "contact_id" stands for.
  virtual void OnLog(LogFileRef&& log, int32_t contact_id) = 0;
  // Every entry of a folder was listed and examined: the root (depth 0), a
  // protocol folder (1), an account folder (2) or a contact folder (3, whose
  // logs the mask picks). What the walk did not meet there is not there.
  // names holds the protocol, account and contact up to depth.
  virtual void OnListedWhole(int depth, const std::string (&names)[3]) {
    (void)depth;
    (void)names;
  }
  // "folder" (a folder text, or a folder and the mask) could not be listed,
  // when "entry" is empty; otherwise its entry "entry" could not be
  // examined. Either counts as empty. An entry that vanished is not told.
  virtual void OnUnreadable(const std::string& folder, const std::string& entry,
                            const Status& why) = 0;
};

// OK when root names a folder that can be listed; otherwise why not
// ("no folder named" for an empty root).
Status CheckLogRoot(Env& env, const std::string& root);

// What to tell a user whose root held no log: what a log root looks like,
// and a hint where one can be told (root holds a "logs" folder, or looks like
// a protocol, account or contact folder). Lines end with CR LF.
std::string NoLogsFound(Env& env, const std::string& root, const std::string& mask);

// Walks the tree under root (a separator is added when it has none), calling visitor for
// each folder and each log matching mask. Ends early, at the next folder or
// log, once stop is requested.
void WalkLogTree(Env& env, const std::string& root, const std::string& mask,
                 LogTreeVisitor& visitor, StopFlag stop = {});

}  // namespace chatterwick
