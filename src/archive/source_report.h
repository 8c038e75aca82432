#pragma once

#include <string>
#include <vector>

#include "archive/reader.h"
#include "core/env.h"

// The sources of an archive as the user reads them, the command line and
// the window alike: each with its path, logs, last read and whether it can
// be reached now.
namespace chatterwick::archive {

// One block a source, lines ending in "\n"; a line saying so when there is none.
std::string SourcesReport(Env& env, const std::vector<SourceInfo>& sources);

}  // namespace chatterwick::archive
