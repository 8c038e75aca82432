#include "core/line_reader.h"

#include <cstring>

namespace chatterwick {

namespace {
constexpr size_t kChunk = 64 * 1024;
}

bool LineReader::Fill() {
  if (eof_ || !status_.ok()) return false;
  buf_.erase(0, pos_);
  pos_ = 0;
  size_t old = buf_.size();
  buf_.resize(old + kChunk);
  size_t got = 0;
  status_ = file_->Read(kChunk, buf_.data() + old, &got);
  buf_.resize(old + (status_.ok() ? got : 0));
  if (status_.ok() && got == 0) eof_ = true;
  return status_.ok() && got > 0;
}

bool LineReader::ReadLine(std::string* line) {
  line->clear();
  bool any = false;
  for (;;) {
    if (pos_ == buf_.size() && !Fill()) break;
    if (skip_lf_) {
      skip_lf_ = false;
      if (buf_[pos_] == '\n') {
        ++pos_;
        continue;
      }
    }
    any = true;
    const char* start = buf_.data() + pos_;
    size_t avail = buf_.size() - pos_;
    const char* end = static_cast<const char*>(std::memchr(start, '\r', avail));
    const char* lf = static_cast<const char*>(std::memchr(start, '\n', end ? end - start : avail));
    if (lf) end = lf;
    if (!end) {
      line->append(start, avail);
      pos_ = buf_.size();
      continue;
    }
    line->append(start, static_cast<size_t>(end - start));
    pos_ += static_cast<size_t>(end - start) + 1;
    if (*end == '\r') skip_lf_ = true;
    return status_.ok();
  }
  return any && status_.ok();
}

}  // namespace chatterwick
