#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "archive/node_sql.h"
#include "archive/people_table.h"
#include "archive/search.h"
#include "archive/source_table.h"
#include "archive/statistics.h"
#include "core/status.h"
#include "core/stop_flag.h"

// Reading an archive: the one place that holds the SQL every reader runs (the
// command line's search, and a window that browses, reads and searches). It
// never writes; the archive run is the only writer.
namespace chatterwick::archive {

class Database;
class Statement;

// One node of the tree with what lies below it.
struct TreeNode {
  NodeRef node;
  int64_t parent_id = 0;  // the account of a contact, the protocol of an account
  std::string name, display_name;
  int64_t conversations = 0, messages = 0;
  std::string last_sent_at;  // the latest full stamp below it; empty when none
};

struct ConversationRow {
  int64_t id = 0, contact_id = 0;
  std::string file_name, title, started_at;  // started_at empty when unknown
  int64_t messages = 0;
  // False when every source that held its log was read without it.
  bool present = true;
  // The names of the sources that hold its log now, ", " between them.
  std::string sources;
};

// A conversation with the names above it, as an export heads it.
struct ConversationInfo {
  int64_t id = 0, contact_id = 0;
  std::string protocol, account, contact;                          // as people know them
  std::string protocol_on_disk, account_on_disk, contact_on_disk;  // as the disk has them
  // The person the contact is, and the name its messages carry when more
  // than its handle; empty for a chat room, or an archive before people.
  std::string person, contact_name;
  std::string file_name, title, started_at;  // started_at may be empty
  int64_t messages = 0;
  std::string first_sent_at, last_sent_at;  // of its messages with a full stamp; may be empty
  // Changes whenever the archive run replaces the conversation's messages.
  std::string signature;
};

// Who a conversation is with as people know them: the person, with the
// handle beside it when that says something more ("Bob Jones (100000000)").
std::string WithWhom(const ConversationInfo& c);

struct MessageRow {
  int64_t id = 0, line_number = 0;
  std::string time_text, sent_at, sender, body, kind;
};

// A log folder the archive reads, with the copies it holds.
struct SourceInfo {
  SourceRow row;
  int64_t copies = 0, present_copies = 0;
};

// A source's copy of a conversation's log.
struct CopyInfo {
  std::string source_name, source_path, file_name;
  bool present = true;  // false once a whole read of its source no longer found it
};

class ArchiveReader {
 public:
  // Opens the archive at db_path for reading. NotFound when there is no
  // file; InvalidData for a file that is not an archive or is of a newer
  // schema; Busy while another holds it. Every query fails soon after stop
  // is requested.
  static Status Open(const std::string& db_path, std::unique_ptr<ArchiveReader>* reader,
                     StopFlag stop = {});
  ~ArchiveReader();

  // Every later query reads the archive as it is now, until the reader goes.
  Status HoldSnapshot();

  // The local days of the first and last messages with a full stamp
  // ("YYYY-MM-DD"); empty when there is none.
  Status Days(std::string* first, std::string* last);
  // Every protocol, account and contact, in that order, each level by name.
  Status Tree(std::vector<TreeNode>* nodes);
  // The conversations below node, by start.
  Status Conversations(const NodeRef& node, std::vector<ConversationRow>* rows);
  // Every conversation's id and its contact's, in the order above, without
  // reading any message; a conversation without its names (a damaged
  // archive) is left out.
  Status ConversationIds(std::vector<std::pair<int64_t, int64_t>>* ids);
  // After CountAllMessages: the messages of conversations ids leaves out
  // (or that the archive does not hold at all).
  int64_t MessagesOutside(const std::vector<std::pair<int64_t, int64_t>>& ids) const;
  // Up to limit messages of a conversation from the offset-th on, in order.
  Status Messages(int64_t conversation, int64_t offset, int64_t limit,
                  std::vector<MessageRow>* rows);
  // Calls emit with each hit in time order from the offset-th on, until it
  // returns false; options.limit caps the hits. See Search.
  Status Search(const SearchOptions& options, int64_t offset,
                const std::function<bool(const SearchHit&)>& emit);
  // How many messages the search selects (options.limit aside).
  Status CountHits(const SearchOptions& options, int64_t* count);
  Status Stats(const NodeRef& node, Statistics* stats);
  // Every contact with its person (see ListPeople); none before schema 5.
  Status People(std::vector<PersonRow>* rows);
  bool HasPeople() const { return version_ >= 5; }
  // The sources the archive reads, oldest first; none before schema 4.
  Status Sources(std::vector<SourceInfo>* sources);
  // How many conversations are gone from every source that held them: those
  // a run with GoneLogs::kPrune removes.
  Status GoneConversations(int64_t* count);
  // The copies of a conversation the sources hold; none before schema 4.
  Status Copies(int64_t conversation, std::vector<CopyInfo>* copies);
  // Without times, first_sent_at and last_sent_at stay empty, and the
  // conversation's messages are not read: what deciding whether an exported
  // file is still up to date needs.
  Status Conversation(int64_t id, ConversationInfo* info, bool with_times = true);
  // Counts every conversation's messages in one pass, and has Conversation
  // take its counts from there from now on: for a reader that holds its
  // snapshot and asks for every conversation in turn.
  Status CountAllMessages();

 private:
  ArchiveReader(std::unique_ptr<Database> db, int64_t version);
  // The SQL of a protocol's, account's or contact's name as people know it;
  // table is the alias and its dot ("c.") or empty.
  std::string ShownName(const std::string& table) const;
  // NotFound when options need the full-text index and its file is missing.
  Status SearchIndexThere(const SearchOptions& options) const;
  // Where a message's texts are read: a view since version 7.
  std::string MessageTexts() const;
  // A conversation's messages and the last one's id.
  Status MessageCount(int64_t id, std::pair<int64_t, int64_t>* counted);
  // Its first and last full stamps.
  Status MessageTimes(int64_t id, ConversationInfo* info);
  std::unique_ptr<Database> db_;
  // Prepared once: an export asks for every conversation in turn.
  std::unique_ptr<Statement> conversation_, conversation_counts_, conversation_times_, messages_;
  // Messages and the last message's id, by conversation; see CountAllMessages.
  std::optional<std::unordered_map<int64_t, std::pair<int64_t, int64_t>>> counts_;
  int64_t version_;
  std::string path_;
  bool has_index_ = false;  // since version 7, the full-text index's file is attached
  std::map<std::string, std::string> folded_;  // the fold function's cache
};

}  // namespace chatterwick::archive
