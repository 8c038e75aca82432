#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "archive/log_pieces.h"
#include "core/status.h"

// What a whole run learns of the copies it did not find: which are gone
// from the sources it read, and so which conversations (every copy gone),
// and what becomes of those.
namespace chatterwick::archive {

class Database;

// A source a run listed, and how.
struct ListedSource {
  int64_t id = 0;
  const LogListing* listing = nullptr;
  // Its logs are all another's (see IsForeign): none of its earlier copies is
  // called gone.
  bool foreign = false;
};

class CopyPresence {
 public:
  CopyPresence(Database& db, ArchiveSummary& summary) : db_(db), summary_(summary) {}

  // Whether a source that held copies now holds logs of none of their
  // accounts: another person's tree where the source was.
  Status IsForeign(int64_t source, const LogListing& listing, bool* foreign);

  // After a whole run: marks each listed source's copies found (seen, any
  // order) present, and gone those its listing knows to be gone (of a
  // folder not read, or a log the mask leaves out, nothing is known); a
  // conversation is gone when every copy it has is. Then removes those gone
  // whose bytes a copy still present holds (moved), and with kPrune every
  // other gone one; a conversation without any copy (its source forgotten)
  // is never removed.
  Status Settle(const std::vector<ListedSource>& sources, std::vector<int64_t> seen,
                const std::string& mask, GoneLogs gone);
  // The counts of what the archive holds now.
  Status Count();

 private:
  Status MarkSource(const ListedSource& source, const std::vector<int64_t>& seen,
                    const std::string& mask);
  Status RemoveGone(GoneLogs gone);

  Database& db_;
  ArchiveSummary& summary_;
};

}  // namespace chatterwick::archive
