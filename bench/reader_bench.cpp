// What the archive window waits for, through the read interface it uses: the
// tree, the longest conversation, a one-word search's first page and count,
// and the statistics of everything.
// usage: chatterwick_reader_bench DB WORD
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>

#include "archive/reader.h"

using namespace chatterwick;
using Clock = std::chrono::steady_clock;

namespace {

double Ms(Clock::time_point since) {
  return std::chrono::duration<double, std::milli>(Clock::now() - since).count();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s DB WORD\n", argv[0]);
    return 2;
  }
  auto start = Clock::now();
  std::unique_ptr<archive::ArchiveReader> reader;
  if (!archive::ArchiveReader::Open(argv[1], &reader).ok()) return 1;
  std::vector<archive::TreeNode> nodes;
  if (!reader->Tree(&nodes).ok()) return 1;
  std::printf("open and tree (%zu nodes):     %8.1f ms\n", nodes.size(), Ms(start));

  std::vector<archive::ConversationRow> rows;
  start = Clock::now();
  if (!reader->Conversations({}, &rows).ok() || rows.empty()) return 1;
  std::printf("every conversation (%zu):    %8.1f ms\n", rows.size(), Ms(start));
  const auto longest = std::max_element(rows.begin(), rows.end(), [](const auto& a, const auto& b) {
    return a.messages < b.messages;
  });
  std::vector<archive::MessageRow> messages;
  start = Clock::now();
  if (!reader->Messages(longest->id, 0, longest->messages, &messages).ok()) return 1;
  std::printf("longest conversation (%lld):  %8.1f ms\n", static_cast<long long>(messages.size()),
              Ms(start));

  archive::SearchOptions search;
  if (!archive::TranslateQuery(argv[2], &search.query).ok()) return 1;
  search.limit = 200;
  int64_t hits = 0, shown = 0;
  start = Clock::now();
  if (!reader->Search(search, 0, [&](const archive::SearchHit&) { return ++shown > 0; }).ok())
    return 1;
  std::printf("search \"%s\", first page:     %8.1f ms\n", argv[2], Ms(start));
  start = Clock::now();
  if (!reader->CountHits(search, &hits).ok()) return 1;
  std::printf("search \"%s\", count (%lld):   %8.1f ms\n", argv[2], static_cast<long long>(hits),
              Ms(start));
  archive::Statistics stats;
  start = Clock::now();
  if (!reader->Stats({}, &stats).ok()) return 1;
  std::printf("statistics of everything:     %8.1f ms\n", Ms(start));
  return 0;
}
