#pragma once

#include <cstdint>
#include <functional>

#include "core/status.h"
#include "core/stop_flag.h"

// When the full-text index merges its segments. A first run's index comes
// in hundreds of small segments, one a batch or a megabyte of words. Merged
// as they come, four at a time, every word is written again at each level,
// and a tree of ten million messages spent longer merging than storing;
// merged once at the end, it is written twice.
namespace chatterwick::archive {

class Database;

// Holds the merges until MergeHeld on a first run (no messages before it)
// and on the run after a first one stopped; *held tells whether they are.
Status HoldMerges(Database& db, int64_t messages_before, bool* held);

// Merges the held segments into one, a step at a time, calling commit every
// few steps; a stop ends it between steps (*stopped), and the next run goes
// on. Then the index merges as it goes again, as later runs want.
Status MergeHeld(Database& db, StopFlag stop, const std::function<Status()>& commit, bool* stopped);

}  // namespace chatterwick::archive
