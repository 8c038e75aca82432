#include "archive/people_table.h"

#include <algorithm>
#include <map>

#include "archive/archive_lock.h"
#include "archive/names.h"
#include "archive/node_sql.h"
#include "archive/sqlite_db.h"

namespace chatterwick::archive {

namespace {

constexpr const char* kContacts =
    "SELECT c.id, c.account_id, coalesce(p.display_name, p.name), "
    "coalesce(a.display_name, a.name), coalesce(c.display_name, c.name), p.name, a.name, c.name, "
    "(SELECT count(*) FROM conversation v WHERE v.contact_id = c.id) "
    "FROM contact c JOIN account a ON a.id = c.account_id JOIN protocol p ON p.id = a.protocol_id "
    "ORDER BY c.id";
constexpr const char* kSenders =
    "SELECT v.contact_id, t.sender, sum(t.messages), count(*) FROM sender_tally t "
    "JOIN conversation v ON v.id = t.conversation_id GROUP BY 1, 2";
constexpr const char* kForget =
    "DELETE FROM contact_person; DELETE FROM person; DELETE FROM me_name;";
constexpr const char* kList =
    "SELECT coalesce(pe.name, ''), coalesce(pe.why, ''), coalesce(p.display_name, p.name), "
    "coalesce(a.display_name, a.name), coalesce(c.display_name, c.name), "
    "coalesce(cp.known_name, ''), p.name, a.name, c.name, c.id, "
    "(SELECT count(*) FROM conversation v WHERE v.contact_id = c.id), "
    "(SELECT coalesce(sum(v.messages), 0) FROM conversation v WHERE v.contact_id = c.id), "
    "coalesce(pe.id, 0) FROM contact c JOIN account a ON a.id = c.account_id JOIN protocol p ON "
    "p.id = a.protocol_id "
    "LEFT JOIN contact_person cp ON cp.contact_id = c.id LEFT JOIN person pe ON pe.id = "
    "cp.person_id "
    "ORDER BY pe.name IS NULL, pe.name COLLATE NOCASE, pe.name, 3, 4, 5";

bool IsRoom(std::string_view contact_on_disk) {
  return contact_on_disk.size() > 5 &&
         contact_on_disk.substr(contact_on_disk.size() - 5) == ".chat";
}

Status LoadContacts(Database& db, std::vector<ContactSenders>* contacts) {
  std::map<int64_t, size_t> at;
  Status s = ForEachRow(db, kContacts, {}, [&](Statement& st) {
    ContactSenders c;
    c.id = st.Int(0);
    c.account_id = st.Int(1);
    c.protocol = st.Text(2);
    c.account = st.Text(3);
    c.handle = st.Text(4);
    c.handle_text =
        HandleText(std::string(st.Text(5)), std::string(st.Text(6)), std::string(st.Text(7)));
    c.room = IsRoom(st.Text(7));
    c.conversations = st.Int(8);
    at[c.id] = contacts->size();
    contacts->push_back(std::move(c));
  });
  if (!s.ok()) return s;
  return ForEachRow(db, kSenders, {}, [&](Statement& st) {
    const auto it = at.find(st.Int(0));
    if (it == at.end()) return;
    (*contacts)[it->second].senders.push_back({std::string(st.Text(1)), st.Int(2), st.Int(3)});
  });
}

Status LoadChoices(Database& db, std::vector<PersonChoice>* choices) {
  return ForEachRow(db, "SELECT kind, subject, person FROM person_choice", {}, [&](Statement& st) {
    const std::string_view kind = st.Text(0);
    choices->push_back({kind == "merge"   ? PersonChoice::Kind::kMerge
                        : kind == "split" ? PersonChoice::Kind::kSplit
                                          : PersonChoice::Kind::kRename,
                        std::string(st.Text(1)), std::string(st.Text(2))});
  });
}

// The person of each contact (0: none) from the grouping.
std::map<int64_t, int64_t> PersonIds(Database& db, const People& people, Status* s) {
  std::map<int64_t, int64_t> person_of;
  Statement add;
  *s = add.Prepare(db, "INSERT INTO person(name, why) VALUES (?1, ?2)");
  for (auto p = people.persons.begin(); s->ok() && p != people.persons.end(); ++p) {
    add.Bind(1, std::string_view(p->name));
    add.Bind(2, std::string_view(p->why));
    *s = add.Run();
    for (int64_t contact : p->contacts) person_of[contact] = db.LastInsertId();
  }
  return person_of;
}

Status SavePeople(Database& db, const People& people) {
  Status s = db.Exec(kForget);
  std::map<int64_t, int64_t> person_of;
  if (s.ok()) person_of = PersonIds(db, people, &s);
  for (const auto& [contact, name] : people.known_names) person_of.emplace(contact, 0);
  Statement join, me;
  if (s.ok())
    s = join.Prepare(db,
                     "INSERT INTO contact_person(contact_id, person_id, known_name) "
                     "VALUES (?1, nullif(?2, 0), ?3)");
  if (s.ok()) s = me.Prepare(db, "INSERT INTO me_name(account_id, sender) VALUES (?1, ?2)");
  for (auto c = person_of.begin(); s.ok() && c != person_of.end(); ++c) {
    join.Bind(1, c->first);
    join.Bind(2, c->second);
    const auto known = people.known_names.find(c->first);
    if (known == people.known_names.end()) join.BindNull(3);
    else join.Bind(3, std::string_view(known->second));
    s = join.Run();
  }
  for (const auto& [account, names] : people.me)
    for (auto n = names.begin(); s.ok() && n != names.end(); ++n) {
      me.Bind(1, account);
      me.Bind(2, std::string_view(*n));
      s = me.Run();
    }
  return s;
}

}  // namespace

Status Regroup(Database& db) {
  std::vector<ContactSenders> contacts;
  std::vector<PersonChoice> choices;
  Status s = LoadContacts(db, &contacts);
  if (s.ok()) s = LoadChoices(db, &choices);
  return s.ok() ? SavePeople(db, GroupPeople(contacts, choices)) : s;
}

Status ListPeople(Database& db, std::vector<PersonRow>* rows) {
  rows->clear();
  int64_t version = 0;
  Status s = db.QueryInt("PRAGMA user_version", &version);
  if (!s.ok() || version < 5) return s;
  return ForEachRow(db, kList, {}, [&](Statement& st) {
    PersonRow r;
    r.person = st.Text(0);
    r.why = st.Text(1);
    r.protocol = st.Text(2);
    r.account = st.Text(3);
    r.contact = st.Text(4);
    r.known_name = st.Text(5);
    r.handle =
        HandleText(std::string(st.Text(6)), std::string(st.Text(7)), std::string(st.Text(8)));
    r.contact_id = st.Int(9);
    r.conversations = st.Int(10);
    r.messages = st.Int(11);
    r.person_id = st.Int(12);
    rows->push_back(std::move(r));
  });
}

Status FindContact(const std::vector<PersonRow>& rows, const std::string& typed, PersonRow* found) {
  const std::string folded = FoldForSearch(typed);
  std::vector<const PersonRow*> matches;
  for (const PersonRow& r : rows)
    if (typed == r.handle || typed == HandleText(r.protocol, r.account, r.contact)) {
      *found = r;
      return Status::OK();
    }
  for (const PersonRow& r : rows)
    if (FoldForSearch(r.contact) == folded ||
        (!r.known_name.empty() && FoldForSearch(r.known_name) == folded))
      matches.push_back(&r);
  if (matches.size() == 1) {
    *found = *matches[0];
    return Status::OK();
  }
  if (matches.empty())
    return Status::InvalidData("no contact is called \"" + typed +
                               "\": name one as PROTOCOL/ACCOUNT/CONTACT (see: people)");
  std::string list;
  for (const PersonRow* r : matches) list += "\n  " + r->handle;
  return Status::InvalidData("\"" + typed + "\" names " + std::to_string(matches.size()) +
                             " contacts; name one of them:" + list);
}

}  // namespace chatterwick::archive
