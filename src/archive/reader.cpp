#include "archive/reader.h"

#include <algorithm>
#include <chrono>
#include <unordered_set>
#include <utility>

#include "archive/names.h"
#include "archive/node_sql.h"
#include "archive/schema.h"
#include "archive/search_index.h"
#include "archive/sqlite_db.h"
#include "archive/statistics.h"

namespace chatterwick::archive {

namespace {

// chatterwick_fold(text) in SQL: FoldForSearch, with the names a query meets
// again and again (contacts, senders) folded once.
void FoldFunction(sqlite3_context* context, int, sqlite3_value** argv) {
  auto* cache = static_cast<std::map<std::string, std::string>*>(sqlite3_user_data(context));
  const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
  if (!text) return sqlite3_result_null(context);
  const std::string key(text, static_cast<size_t>(sqlite3_value_bytes(argv[0])));
  auto it = cache->find(key);
  if (it == cache->end()) {
    if (cache->size() > 65536) cache->clear();
    it = cache->emplace(key, FoldForSearch(key)).first;
  }
  sqlite3_result_text(context, it->second.data(), static_cast<int>(it->second.size()),
                      SQLITE_TRANSIENT);
}

// *slot, prepared from sql the first time it is asked for.
Status PreparedOnce(Database& db, std::unique_ptr<Statement>* slot, const std::string& sql) {
  if (*slot) return Status::OK();
  auto st = std::make_unique<Statement>();
  Status s = st->Prepare(db, sql.c_str());
  if (s.ok()) *slot = std::move(st);
  return s;
}

}  // namespace

ArchiveReader::ArchiveReader(std::unique_ptr<Database> db, int64_t version)
    : db_(std::move(db)), version_(version) {}

ArchiveReader::~ArchiveReader() = default;

Status ArchiveReader::Open(const std::string& db_path, std::unique_ptr<ArchiveReader>* reader,
                           StopFlag stop) {
  auto db = std::make_unique<Database>();
  Status s = db->Open(db_path, true, stop);
  if (!s.ok()) return s;
  // Read as data, as a run reads it before writing: a file that is not an
  // archive, one of a newer schema or one with views or triggers of
  // someone else's making (an endless view) is refused before any query.
  int64_t version = 0;
  s = CheckSchema(*db, &version);
  if (!s.ok()) return s.IsBusy() || s.IsInvalidData() ? s : Status::InvalidData(s.message());
  if (version < 1) return Status::InvalidData("not a chatterwick archive");
  bool has_index = false;
  if (version >= 7) s = AttachSearchIndex(*db, db->FileName(), &has_index);
  if (!s.ok()) return s;
  reader->reset(new ArchiveReader(std::move(db), version));
  (*reader)->path_ = (*reader)->db_->FileName();
  (*reader)->has_index_ = has_index;
  sqlite3_create_function_v2((*reader)->db_->get(), "chatterwick_fold", 1,
                             SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_DIRECTONLY,
                             &(*reader)->folded_, &FoldFunction, nullptr, nullptr, nullptr);
  return Status::OK();
}

Status ArchiveReader::HoldSnapshot() {
  // BEGIN alone takes no lock; the read does, and keeps it to the end.
  int64_t tables = 0;
  Status s = db_->Exec("BEGIN");
  if (s.ok()) s = db_->QueryInt("SELECT count(*) FROM sqlite_schema", &tables);
  return s;
}

std::string ArchiveReader::ShownName(const std::string& table) const {
  // Before display names, the names on the disk are all there is.
  return version_ >= 2 ? "coalesce(" + table + "display_name, " + table + "name)" : table + "name";
}

std::string ArchiveReader::MessageTexts() const {
  return version_ >= 7 ? "message_text" : "message";
}

Status ArchiveReader::Days(std::string* first, std::string* last) {
  // The first and last in the time order: two steps through its index, not a scan.
  const std::string order = TimeOrderOf("");
  const std::string sql =
      version_ >= 7
          ? "SELECT coalesce((SELECT substr(sent_at, 1, 10) FROM message_text WHERE id = (SELECT "
            "id FROM message WHERE " +
                order + " < 253402300800 ORDER BY " + order +
                " LIMIT 1)), ''), coalesce((SELECT substr(sent_at, 1, 10) FROM message_text WHERE "
                "id = (SELECT id FROM message WHERE " +
                order + " < 253402300800 ORDER BY " + order + " DESC LIMIT 1)), '')"
          : "SELECT coalesce(substr(min(sent_at), 1, 10), ''), "
            "coalesce(substr(max(sent_at), 1, 10), '') FROM message";
  return ForEachRow(*db_, sql, {}, [&](Statement& st) {
    *first = st.Text(0);
    *last = st.Text(1);
  });
}

Status ArchiveReader::Tree(std::vector<TreeNode>* nodes) {
  nodes->clear();
  const std::string display = ShownName("");
  std::map<std::pair<NodeRef::Level, int64_t>, size_t> index;
  const std::pair<NodeRef::Level, std::string> levels[] = {
      {NodeRef::Level::kProtocol, "SELECT id, 0, name, " + display + " FROM protocol"},
      {NodeRef::Level::kAccount, "SELECT id, protocol_id, name, " + display + " FROM account"},
      {NodeRef::Level::kContact, "SELECT id, account_id, name, " + display + " FROM contact"},
  };
  for (const auto& [this_level, sql] : levels) {
    // Named again: clang 14 lets no lambda take a structured binding.
    const NodeRef::Level level = this_level;
    const size_t first = nodes->size();
    Status s = ForEachRow(*db_, sql, {}, [&](Statement& st) {
      TreeNode n;
      n.node = {level, st.Int(0)};
      n.parent_id = st.Int(1);
      n.name = st.Text(2);
      n.display_name = st.Text(3);
      nodes->push_back(std::move(n));
    });
    if (!s.ok()) return s;
    std::sort(nodes->begin() + static_cast<std::ptrdiff_t>(first), nodes->end(),
              [](const TreeNode& a, const TreeNode& b) {
                return std::tie(a.parent_id, a.display_name) <
                       std::tie(b.parent_id, b.display_name);
              });
    for (size_t i = first; i < nodes->size(); ++i) index[{level, (*nodes)[i].node.id}] = i;
  }
  // Each contact's conversations and messages, added up the levels above it.
  auto add = [&](NodeRef::Level level, int64_t id, int64_t conversations, int64_t messages,
                 std::string_view last) {
    auto it = index.find({level, id});
    if (it == index.end()) return int64_t{0};
    TreeNode& n = (*nodes)[it->second];
    n.conversations += conversations;
    n.messages += messages;
    if (last > n.last_sent_at) n.last_sent_at = last;
    return n.parent_id;
  };
  // An archive keeps each conversation's count and times since schema 4;
  // before, every message is read.
  return ForEachRow(
      *db_,
      version_ >= 4
          ? "SELECT contact_id, count(*), sum(messages), coalesce(max(last_sent_at), '') "
            "FROM conversation WHERE ?1 = ?1 GROUP BY contact_id"
          : "SELECT v.contact_id, count(DISTINCT v.id), count(m.id), coalesce(max(m.sent_at), '') "
            "FROM conversation v LEFT JOIN message m ON m.conversation_id = v.id WHERE ?1 = ?1 "
            "GROUP BY v.contact_id",
      {}, [&](Statement& st) {
        const int64_t conversations = st.Int(1), messages = st.Int(2);
        const std::string last(st.Text(3));
        const int64_t account =
            add(NodeRef::Level::kContact, st.Int(0), conversations, messages, last);
        const int64_t protocol =
            add(NodeRef::Level::kAccount, account, conversations, messages, last);
        add(NodeRef::Level::kProtocol, protocol, conversations, messages, last);
      });
}

// The order conversations are listed in: by their start, those without one last.
constexpr const char* kConversationOrder =
    " ORDER BY v.started_at IS NULL, julianday(v.started_at), v.id";

Status ArchiveReader::ConversationIds(std::vector<std::pair<int64_t, int64_t>>* ids) {
  ids->clear();
  // Only those with their contact, account and protocol: a row a damaged
  // archive holds without them has no name to show and no place to go.
  return ForEachRow(*db_,
                    std::string("SELECT v.id, v.contact_id FROM conversation v JOIN contact c ON "
                                "c.id = v.contact_id JOIN account a ON a.id = c.account_id JOIN "
                                "protocol p ON p.id = a.protocol_id") +
                        kConversationOrder,
                    {}, [&](Statement& st) { ids->emplace_back(st.Int(0), st.Int(1)); });
}

int64_t ArchiveReader::MessagesOutside(const std::vector<std::pair<int64_t, int64_t>>& ids) const {
  if (!counts_) return 0;
  std::unordered_set<int64_t> whole;
  for (const auto& [id, contact] : ids) whole.insert(id);
  int64_t outside = 0;
  for (const auto& [id, counted] : *counts_)
    if (!whole.count(id)) outside += counted.first;
  return outside;
}

Status ArchiveReader::Conversations(const NodeRef& node, std::vector<ConversationRow>* rows) {
  rows->clear();
  return ForEachRow(
      *db_,
      "SELECT v.id, v.contact_id, v.file_name, v.title, coalesce(v.started_at, ''), " +
          std::string(version_ >= 4 ? "v.messages"
                                    : "(SELECT count(*) FROM message m WHERE m.conversation_id = "
                                      "v.id)") +
          ", " + (version_ >= 2 ? "v.present" : "1") + ", " +
          (version_ >= 4 ? "(SELECT group_concat(s.name, ', ') FROM copy k JOIN source s ON s.id "
                           "= k.source_id WHERE k.conversation_id = v.id AND k.present = 1)"
                         : "''") +
          " FROM conversation v WHERE " + BelowNode(node) + kConversationOrder,
      node, [&](Statement& st) {
        rows->push_back({st.Int(0), st.Int(1), std::string(st.Text(2)), std::string(st.Text(3)),
                         std::string(st.Text(4)), st.Int(5), st.Int(6) != 0,
                         std::string(st.Text(7))});
      });
}

Status ArchiveReader::Messages(int64_t conversation, int64_t offset, int64_t limit,
                               std::vector<MessageRow>* rows) {
  // The rows given are filled anew, their texts' buffers kept: an export
  // reads a million messages through a few pages.
  size_t n = 0;
  // Since version 7 the stamp comes as its number, written out here: faster
  // than SQL writes it.
  Status s =
      PreparedOnce(*db_, &messages_,
                   "SELECT id, line_number, time_text, " +
                       std::string(version_ >= 7 ? "sent" : "coalesce(sent_at, '')") +
                       ", sender, body, kind FROM " + MessageTexts() +
                       " WHERE conversation_id = ?1 ORDER BY line_number LIMIT ?2 OFFSET ?3");
  if (!s.ok()) {
    rows->clear();
    return s;
  }
  Statement& st = *messages_;
  st.Bind(1, conversation);
  st.Bind(2, limit);
  st.Bind(3, offset);
  bool row = false;
  while ((s = st.Step(&row)).ok() && row) {
    if (n == rows->size()) rows->emplace_back();
    MessageRow& m = (*rows)[n++];
    m.id = st.Int(0);
    m.line_number = st.Int(1);
    m.time_text.assign(st.Text(2));
    m.sent_at = StampText(st, 3, version_);
    m.sender.assign(st.Text(4));
    m.body.assign(st.Text(5));
    m.kind.assign(st.Text(6));
  }
  st.Reset();
  rows->resize(n);
  return s;
}

Status ArchiveReader::Stats(const NodeRef& node, Statistics* stats) {
  const ShownNames names{ShownName("c."),
                         ShownName("a.") + " || ' (' || " + ShownName("p.") + " || ')'"};
  return ReadStatistics(*db_, version_, names, node, stats);
}

Status ArchiveReader::People(std::vector<PersonRow>* rows) { return ListPeople(*db_, rows); }

Status ArchiveReader::Sources(std::vector<SourceInfo>* sources) {
  sources->clear();
  if (version_ < 4) return Status::OK();
  return ForEachRow(
      *db_,
      "SELECT s.id, s.path, s.name, coalesce(s.read_at, ''), s.logs, count(k.id), "
      "coalesce(sum(k.present), 0) FROM source s LEFT JOIN copy k ON k.source_id = s.id "
      "WHERE ?1 = ?1 GROUP BY s.id ORDER BY s.id",
      {}, [&](Statement& st) {
        sources->push_back({{st.Int(0), std::string(st.Text(1)), std::string(st.Text(2)),
                             std::string(st.Text(3)), st.Int(4)},
                            st.Int(5),
                            st.Int(6)});
      });
}

Status ArchiveReader::GoneConversations(int64_t* count) {
  *count = 0;
  if (version_ < 2) return Status::OK();
  return db_->QueryInt(version_ >= 4
                           ? "SELECT count(*) FROM conversation v WHERE present = 0 AND "
                             "EXISTS (SELECT 1 FROM copy k WHERE k.conversation_id = v.id)"
                           : "SELECT count(*) FROM conversation WHERE present = 0",
                       count);
}

Status ArchiveReader::Copies(int64_t conversation, std::vector<CopyInfo>* copies) {
  copies->clear();
  if (version_ < 4) return Status::OK();
  NodeRef one{NodeRef::Level::kEverything, conversation};
  return ForEachRow(*db_,
                    "SELECT s.name, s.path, k.file_name, k.present FROM copy k JOIN source s ON "
                    "s.id = k.source_id WHERE k.conversation_id = ?1 ORDER BY s.id, k.file_name",
                    one, [&](Statement& st) {
                      copies->push_back({std::string(st.Text(0)), std::string(st.Text(1)),
                                         std::string(st.Text(2)), st.Int(3) != 0});
                    });
}

Status ArchiveReader::CountAllMessages() {
  std::unordered_map<int64_t, std::pair<int64_t, int64_t>> counts;
  Status s = ForEachRow(
      *db_, "SELECT conversation_id, count(*), max(id) FROM message GROUP BY conversation_id", {},
      [&](Statement& st) {
        counts[st.Int(0)] = {st.Int(1), st.Int(2)};
      });
  if (s.ok()) counts_ = std::move(counts);
  return s;
}

std::string WithWhom(const ConversationInfo& c) {
  if (c.person.empty() || c.person == c.contact) return c.contact;
  return c.person + " (" + c.contact + ")";
}

Status ArchiveReader::Conversation(int64_t id, ConversationInfo* info, bool with_times) {
  *info = ConversationInfo();
  Status s = PreparedOnce(
      *db_, &conversation_,
      "SELECT " + ShownName("p.") + ", " + ShownName("a.") + ", " + ShownName("c.") +
          ", p.name, a.name, c.name, v.file_name, v.title, coalesce(v.started_at, ''), "
          "v.file_size, v.file_mtime, " +
          (version_ >= 5 ? "coalesce(pe.name, ''), coalesce(cp.known_name, '')" : "'', ''") +
          ", v.contact_id" +
          " FROM conversation v JOIN contact c ON c.id = v.contact_id "
          "JOIN account a ON a.id = c.account_id JOIN protocol p ON p.id = a.protocol_id " +
          (version_ >= 5 ? "LEFT JOIN contact_person cp ON cp.contact_id = c.id "
                           "LEFT JOIN person pe ON pe.id = cp.person_id "
                         : "") +
          "WHERE v.id = ?1");
  if (!s.ok()) return s;
  Statement& st = *conversation_;
  st.Bind(1, id);
  bool found = false;
  s = st.Step(&found);
  int64_t size = 0, mtime = 0;
  if (s.ok() && found) {
    info->id = id;
    info->protocol = st.Text(0);
    info->account = st.Text(1);
    info->contact = st.Text(2);
    info->protocol_on_disk = st.Text(3);
    info->account_on_disk = st.Text(4);
    info->contact_on_disk = st.Text(5);
    info->file_name = st.Text(6);
    info->title = st.Text(7);
    info->started_at = st.Text(8);
    size = st.Int(9);
    mtime = st.Int(10);
    info->person = st.Text(11);
    info->contact_name = st.Text(12);
    info->contact_id = st.Int(13);
  }
  st.Reset();
  if (s.ok() && !found) return Status::NotFound("no conversation " + std::to_string(id));
  std::pair<int64_t, int64_t> counted(0, 0);
  if (s.ok()) s = MessageCount(id, &counted);
  if (!s.ok()) return s;
  info->messages = counted.first;
  info->signature = std::to_string(counted.first) + ":" + std::to_string(counted.second) + ":" +
                    std::to_string(size) + ":" + std::to_string(mtime) + ":" + info->person;
  return with_times ? MessageTimes(id, info) : s;
}

Status ArchiveReader::MessageCount(int64_t id, std::pair<int64_t, int64_t>* counted) {
  // Counted once for all, or now.
  if (counts_) {
    if (const auto it = counts_->find(id); it != counts_->end()) *counted = it->second;
    return Status::OK();
  }
  Status s =
      PreparedOnce(*db_, &conversation_counts_,
                   "SELECT count(*), coalesce(max(id), 0) FROM message WHERE conversation_id = ?1");
  if (!s.ok()) return s;
  conversation_counts_->Bind(1, id);
  bool found = false;
  s = conversation_counts_->Step(&found);
  if (s.ok() && found) *counted = {conversation_counts_->Int(0), conversation_counts_->Int(1)};
  conversation_counts_->Reset();
  return s;
}

Status ArchiveReader::MessageTimes(int64_t id, ConversationInfo* info) {
  // Since version 7 the first and last stamps in time.
  Status s =
      PreparedOnce(*db_, &conversation_times_,
                   version_ >= 7 ? "SELECT min(sent), max(sent) FROM message WHERE "
                                   "conversation_id = ?1"
                                 : "SELECT coalesce(min(sent_at), ''), coalesce(max(sent_at), '') "
                                   "FROM message WHERE conversation_id = ?1");
  if (!s.ok()) return s;
  Statement& times = *conversation_times_;
  times.Bind(1, id);
  bool found = false;
  s = times.Step(&found);
  if (s.ok() && found) {
    info->first_sent_at = StampText(times, 0, version_);
    info->last_sent_at = StampText(times, 1, version_);
  }
  times.Reset();
  return s;
}

}  // namespace chatterwick::archive
