#pragma once

#include "core/tables.h"

namespace chatterwick {

// Blocks the system may back with large pages (2 MiB where it has them), for
// the chat table; small pages back them where it has none. Lives as long as
// the process.
BlockSource* LargePageBlocks();

}  // namespace chatterwick
