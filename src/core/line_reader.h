#pragma once

#include <memory>
#include <string>

#include "core/env.h"

namespace chatterwick {

// Splits a file into physical lines ending at CR, CR LF or a lone LF; the
// terminator is not part of the line, and a final terminator starts no line.
class LineReader {
 public:
  explicit LineReader(std::unique_ptr<SequentialFile> file) : file_(std::move(file)) {}

  // False at the end of the file, or on a read error (see status()).
  bool ReadLine(std::string* line);
  const Status& status() const { return status_; }

 private:
  bool Fill();

  std::unique_ptr<SequentialFile> file_;
  // Filled only once fully consumed, so it never holds more than one read.
  std::unique_ptr<char[]> buf_;
  size_t size_ = 0;
  size_t pos_ = 0;
  bool eof_ = false;
  bool skip_lf_ = false;  // the last line ended in CR; a following LF belongs to it
  // Where the next CR and LF stand in buf_ (size_ for none), so that a
  // file holding only one kind is not searched to the end for the other on
  // every line. kUnknown after the buffer changes.
  static constexpr size_t kUnknown = static_cast<size_t>(-1);
  size_t next_cr_ = kUnknown;
  size_t next_lf_ = kUnknown;
  Status status_;
};

}  // namespace chatterwick
