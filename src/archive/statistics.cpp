#include "archive/statistics.h"

#include <algorithm>
#include <set>

#include "archive/people.h"
#include "archive/sqlite_db.h"

namespace chatterwick::archive {

namespace {

constexpr const char* kJoined = " FROM message m JOIN conversation v ON v.id = m.conversation_id";

// Senders as one name each, the user's as kMe: counted by account and
// sender as written, then put together here, where the names are known.
Status CountSenders(Database& db, int64_t version, const NodeRef& node, Statistics* stats) {
  std::set<std::pair<int64_t, std::string>> me;
  Status s;
  if (version >= 5)
    s = ForEachRow(db, "SELECT account_id, sender FROM me_name", node,
                   [&](Statement& st) { me.emplace(st.Int(0), std::string(st.Text(1))); });
  std::map<std::string, int64_t> per_sender;
  if (s.ok())
    s = ForEachRow(db,
                   std::string("SELECT c.account_id, m.sender, count(*)") + kJoined +
                       " JOIN contact c ON c.id = v.contact_id WHERE " + BelowNode(node) +
                       " AND m.sender <> '' GROUP BY 1, 2",
                   node, [&](Statement& st) {
                     std::string name = SenderName(st.Text(1));
                     const bool mine = me.count({st.Int(0), name}) > 0;
                     (mine ? stats->sent : stats->received) += st.Int(2);
                     per_sender[mine ? kMe : name] += st.Int(2);
                   });
  stats->per_sender.assign(per_sender.begin(), per_sender.end());
  std::stable_sort(stats->per_sender.begin(), stats->per_sender.end(),
                   [](const auto& a, const auto& b) { return a.second > b.second; });
  return s;
}

}  // namespace

Status ReadStatistics(Database& db, int64_t version, const std::string& contact_name,
                      const NodeRef& node, Statistics* stats) {
  *stats = Statistics();
  const std::string from = std::string(kJoined) + " WHERE " + BelowNode(node);
  Status s = ForEachRow(
      db, "SELECT count(*), coalesce(min(m.sent_at), ''), coalesce(max(m.sent_at), '')" + from,
      node, [&](Statement& st) {
        stats->messages = st.Int(0);
        stats->first_sent_at = st.Text(1);
        stats->last_sent_at = st.Text(2);
      });
  // The stamp's own local time: "2022-09-30T17:39:26+02:00" holds its month
  // and hour as written.
  if (s.ok())
    s = ForEachRow(
        db,
        "SELECT substr(m.sent_at, 1, 7), count(*)" + from + " AND m.sent_at IS NOT NULL GROUP BY 1",
        node, [&](Statement& st) { stats->per_month[std::string(st.Text(0))] = st.Int(1); });
  if (s.ok())
    s = ForEachRow(
        db,
        "SELECT CAST(substr(m.sent_at, 12, 2) AS INTEGER), count(*)" + from +
            " AND m.sent_at IS NOT NULL GROUP BY 1",
        node, [&](Statement& st) { stats->per_hour[static_cast<int>(st.Int(0))] = st.Int(1); });
  if (s.ok()) s = CountSenders(db, version, node, stats);
  if (s.ok())
    stats->top_contacts =
        MostFirst(db,
                  "SELECT " + contact_name + ", count(*)" + kJoined +
                      " JOIN contact c ON c.id = v.contact_id WHERE " + BelowNode(node) +
                      " GROUP BY c.id ORDER BY 2 DESC, 1 LIMIT 10",
                  node, &s);
  return s;
}

}  // namespace chatterwick::archive
