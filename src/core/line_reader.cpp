#include "core/line_reader.h"

#include <algorithm>
#include <cstring>

namespace chatterwick {

namespace {
constexpr size_t kChunk = 64 * 1024;
}

bool LineReader::Fill() {
  if (eof_ || !status_.ok()) return false;
  if (!buf_) buf_ = std::make_unique_for_overwrite<char[]>(kChunk);
  pos_ = size_ = 0;
  next_cr_ = next_lf_ = kUnknown;
  size_t got = 0;
  status_ = file_->Read(kChunk, buf_.get(), &got);
  if (!status_.ok()) return false;
  size_ = got;
  eof_ = got == 0;
  return got > 0;
}

namespace {

// The index of the next c at or after from, using and refreshing *cached.
size_t Next(const char* buf, size_t size, char c, size_t from, size_t* cached) {
  if (*cached == static_cast<size_t>(-1) || *cached < from) {
    const void* hit = std::memchr(buf + from, c, size - from);
    *cached = hit ? static_cast<size_t>(static_cast<const char*>(hit) - buf) : size;
  }
  return *cached;
}

}  // namespace

bool LineReader::ReadLine(std::string* line) {
  line->clear();
  bool any = false;
  for (;;) {
    if (pos_ == size_ && !Fill()) break;
    if (skip_lf_) {
      skip_lf_ = false;
      if (buf_[pos_] == '\n') {
        ++pos_;
        continue;
      }
    }
    any = true;
    const char* buf = buf_.get();
    const size_t end =
        std::min(Next(buf, size_, '\r', pos_, &next_cr_), Next(buf, size_, '\n', pos_, &next_lf_));
    line->append(buf + pos_, end - pos_);
    if (end == size_) {
      pos_ = end;
      continue;
    }
    if (buf[end] == '\r') skip_lf_ = true;
    pos_ = end + 1;
    return status_.ok();
  }
  return any && status_.ok();
}

}  // namespace chatterwick
