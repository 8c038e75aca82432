#include "core/line_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace chatterwick {
namespace {

// Hands out its bytes a few at a time, so line ends fall across reads.
class TrickleFile : public SequentialFile {
 public:
  TrickleFile(std::string data, size_t step) : data_(std::move(data)), step_(step) {}
  Status Read(size_t n, char* scratch, size_t* got) override {
    if (fail_at_ && pos_ >= fail_at_) return Status::IOError("disk gone");
    *got = std::min({n, step_, data_.size() - pos_});
    std::memcpy(scratch, data_.data() + pos_, *got);
    pos_ += *got;
    return Status::OK();
  }
  size_t fail_at_ = 0;

 private:
  std::string data_;
  size_t step_;
  size_t pos_ = 0;
};

std::vector<std::string> Lines(const std::string& data, size_t step) {
  LineReader r(std::make_unique<TrickleFile>(data, step));
  std::vector<std::string> out;
  for (std::string l; r.ReadLine(&l);) out.push_back(l);
  EXPECT_TRUE(r.status().ok());
  return out;
}

TEST(LineReaderTest, SplitsAtCrCrLfAndLf) {
  using V = std::vector<std::string>;
  const std::pair<std::string, V> cases[] = {
      {"", V{}},
      {"a", V{"a"}},
      {"a\r\n", V{"a"}},
      {"a\r\n\r\nb", V{"a", "", "b"}},
      {"a\rb\nc\r\nd", V{"a", "b", "c", "d"}},
      {"a\n\rb", V{"a", "", "b"}},
      {"\r\r\n", V{"", ""}},
  };
  for (const auto& [data, want] : cases)
    for (size_t step : {1, 2, 3, 1000}) EXPECT_EQ(Lines(data, step), want) << step;
}

TEST(LineReaderTest, ReadErrorEndsWithBadStatus) {
  auto file = std::make_unique<TrickleFile>("abc\ndef\nghi\n", 4);
  file->fail_at_ = 4;
  LineReader r(std::move(file));
  std::string l;
  EXPECT_TRUE(r.ReadLine(&l));
  EXPECT_FALSE(r.ReadLine(&l));
  EXPECT_FALSE(r.status().ok());
}

}  // namespace
}  // namespace chatterwick
