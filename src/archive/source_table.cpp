#include "archive/source_table.h"

#include "archive/archive_lock.h"
#include "archive/sqlite_db.h"
#include "core/path.h"

namespace chatterwick::archive {

std::string DefaultSourceName(const std::string& path, char separator) {
  std::string folder = path;
  while (path::EndsWithSeparator(folder, separator)) folder.pop_back();
  if (folder.empty()) return path;
  const size_t start = path::NameStart(folder, separator);
  std::string name = folder.substr(start);
  if (name == "logs" && start > 1) {
    const std::string above = folder.substr(0, start - 1);
    name = above.substr(path::NameStart(above, separator)) + "/" + name;
  }
  return name;
}

Status SourceTable::All(std::vector<SourceRow>* rows) {
  rows->clear();
  Statement st;
  Status s = st.Prepare(db_,
                        "SELECT id, path, name, coalesce(read_at, ''), logs FROM source "
                        "ORDER BY id");
  bool row = false;
  while (s.ok() && (s = st.Step(&row)).ok() && row)
    rows->push_back({st.Int(0), std::string(st.Text(1)), std::string(st.Text(2)),
                     std::string(st.Text(3)), st.Int(4)});
  return s;
}

Status SourceTable::FreeName(const std::string& name, std::string* free) {
  Statement taken;
  Status s = taken.Prepare(db_, "SELECT 1 FROM source WHERE name = ?1");
  for (int n = 1; s.ok(); ++n) {
    *free = n == 1 ? name : name + " (" + std::to_string(n) + ")";
    taken.Bind(1, *free);
    bool row = false;
    s = taken.Step(&row);
    taken.Reset();
    if (s.ok() && !row) break;
  }
  return s;
}

Status SourceTable::Add(const std::string& path, char separator, SourceRow* row) {
  *row = SourceRow{0, path, "", "", 0};
  Status s = FreeName(DefaultSourceName(path, separator), &row->name);
  Statement add;
  if (s.ok()) s = add.Prepare(db_, "INSERT INTO source(path, name) VALUES (?1, ?2)");
  if (s.ok()) {
    add.Bind(1, row->path);
    add.Bind(2, row->name);
    s = add.Run();
  }
  row->id = db_.LastInsertId();
  return s;
}

Status SourceTable::Adopt(int64_t id, const std::string& path, char separator, SourceRow* row) {
  *row = SourceRow{id, path, "", "", 0};
  Status s = FreeName(DefaultSourceName(path, separator), &row->name);
  Statement adopt;
  if (s.ok()) s = adopt.Prepare(db_, "UPDATE source SET path = ?2, name = ?3 WHERE id = ?1");
  if (s.ok()) {
    adopt.Bind(1, id);
    adopt.Bind(2, row->path);
    adopt.Bind(3, row->name);
    s = adopt.Run();
  }
  return s;
}

Status SourceTable::HoldsCopy(int64_t id, const LogRef& log, bool* holds) {
  *holds = false;
  Statement find;
  Status s = find.Prepare(
      db_,
      "SELECT 1 FROM protocol p JOIN account a ON a.protocol_id = p.id JOIN contact c ON "
      "c.account_id = a.id JOIN conversation v ON v.contact_id = c.id JOIN copy k ON "
      "k.conversation_id = v.id WHERE p.name = ?2 AND a.name = ?3 AND c.name = ?4 AND "
      "k.source_id = ?1 AND k.file_name = ?5 AND k.file_size = ?6 AND k.file_mtime = ?7");
  if (!s.ok()) return s;
  find.Bind(1, id);
  find.Bind(2, log.protocol());
  find.Bind(3, log.account());
  find.Bind(4, log.contact());
  find.Bind(5, log.file_name);
  find.Bind(6, static_cast<int64_t>(log.stamp.size));
  find.Bind(7, log.stamp.modified);
  return find.Step(holds);
}

Status SourceTable::MarkRead(int64_t id, int64_t logs) {
  Statement mark;
  Status s =
      mark.Prepare(db_,
                   "UPDATE source SET read_at = strftime('%Y-%m-%dT%H:%M:%SZ', 'now'), logs = ?2 "
                   "WHERE id = ?1");
  if (!s.ok()) return s;
  mark.Bind(1, id);
  mark.Bind(2, logs);
  return mark.Run();
}

Status SourceTable::Find(const std::string& name, int64_t* id) {
  *id = 0;
  Statement find;
  Status s = find.Prepare(db_, "SELECT id FROM source WHERE name = ?1");
  if (!s.ok()) return s;
  find.Bind(1, name);
  bool row = false;
  s = find.Step(&row);
  if (s.ok() && row) *id = find.Int(0);
  return s;
}

Status SourceTable::Rename(const std::string& from, const std::string& to) {
  int64_t id = 0, other = 0;
  Status s = Find(from, &id);
  if (s.ok() && id == 0) return Status::InvalidData("there is no source called " + from);
  if (s.ok()) s = Find(to, &other);
  if (s.ok() && other != 0 && other != id)
    return Status::InvalidData("another source is called " + to);
  if (s.ok() && to.empty()) return Status::InvalidData("a source's name must not be empty");
  Statement rename;
  if (s.ok()) s = rename.Prepare(db_, "UPDATE source SET name = ?2 WHERE id = ?1");
  if (!s.ok()) return s;
  rename.Bind(1, id);
  rename.Bind(2, to);
  return rename.Run();
}

Status SourceTable::Forget(const std::string& name, int64_t* copies) {
  int64_t id = 0;
  Status s = Find(name, &id);
  if (s.ok() && id == 0) return Status::InvalidData("there is no source called " + name);
  Statement count, forget;
  if (s.ok()) s = count.Prepare(db_, "SELECT count(*) FROM copy WHERE source_id = ?1");
  bool row = false;
  if (s.ok()) {
    count.Bind(1, id);
    s = count.Step(&row);
  }
  *copies = s.ok() && row ? count.Int(0) : 0;
  // The copies go with it (ON DELETE CASCADE); the messages they gave stay.
  if (s.ok()) s = forget.Prepare(db_, "DELETE FROM source WHERE id = ?1");
  if (!s.ok()) return s;
  forget.Bind(1, id);
  return forget.Run();
}

Status RenameSource(Env& env, const std::string& db_path, const std::string& from,
                    const std::string& to) {
  LockedArchive archive;
  Status s = OpenLockedArchive(env, db_path, false, &archive);
  return s.ok() ? SourceTable(archive.db).Rename(from, to) : s;
}

Status ForgetSource(Env& env, const std::string& db_path, const std::string& name,
                    int64_t* copies) {
  *copies = 0;
  LockedArchive archive;
  Status s = OpenLockedArchive(env, db_path, false, &archive);
  return s.ok() ? SourceTable(archive.db).Forget(name, copies) : s;
}

}  // namespace chatterwick::archive
