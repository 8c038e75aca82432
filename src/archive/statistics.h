#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "archive/node_sql.h"
#include "core/status.h"

// Figures of the messages below a node of the archive's tree.
namespace chatterwick::archive {

class Database;

// The one sender the account's user is shown as, whatever name they wrote under.
inline constexpr const char* kMe = "me";

struct Statistics {
  int64_t messages = 0;
  std::string first_sent_at, last_sent_at;
  std::map<std::string, int64_t> per_month;  // "2022-09" -> messages
  std::map<int, int64_t> per_hour;           // local hour of day -> messages
  // Most first; senders without the auto-reply mark, the user as kMe.
  std::vector<std::pair<std::string, int64_t>> per_sender;
  std::vector<std::pair<std::string, int64_t>> top_contacts;  // most first, display names
  // Messages with a sender: the user's (sent), and everyone else's.
  int64_t sent = 0, received = 0;
};

// Reads the statistics of the archive of schema version below node;
// contact_name is the SQL of a contact's name as people know it (over "c.").
Status ReadStatistics(Database& db, int64_t version, const std::string& contact_name,
                      const NodeRef& node, Statistics* stats);

}  // namespace chatterwick::archive
