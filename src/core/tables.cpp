#include "core/tables.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

namespace chatterwick {

namespace {

class HeapBlocks : public BlockSource {
 public:
  char* Allocate(size_t size) override { return new (std::nothrow) char[size]; }
  void Free(char* block, size_t) override { delete[] block; }
};

}  // namespace

ChatTable::ChatTable(BlockSource* source) : source_(source) {
  static HeapBlocks heap;
  if (!source_) source_ = &heap;
}

char* ChatTable::NewBlock(size_t size) {
  blocks_.reserve(blocks_.size() + 1);  // so that a block had is never lost
  char* data = source_->Allocate(size);
  if (!data) throw std::bad_alloc();
  blocks_.push_back({data, size});
  return data;
}

ChatEntry ChatTable::operator[](int32_t slot) const {
  if (slot < 1 || slot > count_) return {};
  size_t i = static_cast<size_t>(slot - 1);
  const Index& x = index_chunks_[i / kIndexChunk][i % kIndexChunk];
  ChatEntry e;
  e.ConversationId = x.conversation_id;
  e.LineNumber = x.line_number;
  if (x.time_len + uint64_t{x.sender_len} + x.message_len == 0) return e;
  const char* text = blocks_[x.block].data + x.offset;
  e.Time = std::string_view(text, x.time_len);
  e.Sender = std::string_view(text + x.time_len, x.sender_len);
  e.Message = std::string_view(text + x.time_len + x.sender_len, x.message_len);
  return e;
}

void ChatTable::StoreText(size_t len, std::string_view a, std::string_view b, std::string_view c,
                          Index* x) {
  x->block = x->offset = 0;
  if (len == 0) return;
  // No text block yet (block_size_ 0), or too little room left in it.
  if (block_size_ - block_used_ < len) {
    // A line longer than a block gets a block of its own.
    const size_t size = len > kTextBlock ? len : kTextBlock;
    NewBlock(size);
    text_block_ = static_cast<uint32_t>(blocks_.size() - 1);
    block_size_ = size;
    block_used_ = 0;
  }
  char* p = blocks_[text_block_].data + block_used_;
  if (!a.empty()) std::memcpy(p, a.data(), a.size());
  if (!b.empty()) std::memcpy(p + a.size(), b.data(), b.size());
  if (!c.empty()) std::memcpy(p + a.size() + b.size(), c.data(), c.size());
  x->block = text_block_;
  x->offset = static_cast<uint32_t>(block_used_);
  block_used_ += len;
}

bool ChatTable::Append(int32_t conversation_id, int32_t line_number, std::string_view time,
                       std::string_view sender, std::string_view message) {
  if (count_ >= kLastChatLine) return false;
  constexpr size_t kMaxText = UINT32_MAX;
  if (time.size() > kMaxText || sender.size() > kMaxText || message.size() > kMaxText) return false;
  size_t i = static_cast<size_t>(count_);
  if (i / kIndexChunk >= index_chunks_.size()) {
    index_chunks_.reserve(index_chunks_.size() + 1);
    Index* chunk = reinterpret_cast<Index*>(NewBlock(kIndexChunk * sizeof(Index)));
    std::uninitialized_default_construct_n(chunk, kIndexChunk);
    index_chunks_.push_back(chunk);
  }
  Index& x = index_chunks_[i / kIndexChunk][i % kIndexChunk];
  x.conversation_id = conversation_id;
  x.line_number = line_number;
  x.time_len = static_cast<uint32_t>(time.size());
  x.sender_len = static_cast<uint32_t>(sender.size());
  x.message_len = static_cast<uint32_t>(message.size());
  StoreText(time.size() + sender.size() + message.size(), time, sender, message, &x);
  ++count_;
  return true;
}

void ChatTable::Release() {
  count_ = 0;
  for (const Block& b : blocks_) source_->Free(b.data, b.size);
  std::vector<Index*>().swap(index_chunks_);
  std::vector<Block>().swap(blocks_);
  text_block_ = 0;
  block_used_ = block_size_ = 0;
}

void Catalogue::Clear() {
  Protocols.Release();
  Accounts.Release();
  Contacts.Release();
  Conversations.Release();
  ChatLines.Release();
}

}  // namespace chatterwick
