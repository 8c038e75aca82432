#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

// Copies of one conversation's log (on several machines, in backups, in
// either format) are one conversation: what names them alike, and what
// tells which of a copy's messages the archive holds already. No SQL here.
namespace chatterwick::archive {

// A log's file name without its extension (the last "." and the 1 to 5
// letters after it): "2022-09-30.173826+0200CEST.txt" and "….html" are
// copies of one conversation; a name without such an extension is its own.
std::string LogStem(std::string_view file_name);

// What makes a message the same in every copy, whatever format wrote it:
// its time (the full stamp, else the time text; for a line without either,
// nothing) and the first letters and digits of its sender and text. The
// formats differ in what follows (a link's address, markup, an action's
// "***"), never in those.
std::string MessageKey(std::string_view sent_at, std::string_view time_text,
                       std::string_view sender, std::string_view body);

// Whether a message of key may be the start of one of longer: a copy cut
// short inside it, before its key's letters were all written. The same
// time, and key's few letters the first of longer's.
bool KeyExtends(std::string_view key, std::string_view longer);

// Merges one copy's messages, in its order, into those the archive holds
// of the conversation: the k-th message of a copy with a given key is the
// stored k-th with that key, when there is one, and new otherwise. So a
// copy that holds the first of the stored messages adds nothing, a longer
// one adds what follows, and one that differs otherwise adds what it has of
// its own; the result is the same in whichever order copies come. A copy
// taken while the conversation went on may end inside its last message:
// that is the stored one it begins, and a longer copy's lengthens the
// stored last message when that was the cut one.
class CopyMerge {
 public:
  enum class Offered {
    kNew,
    kHeld,
    // Held: the stored last message, or one whose start it is.
    kHeldLast,
    // The copy's last message, new unless the caller finds a stored one of
    // the same time it is the start of; then Settle tells which.
    kMaybeCut,
  };
  // A message the archive holds already, in the conversation's order,
  // before the copy is offered.
  void AddStored(std::string_view key);
  // What the copy's next message, of key, is to the archive; copy_last says
  // it is the copy's last.
  Offered Offer(std::string_view key, bool copy_last);
  // After kMaybeCut: whether the message was held after all.
  void Settle(bool held);
  // Once every message of the copy was offered: whether the copy is neither
  // the start of what the archive holds nor that followed by more. Its new
  // messages then belong among the stored ones by time, not after them.
  bool Differs() const;
  int64_t added() const { return added_; }

 private:
  void CountHeld();
  void CountNew();

  struct Count {
    int64_t stored = 0, offered = 0;
  };
  // By the key's hash: a long conversation's keys would take far more.
  std::unordered_map<uint64_t, Count> counts_;
  int64_t stored_ = 0, held_ = 0, added_ = 0;
  // The last stored message: its key, how many of that key came before it,
  // and whether the copy matched it yet.
  std::string last_key_;
  int64_t last_place_ = -1;
  bool last_matched_ = false;
  bool held_after_new_ = false;
  int64_t held_before_new_ = -1;  // -1 until the first new message
};

}  // namespace chatterwick::archive
