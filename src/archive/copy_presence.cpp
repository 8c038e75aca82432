#include "archive/copy_presence.h"

#include <algorithm>

#include "archive/sqlite_db.h"

namespace chatterwick::archive {

Status CopyPresence::IsForeign(int64_t source, const LogListing& listing, bool* foreign) {
  *foreign = false;
  if (listing.logs.empty()) return Status::OK();
  Statement accounts;
  Status s = accounts.Prepare(
      db_,
      "SELECT DISTINCT p.name, a.name FROM copy k JOIN conversation v ON v.id = "
      "k.conversation_id JOIN contact c ON c.id = v.contact_id JOIN account a ON a.id = "
      "c.account_id JOIN protocol p ON p.id = a.protocol_id WHERE k.source_id = ?1");
  if (!s.ok()) return s;
  accounts.Bind(1, source);
  bool row = false, any = false;
  while ((s = accounts.Step(&row)).ok() && row) {
    any = true;
    if (listing.met.count({std::string(accounts.Text(0)), std::string(accounts.Text(1))}))
      return Status::OK();
  }
  *foreign = s.ok() && any;
  return s;
}

Status CopyPresence::MarkSource(const ListedSource& source, const std::vector<int64_t>& seen,
                                const std::string& mask) {
  Statement copies, add;
  Status s = copies.Prepare(
      db_,
      "SELECT k.id, p.name, a.name, c.name, k.file_name FROM copy k JOIN conversation v ON v.id "
      "= k.conversation_id JOIN contact c ON c.id = v.contact_id JOIN account a ON a.id = "
      "c.account_id JOIN protocol p ON p.id = a.protocol_id WHERE k.source_id = ?1");
  if (s.ok()) s = add.Prepare(db_, "INSERT OR REPLACE INTO temp.seen(id, here) VALUES (?1, ?2)");
  if (!s.ok()) return s;
  copies.Bind(1, source.id);
  bool row = false;
  while (s.ok() && (s = copies.Step(&row)).ok() && row) {
    const int64_t id = copies.Int(0);
    int64_t here = 1;
    if (!std::binary_search(seen.begin(), seen.end(), id)) {
      if (source.foreign ||
          !source.listing->Gone(std::string(copies.Text(1)), std::string(copies.Text(2)),
                                std::string(copies.Text(3)), std::string(copies.Text(4)), mask))
        continue;
      here = 0;
    }
    add.Bind(1, id);
    add.Bind(2, here);
    s = add.Run();
  }
  return s;
}

Status CopyPresence::Settle(const std::vector<ListedSource>& sources, std::vector<int64_t> seen,
                            const std::string& mask, GoneLogs gone) {
  std::sort(seen.begin(), seen.end());
  Status s = db_.Exec(
      "BEGIN IMMEDIATE; CREATE TEMP TABLE IF NOT EXISTS seen(id INTEGER PRIMARY KEY, here); "
      "DELETE FROM temp.seen;");
  for (size_t i = 0; s.ok() && i < sources.size(); ++i) s = MarkSource(sources[i], seen, mask);
  // A conversation is there while any copy of it is; one without copies
  // keeps what it was.
  if (s.ok())
    s = db_.Exec(
        "UPDATE copy SET present = s.here FROM temp.seen AS s WHERE s.id = copy.id AND "
        "s.here <> copy.present; "
        "UPDATE conversation SET present = c.here FROM (SELECT conversation_id AS id, "
        "max(present) AS here FROM copy GROUP BY conversation_id) AS c "
        "WHERE conversation.id = c.id AND conversation.present <> c.here; COMMIT");
  if (!s.ok()) {
    db_.Exec("ROLLBACK").IgnoreError();
    return s;
  }
  s = Count();
  return s.ok() ? RemoveGone(gone) : s;
}

Status CopyPresence::Count() {
  Status s =
      db_.QueryInt("SELECT coalesce(sum(messages), 0) FROM conversation", &summary_.messages_total);
  if (s.ok())
    s = db_.QueryInt("SELECT count(*) FROM conversation WHERE present = 0", &summary_.gone_logs);
  return s;
}

Status CopyPresence::RemoveGone(GoneLogs gone) {
  int64_t moved = 0, pruned = 0;
  Status s = db_.Exec("BEGIN IMMEDIATE");
  if (s.ok())
    s = db_.Exec(
        "DELETE FROM conversation WHERE present = 0 AND EXISTS (SELECT 1 FROM copy o JOIN copy "
        "n ON n.file_size = o.file_size AND n.content_hash = o.content_hash WHERE "
        "o.conversation_id = conversation.id AND o.content_hash IS NOT NULL AND n.present = 1 "
        "AND n.conversation_id <> conversation.id)");
  if (s.ok()) moved = sqlite3_changes64(db_.get());
  if (s.ok() && gone == GoneLogs::kPrune) {
    s = db_.Exec(
        "DELETE FROM conversation WHERE present = 0 AND EXISTS "
        "(SELECT 1 FROM copy WHERE copy.conversation_id = conversation.id)");
    if (s.ok()) pruned = sqlite3_changes64(db_.get());
  }
  if (s.ok()) s = db_.Exec("COMMIT");
  if (!s.ok()) {
    db_.Exec("ROLLBACK").IgnoreError();
    return s;
  }
  summary_.moved_logs = moved;
  summary_.pruned_logs = pruned;
  return moved + pruned > 0 ? Count() : s;
}

}  // namespace chatterwick::archive
