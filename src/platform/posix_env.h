#pragma once

#include "core/env.h"

namespace chatterwick {

// The real file system and process. Paths may use "\" as well as "/".
Env* PosixEnv();

}  // namespace chatterwick
