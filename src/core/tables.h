#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace chatterwick {

inline constexpr int32_t kLastLineIndex = 10000;  // RawLines, ParsedLines
inline constexpr int32_t kLastProtocol = 100;
inline constexpr int32_t kLastAccount = 100;
inline constexpr int32_t kLastContact = 1000;
inline constexpr int32_t kLastConversation = 10000;
inline constexpr int32_t kLastChatLine = 1000000;

// The two forms the client writes a log in, told apart by its first line.
enum class LogFormat { kHtml, kText };

struct ParsedLine {
  std::string Time;
  std::string Sender;
  std::string Message;
  bool empty() const { return Time.empty() && Sender.empty() && Message.empty(); }
};

// A protocol, account, contact or conversation. Protocols have no parent (0).
struct CatalogueEntry {
  int32_t Id = 0;
  int32_t ParentId = 0;
  std::string Name;
};

// A chat line as stored; the texts point into the table's own storage and stay
// valid until the table is cleared.
struct ChatEntry {
  int32_t ConversationId = 0;
  int32_t LineNumber = 0;
  std::string_view Time;
  std::string_view Sender;
  std::string_view Message;
};

// Empties one slot. Strings keep modest buffers for the next load, so that
// loading log after log does not allocate every line anew.
inline void ResetSlot(std::string& s) {
  if (s.capacity() > 4096) std::string().swap(s);
  else s.clear();
}
inline void ResetSlot(ParsedLine& p) {
  ResetSlot(p.Time);
  ResetSlot(p.Sender);
  ResetSlot(p.Message);
}
template <typename T>
void ResetSlot(T& t) {
  t = T{};
}

// Slots 0..last_index that read as empty until written. Storage grows with the
// highest slot written, so an unused table costs nothing.
template <typename T>
class SlotTable {
 public:
  explicit SlotTable(int32_t last_index) : last_index_(last_index) {}

  int32_t LastIndex() const { return last_index_; }
  // One past the highest slot that may hold something.
  int32_t Extent() const { return extent_; }

  const T& operator[](int32_t i) const {
    static const T kEmpty{};
    return i >= 0 && i < extent_ ? slots_[static_cast<size_t>(i)] : kEmpty;
  }
  // i must lie within 0..LastIndex().
  T& At(int32_t i) {
    if (static_cast<size_t>(i) >= slots_.size()) slots_.resize(static_cast<size_t>(i) + 1);
    if (i >= extent_) extent_ = i + 1;
    return slots_[static_cast<size_t>(i)];
  }
  // Empties every slot and keeps the storage for the next fill.
  void Clear() {
    for (int32_t i = 0; i < extent_; ++i) ResetSlot(slots_[static_cast<size_t>(i)]);
    extent_ = 0;
  }
  // Empties every slot and gives the storage back.
  void Release() {
    std::vector<T>().swap(slots_);
    extent_ = 0;
  }

 private:
  int32_t last_index_;
  int32_t extent_ = 0;
  std::vector<T> slots_;
};

// A catalogue level: slots 1..k in use, Id == slot.
class CatalogueTable : public SlotTable<CatalogueEntry> {
 public:
  using SlotTable::SlotTable;
  // The slot after the last one in use; LastIndex() + 1 when the table is full.
  int32_t FirstFreeSlot() const { return Extent() == 0 ? 1 : Extent(); }
};

// Where the chat table's large blocks come from: the heap unless a platform
// gives memory the system backs with large pages, which a full table fills
// with hundreds of page faults instead of tens of thousands.
class BlockSource {
 public:
  virtual ~BlockSource() = default;
  // A block of size bytes, or null when there is no memory for it.
  virtual char* Allocate(size_t size) = 0;
  // Gives back a block Allocate made with this size.
  virtual void Free(char* block, size_t size) = 0;
};

// ChatLines: appended in order, texts packed into large blocks so that a full
// table costs little more than the text it holds.
class ChatTable {
 public:
  // source (the heap when null) outlives the table.
  explicit ChatTable(BlockSource* source = nullptr);
  ~ChatTable() { Release(); }
  ChatTable(const ChatTable&) = delete;
  ChatTable& operator=(const ChatTable&) = delete;

  int32_t LastIndex() const { return kLastChatLine; }
  int32_t Count() const { return count_; }
  // Slot 1..Count() in use; any other slot reads as empty.
  ChatEntry operator[](int32_t slot) const;
  // Stores the line in slot Count() + 1; false when the table is full.
  // Throws std::bad_alloc when no block can be had.
  bool Append(int32_t conversation_id, int32_t line_number, std::string_view time,
              std::string_view sender, std::string_view message);
  void Release();

 private:
  // 28 bytes a line: a full table's index takes 28 MB.
  struct Index {
    int32_t conversation_id;
    int32_t line_number;
    uint32_t block;   // in blocks_
    uint32_t offset;  // of the time, followed by the sender and the message
    uint32_t time_len;
    uint32_t sender_len;
    uint32_t message_len;
  };
  // As many as 2 MiB hold: a large page each.
  static constexpr size_t kIndexChunk = (size_t{2} << 20) / sizeof(Index);
  static constexpr size_t kTextBlock = 4 << 20;

  // Stores a, b and c one after another, and where into x.
  void StoreText(size_t len, std::string_view a, std::string_view b, std::string_view c, Index* x);
  char* NewBlock(size_t size);

  BlockSource* source_;
  int32_t count_ = 0;
  std::vector<Index*> index_chunks_;
  struct Block {
    char* data;
    size_t size;
  };
  std::vector<Block> blocks_;  // the index chunks' too
  // The block texts go into (its place in blocks_), its size (0 before the
  // first) and how much of it is taken.
  uint32_t text_block_ = 0;
  size_t block_size_ = 0;
  size_t block_used_ = 0;
};

// The log read last: the one the window or the command line opened, or the
// last one a folder run read. Every load overwrites it.
struct LoadedLog {
  // Slot 0 holds the header line; slots 1..LineCount - 1 the log's lines.
  SlotTable<std::string> RawLines{kLastLineIndex};
  int32_t LineCount = 0;
  SlotTable<ParsedLine> ParsedLines{kLastLineIndex};
  // Lines of this log that the parser rejected.
  int32_t FailedLineCount = 0;
  // How the log was written; its lines are split as that form writes them.
  LogFormat Format = LogFormat::kHtml;

  // Calls fn(const ParsedLine&) for each chat line in order: every slot from
  // 1 to LineCount that holds anything.
  template <typename Fn>
  void ForEachChatLine(Fn&& fn) const {
    const int32_t last = std::clamp(LineCount, 0, kLastLineIndex);
    for (int32_t i = 1; i <= last; ++i) {
      const ParsedLine& line = ParsedLines[i];
      if (!line.empty()) fn(line);
    }
  }
};

// The tables a folder run fills. Clearing them leaves the loaded log alone.
struct Catalogue {
  Catalogue() = default;
  // blocks (the heap when null) outlives the catalogue.
  explicit Catalogue(BlockSource* blocks) : ChatLines(blocks) {}

  CatalogueTable Protocols{kLastProtocol};
  CatalogueTable Accounts{kLastAccount};
  CatalogueTable Contacts{kLastContact};
  CatalogueTable Conversations{kLastConversation};
  ChatTable ChatLines;

  // Empties every table and gives their storage back.
  void Clear();
};

}  // namespace chatterwick
