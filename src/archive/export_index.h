#pragma once

#include <string>
#include <vector>

#include "archive/reader.h"
#include "core/env.h"
#include "core/run_observer.h"
#include "core/status.h"

// The page an HTML export puts at the top of its folder: a link to every
// conversation it holds, by person and contact.
namespace chatterwick::archive {

inline constexpr const char* kExportIndex = "index.html";

struct IndexEntry {
  std::string relative;           // the file's place under the folder, its names joined with sep
  ConversationInfo conversation;  // with the first and last stamps its page shows
};

// The page: entries grouped by person (a chat room, and a contact of an
// archive from before people, a group of its own), a person's contacts by
// protocol, account and name, and a contact's conversations newest first,
// each by when it went on and how many messages it holds. Every name and
// text is escaped; each link is the file's place, each name %-encoded.
std::string ExportIndexPage(std::vector<IndexEntry> entries, char sep);

// Puts the page in place at dir/kExportIndex, whole or not at all, when no
// file is there or an index page of this program's is. Anything else there
// (a page of the user's, a link) is left as it is, and told to observer.
Status WriteExportIndex(Env& env, const std::string& dir, char sep, std::vector<IndexEntry> entries,
                        RunObserver* observer);

}  // namespace chatterwick::archive
