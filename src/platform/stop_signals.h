#pragma once

#include <atomic>

// SIGINT and SIGTERM as a request to stop that the core sees between steps,
// so that a command can remove what it had begun to write.
namespace chatterwick::stop_signals {

// Installs the handlers once; returns the flag, which holds the number of the
// first signal received while armed, 0 before.
const std::atomic<int>* Install();

// While armed, a signal is recorded in the flag. Disarmed, and for a second
// signal, the program ends as it would without handlers, so that a window
// waiting for the user or a command that does not stop can still be ended.
void Arm(bool armed);

}  // namespace chatterwick::stop_signals
