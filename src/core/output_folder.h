#pragma once

#include <string>

#include "core/env.h"

namespace chatterwick {

// The file beside the executable that marks the folder it was built in.
inline constexpr const char* kBuildFolderMark = "CMakeCache.txt";

// Where the files go, with a final separator. A copy run from its build
// folder uses the folder "output" beside it, when that is, or can be made,
// writable. Any other copy (installed, whoever runs it) uses
// $XDG_DATA_HOME/chatterwick/output, or $HOME/.local/share/chatterwick/output
// when XDG_DATA_HOME is not set or not absolute. Empty when there is no such
// place: HOME not set or empty either.
std::string OutputFolder(Env& env);

// Why OutputFolder found no place, as the user reads it.
inline constexpr const char* kNoOutputFolder =
    "cannot find a place for its files: neither XDG_DATA_HOME nor HOME is set";

}  // namespace chatterwick
