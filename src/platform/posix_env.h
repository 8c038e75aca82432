#pragma once

#include "core/env.h"

namespace chatterwick {

// The real file system and process. Paths are separated by "/"; a "\" is
// part of a name.
Env* PosixEnv();

}  // namespace chatterwick
