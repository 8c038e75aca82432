#include "archive/fts_merges.h"

#include <string>

#include "archive/sqlite_db.h"

namespace chatterwick::archive {

namespace {

// How many segments on one level the index merges as it goes (0: none),
// and how many it merges even so.
Status SetMerging(Database& db, int automerge, int crisismerge) {
  return db.Exec(("INSERT INTO message_fts(message_fts, rank) VALUES ('automerge', " +
                  std::to_string(automerge) +
                  "); INSERT INTO message_fts(message_fts, rank) VALUES ('crisismerge', " +
                  std::to_string(crisismerge) + ");")
                     .c_str());
}

}  // namespace

Status HoldMerges(Database& db, int64_t messages_before, bool* held) {
  int64_t automerge = -1;
  Status s = db.QueryInt(
      "SELECT coalesce((SELECT v FROM message_fts_config WHERE k = 'automerge'), -1)", &automerge);
  if (!s.ok()) return s;
  *held = messages_before == 0 || automerge == 0;
  if (!*held || automerge == 0) return s;
  // Even so, 1000 segments on one level are merged, so that no tree outgrows
  // the index's limit of 2000.
  return SetMerging(db, 0, 1000);
}

Status MergeHeld(Database& db, StopFlag stop, const std::function<Status()>& commit,
                 bool* stopped) {
  // A negative count first puts every segment on one level, so that they are
  // merged all together; each step then writes about that many pages more.
  constexpr const char* kStart =
      "INSERT INTO message_fts(message_fts, rank) VALUES ('merge', -2000)";
  constexpr const char* kGoOn = "INSERT INTO message_fts(message_fts, rank) VALUES ('merge', 2000)";
  Status s;
  for (int step = 0; s.ok(); ++step) {
    if (stop.Requested()) {
      *stopped = true;
      return s;
    }
    // A step that found nothing to merge changes fewer than two rows.
    const int64_t before = db.TotalChanges();
    s = db.Exec(step == 0 ? kStart : kGoOn);
    if (!s.ok() || (step > 0 && db.TotalChanges() - before < 2)) break;
    if (step % 16 == 15) s = commit();
  }
  // Later runs add few messages at a time, which the index merges as they
  // come, as it does unless told otherwise.
  if (s.ok()) s = SetMerging(db, 4, 16);
  return s;
}

}  // namespace chatterwick::archive
