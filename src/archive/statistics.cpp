#include "archive/statistics.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <set>

#include "archive/people.h"
#include "archive/schema.h"
#include "archive/sqlite_db.h"

namespace chatterwick::archive {

namespace {

// The messages below a node, grouped before any name is joined: a join for
// each of a million messages would cost more than the counting.
constexpr const char* kMessages = " FROM message m JOIN conversation v ON v.id = m.conversation_id";
constexpr const char* kAccountNamed =
    " JOIN account a ON a.id = c.account_id JOIN protocol p ON p.id = a.protocol_id";

template <typename T>
void MostFirstBy(std::vector<T>* rows, int64_t T::*count) {
  std::stable_sort(rows->begin(), rows->end(),
                   [count](const T& x, const T& y) { return x.*count > y.*count; });
}

// Monday 0 to Sunday 6, or -1 for a text that is no date.
int WeekdayOf(const std::string& day) {
  int y = 0;
  unsigned m = 0, d = 0;
  if (std::sscanf(day.c_str(), "%4d-%2u-%2u", &y, &m, &d) != 3) return -1;
  const std::chrono::year_month_day date{std::chrono::year(y), std::chrono::month(m),
                                         std::chrono::day(d)};
  if (!date.ok()) return -1;
  return static_cast<int>(std::chrono::weekday(std::chrono::sys_days(date)).iso_encoding()) - 1;
}

// The local hours of version 7's stamps, counted from the first of year 1
// so that the hours of a stamp before 1970 divide as those after it.
constexpr const char* kLocalHour =
    "((m.sent >> 12) + CASE (m.sent & 4095) WHEN 4095 THEN 0 ELSE ((m.sent & 4095) - 2048) * 60 "
    "END + 62135596800) / 3600";

// Every message's local day and hour: as its stamp's text writes them
// before version 7, from its number since.
std::string TimesSql(int64_t version, const std::string& where) {
  if (version < 7)
    return std::string(
               "SELECT substr(m.sent_at, 1, 10), CAST(substr(m.sent_at, 12, 2) AS "
               "INTEGER), count(*)") +
           kMessages + where + " AND m.sent_at IS NOT NULL GROUP BY substr(m.sent_at, 1, 13)";
  return "SELECT strftime('%Y-%m-%d', g.hour * 3600 - 62135596800, 'unixepoch'), g.hour % 24, "
         "g.messages FROM (SELECT " +
         std::string(kLocalHour) + " AS hour, count(*) AS messages" + kMessages + where +
         " AND m.sent IS NOT NULL GROUP BY 1) g";
}

// Every message's local hour, in one pass: the months, days, weekdays and
// hours all follow from it.
Status CountTimes(Database& db, int64_t version, const std::string& where, const NodeRef& node,
                  Statistics* stats) {
  std::map<std::string, int64_t> per_day;
  const Status s = ForEachRow(db, TimesSql(version, where), node, [&](Statement& st) {
    const std::string day(st.Text(0));
    per_day[day] += st.Int(2);
    stats->per_hour[static_cast<int>(st.Int(1))] += st.Int(2);
  });
  for (const auto& [day, n] : per_day) {
    stats->per_month[day.substr(0, 7)] += n;
    if (const int weekday = WeekdayOf(day); weekday >= 0) stats->per_weekday[weekday] += n;
    stats->busiest_days.emplace_back(day, n);
  }
  std::stable_sort(stats->busiest_days.begin(), stats->busiest_days.end(),
                   [](const auto& x, const auto& y) { return x.second > y.second; });
  if (stats->busiest_days.size() > 10) stats->busiest_days.resize(10);
  return s;
}

// One conversation into the totals, the first, the last and the longest.
void Tally(const ConversationFigure& one, Statistics* stats) {
  stats->messages += one.messages;
  ++stats->conversations;
  if (one.messages > stats->longest_conversation.messages) stats->longest_conversation = one;
  if (one.first_sent_at.empty()) return;
  if (stats->first_sent_at.empty() || one.first_sent_at < stats->first_sent_at)
    stats->first_sent_at = one.first_sent_at, stats->first_conversation = one;
  if (one.first_sent_at >= stats->last_conversation.first_sent_at) stats->last_conversation = one;
  stats->last_sent_at = std::max(stats->last_sent_at, one.last_sent_at);
}

// Each conversation's messages and stamps: the totals, the first, the last,
// the longest and the contacts with the most follow from them.
Status CountConversations(Database& db, int64_t version, const ShownNames& names,
                          const std::string& where, const NodeRef& node, Statistics* stats) {
  std::map<int64_t, NamedCount> contacts;
  // Since version 7 the first and last stamps are numbers.
  const bool numbers = version >= 7;
  const Status s =
      ForEachRow(db,
                 "SELECT v.id, c.id, " + names.contact + ", " + names.account +
                     ", g.first, g.last, g.messages FROM (SELECT m.conversation_id AS id, " +
                     (numbers ? "min(m.sent) AS first, max(m.sent) AS last, "
                              : "coalesce(min(m.sent_at), '') AS first, coalesce(max(m.sent_at), "
                                "'') AS last, ") +
                     "count(*) AS messages" + kMessages + where +
                     " GROUP BY m.conversation_id) g JOIN conversation v ON v.id = g.id "
                     "JOIN contact c ON c.id = v.contact_id" +
                     kAccountNamed,
                 node, [&](Statement& st) {
                   const ConversationFigure one{st.Int(0),
                                                std::string(st.Text(2)),
                                                std::string(st.Text(3)),
                                                StampText(st, 4, version),
                                                StampText(st, 5, version),
                                                st.Int(6)};
                   NamedCount& contact = contacts[st.Int(1)];
                   contact.name = one.contact, contact.account = one.account;
                   contact.messages += one.messages;
                   Tally(one, stats);
                 });
  for (auto& [id, contact] : contacts) stats->top_contacts.push_back(std::move(contact));
  std::stable_sort(stats->top_contacts.begin(), stats->top_contacts.end(),
                   [](const NamedCount& x, const NamedCount& y) {
                     return x.messages != y.messages ? x.messages > y.messages : x.name < y.name;
                   });
  if (stats->top_contacts.size() > 10) stats->top_contacts.resize(10);
  return s;
}

// A sender who wrote in several accounts is one row that says how many.
std::string AccountsOf(const std::set<std::string>& accounts) {
  if (accounts.size() == 1) return *accounts.begin();
  return std::to_string(accounts.size()) + " accounts";
}

// Senders as one name each, the user's as kMe: counted by account and
// sender as written, then put together here, where the names are known.
Status CountSenders(Database& db, int64_t version, const ShownNames& names,
                    const std::string& where, const NodeRef& node, Statistics* stats) {
  std::set<std::pair<int64_t, std::string>> me;
  Status s;
  if (version >= 5)
    s = ForEachRow(db, "SELECT account_id, sender FROM me_name", node,
                   [&](Statement& st) { me.emplace(st.Int(0), std::string(st.Text(1))); });
  std::map<std::string, std::pair<int64_t, std::set<std::string>>> per_sender;
  // Since version 7 senders are counted by their number and named after.
  const bool numbers = version >= 7;
  if (s.ok())
    s = ForEachRow(db,
                   "SELECT g.account_id, " + names.account + ", " +
                       (numbers ? "s.name" : "g.sender") +
                       ", g.messages FROM (SELECT c.account_id AS account_id, " +
                       (numbers ? "m.sender_id" : "m.sender") + " AS sender, count(*) AS messages" +
                       kMessages + " JOIN contact c ON c.id = v.contact_id" + where +
                       (numbers ? "" : " AND m.sender <> ''") +
                       " GROUP BY 1, 2) g JOIN account a ON a.id = g.account_id JOIN protocol p ON "
                       "p.id = a.protocol_id" +
                       (numbers ? " JOIN sender s ON s.id = g.sender WHERE s.name <> ''" : ""),
                   node, [&](Statement& st) {
                     std::string name = SenderName(st.Text(2));
                     const bool mine = me.count({st.Int(0), name}) > 0;
                     (mine ? stats->sent : stats->received) += st.Int(3);
                     auto& [count, accounts] = per_sender[mine ? kMe : name];
                     count += st.Int(3);
                     accounts.emplace(st.Text(1));
                   });
  for (const auto& [name, count] : per_sender)
    stats->per_sender.push_back({name, AccountsOf(count.second), count.first});
  MostFirstBy(&stats->per_sender, &NamedCount::messages);
  return s;
}

}  // namespace

Status ReadStatistics(Database& db, int64_t version, const ShownNames& names, const NodeRef& node,
                      Statistics* stats) {
  *stats = Statistics();
  const std::string where = " WHERE " + BelowNode(node);
  Status s = CountConversations(db, version, names, where, node, stats);
  if (s.ok()) s = CountTimes(db, version, where, node, stats);
  if (s.ok()) s = CountSenders(db, version, names, where, node, stats);
  return s;
}

}  // namespace chatterwick::archive
