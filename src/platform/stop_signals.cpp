#include "platform/stop_signals.h"

#include <signal.h>

namespace chatterwick::stop_signals {

namespace {

std::atomic<int> g_stop{0};
std::atomic<bool> g_armed{false};

static_assert(std::atomic<int>::is_always_lock_free && std::atomic<bool>::is_always_lock_free,
              "a signal handler may only touch lock-free atomics");

extern "C" void OnStopSignal(int sig) {
  int none = 0;
  if (g_armed.load() && g_stop.compare_exchange_strong(none, sig)) return;
  // Delivered once this handler returns, since the signal is blocked in it.
  ::signal(sig, SIG_DFL);
  ::raise(sig);
}

}  // namespace

const std::atomic<int>* Install() {
  static const bool installed = [] {
    struct sigaction sa {};
    sa.sa_handler = OnStopSignal;
    sigemptyset(&sa.sa_mask);
    // No SA_RESTART: a blocking open or read returns, and the command sees the flag.
    sa.sa_flags = 0;
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGTERM, &sa, nullptr);
    return true;
  }();
  (void)installed;
  return &g_stop;
}

void Arm(bool armed) { g_armed.store(armed); }

}  // namespace chatterwick::stop_signals
