#include "archive/people_choices.h"

#include <functional>

#include "archive/archive_lock.h"
#include "archive/people_table.h"
#include "archive/sqlite_db.h"

namespace chatterwick::archive {

namespace {

std::string Trimmed(const std::string& name) {
  const size_t first = name.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return "";
  return name.substr(first, name.find_last_not_of(" \t\r\n") - first + 1);
}

Status CheckName(const std::string& name) {
  return Trimmed(name).empty()
             ? Status::InvalidData("a person's name cannot be empty or only blanks")
             : Status::OK();
}

Status Resolve(const std::vector<PersonRow>& rows, const std::string& typed, PersonRow* found) {
  Status s = FindContact(rows, typed, found);
  if (s.ok() && found->person.empty())
    s = Status::InvalidData(found->handle + " is a chat room, not a person");
  return s;
}

// Records that handle belongs to person, in place of any earlier word on it.
Status Pin(Database& db, const std::string& handle, const std::string& person) {
  Statement forget, pin;
  Status s = forget.Prepare(
      db, "DELETE FROM person_choice WHERE kind IN ('merge', 'split') AND subject = ?1");
  if (s.ok())
    s = pin.Prepare(db, "INSERT INTO person_choice(kind, subject, person) VALUES (?1, ?2, ?3)");
  if (!s.ok()) return s;
  forget.Bind(1, std::string_view(handle));
  s = forget.Run();
  pin.Bind(1, std::string_view(person.empty() ? "split" : "merge"));
  pin.Bind(2, std::string_view(handle));
  pin.Bind(3, std::string_view(person));
  return s.ok() ? pin.Run() : s;
}

// Runs change on the locked archive's people in one transaction, then
// groups again; nothing of it stays when a step fails.
Status Change(Env& env, const std::string& db_path,
              const std::function<Status(Database&, const std::vector<PersonRow>&)>& change) {
  LockedArchive archive;
  Status s = OpenLockedArchive(env, db_path, false, &archive);
  std::vector<PersonRow> rows;
  if (s.ok()) s = archive.db.Exec("BEGIN IMMEDIATE");
  if (!s.ok()) return s;
  s = ListPeople(archive.db, &rows);
  if (s.ok()) s = change(archive.db, rows);
  if (s.ok()) s = Regroup(archive.db);
  if (s.ok()) return archive.db.Exec("COMMIT");
  archive.db.Exec("ROLLBACK").IgnoreError();
  return s;
}

}  // namespace

Status MergeIntoPerson(Env& env, const std::string& db_path, const std::string& person,
                       const std::vector<std::string>& handles) {
  if (Status s = CheckName(person); !s.ok()) return s;
  const std::string name = Trimmed(person);
  return Change(env, db_path, [&](Database& db, const std::vector<PersonRow>& rows) {
    std::vector<PersonRow> joining(handles.size());
    for (size_t i = 0; i < handles.size(); ++i)
      if (Status s = Resolve(rows, handles[i], &joining[i]); !s.ok()) return s;
    Status s;
    for (const PersonRow& r : rows)
      if (s.ok() && r.person == name) s = Pin(db, r.handle, name);
    for (const PersonRow& r : joining)
      if (s.ok()) s = Pin(db, r.handle, name);
    return s;
  });
}

Status SplitFromPerson(Env& env, const std::string& db_path, const std::string& handle) {
  return Change(env, db_path, [&](Database& db, const std::vector<PersonRow>& rows) {
    PersonRow r;
    Status s = Resolve(rows, handle, &r);
    return s.ok() ? Pin(db, r.handle, "") : s;
  });
}

Status RenamePerson(Env& env, const std::string& db_path, const std::string& from,
                    const std::string& to) {
  if (Status s = CheckName(to); !s.ok()) return s;
  const std::string name = Trimmed(to);
  return Change(env, db_path, [&](Database& db, const std::vector<PersonRow>& rows) {
    bool found = false, taken = false;
    for (const PersonRow& r : rows) {
      found = found || r.person == from;
      taken = taken || (r.person == name && name != from);
    }
    if (!found) return Status::InvalidData("no person is called \"" + from + "\"");
    if (taken)
      return Status::InvalidData("a person is called \"" + name +
                                 "\" already: merge into it instead");
    Statement renamed, record;
    Status s = renamed.Prepare(
        db,
        "UPDATE person_choice SET person = ?2 WHERE kind IN ('merge', 'rename') AND person = ?1");
    if (s.ok())
      s = record.Prepare(db,
                         "INSERT OR REPLACE INTO person_choice(kind, subject, person) "
                         "VALUES ('rename', ?1, ?2)");
    if (!s.ok()) return s;
    renamed.Bind(1, std::string_view(from));
    renamed.Bind(2, std::string_view(name));
    s = renamed.Run();
    record.Bind(1, std::string_view(from));
    record.Bind(2, std::string_view(name));
    if (s.ok() && from != name) s = record.Run();
    for (const PersonRow& r : rows)
      if (s.ok() && r.person == from) s = Pin(db, r.handle, name);
    return s;
  });
}

}  // namespace chatterwick::archive
