// What people cost, measured on archives people-bench makes: the grouping
// an archive run does (counting senders as messages go in, then grouping
// again), the People tree of many contacts, and the first screen of a
// person's whole history.
// usage: chatterwick_people_bench BIG_DB WIDE_DB   (QT_QPA_PLATFORM=offscreen)
//   BIG_DB: an archive whose first person has many messages;
//   WIDE_DB: an archive of many contacts.
// Prints one line a figure: NAME MILLISECONDS [MORE].
#include <QApplication>
#include <QElapsedTimer>
#include <cstdio>
#include <map>
#include <memory>
#include <vector>

#include "archive/people_table.h"
#include "archive/reader.h"
#include "archive/sender_tally.h"
#include "archive/sqlite_db.h"
#include "gui/reading_view.h"
#include "gui/tree_pane.h"

namespace {

using namespace chatterwick;

double Ms(const QElapsedTimer& clock) { return static_cast<double>(clock.nsecsElapsed()) / 1e6; }

// Counting every message's sender as a run does while it stores them, and
// grouping again from the counts.
void Grouping(const char* db_path) {
  archive::Database db;
  if (!db.Open(db_path, false).ok()) return;
  std::map<int64_t, std::vector<archive::PendingRow>> rows;
  archive::Statement all;
  (void)all.Prepare(db, "SELECT conversation_id, sender, kind FROM message_text");
  for (bool row = true; all.Step(&row).ok() && row;)
    rows[all.Int(0)].push_back({0, "", std::nullopt, std::string(all.Text(1)), "",
                                all.Text(2) == "chat" ? "chat" : "status"});
  archive::Database scratch;
  (void)scratch.Open(":memory:", false);
  (void)scratch.Exec(
      "CREATE TABLE sender_tally (conversation_id INTEGER, sender TEXT, messages "
      "INTEGER, PRIMARY KEY (conversation_id, sender)) WITHOUT ROWID");
  QElapsedTimer clock;
  clock.start();
  archive::SenderTally tally;
  for (const auto& [conversation, its] : rows) {
    tally.Add(conversation, its);
    tally.KeepLog();
  }
  (void)tally.Flush(scratch);
  std::printf("tally %.1f\n", Ms(clock));
  (void)db.Exec("BEGIN");
  clock.restart();
  (void)archive::Regroup(db);
  std::printf("regroup %.1f\n", Ms(clock));
  (void)db.Exec("COMMIT");
}

// From the reads to the People tree on screen.
void PeopleTree(const char* db_path) {
  QElapsedTimer clock;
  clock.start();
  std::unique_ptr<archive::ArchiveReader> reader;
  std::vector<archive::TreeNode> nodes;
  std::vector<archive::PersonRow> people;
  if (!archive::ArchiveReader::Open(db_path, &reader).ok() || !reader->Tree(&nodes).ok() ||
      !reader->People(&people).ok())
    return;
  const double read = Ms(clock);
  gui::TreePane pane;
  pane.Fill(nodes, people);
  pane.show();
  QApplication::processEvents();
  std::printf("people-tree %.1f contacts %zu read %.1f\n", Ms(clock), people.size(), read);
}

// A person's whole history: its conversations, then the first page of the
// first, on screen.
void ReadAllFirstScreen(const char* db_path) {
  std::unique_ptr<archive::ArchiveReader> reader;
  std::vector<archive::PersonRow> people;
  if (!archive::ArchiveReader::Open(db_path, &reader).ok() || !reader->People(&people).ok() ||
      people.empty())
    return;
  int64_t messages = 0;
  for (const archive::PersonRow& r : people)
    if (r.person_id == people[0].person_id) messages += r.messages;
  QElapsedTimer clock;
  clock.start();
  std::vector<archive::ConversationRow> conversations;
  std::vector<archive::MessageRow> page;
  if (!reader
           ->Conversations({archive::NodeRef::Level::kPerson, people[0].person_id}, &conversations)
           .ok() ||
      conversations.empty() || !reader->Messages(conversations[0].id, 0, 2000, &page).ok())
    return;
  gui::ReadingView view;
  view.resize(800, 600);
  view.Show(page);
  view.show();
  QApplication::processEvents();
  std::printf("read-all-first-screen %.1f person-messages %lld\n", Ms(clock),
              static_cast<long long>(messages));
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s BIG_DB WIDE_DB\n", argv[0]);
    return 2;
  }
  Grouping(argv[1]);
  PeopleTree(argv[2]);
  ReadAllFirstScreen(argv[1]);
  return 0;
}
