// What the archive window waits for, through the read interface it uses: the
// tree, the longest conversation, a one-word search's first page (its words
// marked, as the window shows them), every hit and their count, a rare
// word's first page, and the statistics of everything.
// usage: chatterwick_reader_bench DB WORD [RARE_WORD]
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

// Times a search for typed: a page of limit hits (0: every one), marked or not.
bool TimeSearch(archive::ArchiveReader& reader, const char* label, const char* typed, int64_t limit,
                bool marked) {
  archive::SearchOptions search;
  if (!archive::TranslateQuery(typed, &search.query).ok()) return false;
  search.limit = limit;
  if (marked) search.mark_start = "\x02", search.mark_end = "\x03";
  int64_t shown = 0;
  const auto start = Clock::now();
  if (!reader.Search(search, 0, [&](const archive::SearchHit&) { return ++shown > 0; }).ok())
    return false;
  std::printf("search \"%s\", %s (%lld): %8.1f ms\n", typed, label, static_cast<long long>(shown),
              Ms(start));
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 && argc != 4) {
    std::fprintf(stderr, "usage: %s DB WORD [RARE_WORD]\n", argv[0]);
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

  if (!TimeSearch(*reader, "first page", argv[2], 200, false) ||
      !TimeSearch(*reader, "first page marked", argv[2], 200, true) ||
      !TimeSearch(*reader, "every hit", argv[2], 0, false) ||
      (argc == 4 && !TimeSearch(*reader, "first page", argv[3], 200, false)))
    return 1;
  archive::SearchOptions search;
  if (!archive::TranslateQuery(argv[2], &search.query).ok()) return 1;
  int64_t hits = 0;
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
