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
  std::string buf_;
  size_t pos_ = 0;
  bool eof_ = false;
  bool skip_lf_ = false;  // the last line ended in CR; a following LF belongs to it
  Status status_;
};

}  // namespace chatterwick
