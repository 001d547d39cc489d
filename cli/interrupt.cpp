#include "cli/interrupt.h"

#include <pthread.h>

#include <cstdlib>
#include <thread>

namespace cli {

namespace {

sigset_t watchedSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  return set;
}

// The default action, here and now: unblocked in this thread and raised again.
[[noreturn]] void dieOf(int signal) {
  std::signal(signal, SIG_DFL);
  sigset_t one;
  sigemptyset(&one);
  sigaddset(&one, signal);
  pthread_sigmask(SIG_UNBLOCK, &one, nullptr);
  raise(signal);
  std::_Exit(128 + signal);
}

}  // namespace

InterruptWatch::InterruptWatch() {
  sigset_t set = watchedSignals();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  // Detached: it lives as long as the process, waiting.
  std::thread([this, set] {
    for (;;) {
      int signal = 0;
      if (sigwait(&set, &signal) != 0) continue;
      if (!armed_.load() || stop_.load()) dieOf(signal);
      signal_ = signal;
      stop_ = true;
    }
  }).detach();
}

void InterruptWatch::arm() { armed_ = true; }

}  // namespace cli
