#pragma once

#include <array>
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

// A name with the account it belongs to ("alice@example.com (XMPP)", or
// "3 accounts" for a sender who wrote in several) and its messages.
struct NamedCount {
  std::string name, account;
  int64_t messages = 0;
};

// One conversation as the figures name it: its contact, account, first and
// last full stamps and messages.
struct ConversationFigure {
  int64_t id = 0;  // 0: there is none
  std::string contact, account, first_sent_at, last_sent_at;
  int64_t messages = 0;
};

struct Statistics {
  int64_t messages = 0, conversations = 0;
  std::string first_sent_at, last_sent_at;
  // By the stamp's own local date and hour, as the stamp writes them.
  std::map<std::string, int64_t> per_month;                   // "2022-09" -> messages
  std::map<int, int64_t> per_hour;                            // hour of day -> messages
  std::array<int64_t, 7> per_weekday{};                       // Monday first
  std::vector<std::pair<std::string, int64_t>> busiest_days;  // "2022-09-30", most first
  // Most first; senders without the auto-reply mark, the user as kMe.
  std::vector<NamedCount> per_sender;
  std::vector<NamedCount> top_contacts;  // most first, names as people know them
  // By first stamp; the one with the most messages.
  ConversationFigure first_conversation, last_conversation, longest_conversation;
  // Messages with a sender: the user's (sent), and everyone else's.
  int64_t sent = 0, received = 0;
};

// The SQL of names as people know them: a contact's over "c.", an
// account's, with its protocol, over "a." and "p.".
struct ShownNames {
  std::string contact, account;
};

// Reads the statistics of the archive of schema version below node.
Status ReadStatistics(Database& db, int64_t version, const ShownNames& names, const NodeRef& node,
                      Statistics* stats);

}  // namespace chatterwick::archive
