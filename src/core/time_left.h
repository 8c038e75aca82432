#pragma once

#include <optional>

namespace chatterwick {

// The seconds a run has yet to go, when "share" (0 to 1) of it took
// "elapsed" seconds: none before a share that says something, nor at the end.
inline std::optional<double> SecondsLeft(double share, double elapsed) {
  if (share < 0.01 || share >= 1) return std::nullopt;
  return elapsed / share - elapsed;
}

}  // namespace chatterwick
