#pragma once

#include <string>

#include "core/env.h"

namespace chatterwick {

// Where the files go, with a final separator: the folder "output" beside the
// executable when it is, or can be made, writable there; otherwise (a copy
// installed where it may not write) $XDG_DATA_HOME/chatterwick/output, or
// $HOME/.local/share/chatterwick/output when XDG_DATA_HOME is not set or not
// absolute.
std::string OutputFolder(Env& env);

}  // namespace chatterwick
