// Ctrl-C and SIGTERM while tabulex-convert runs.
//
// Both signals are blocked in every thread and taken by a thread of their
// own, so no driver call is ever cut short by one. While a run is armed the
// first signal only raises the stop flag (the run stops after its current
// row and the file is finished properly); otherwise, and for a second signal,
// the signal's default action ends the process at once.
#pragma once

#include <atomic>
#include <csignal>

namespace cli {

class InterruptWatch {
 public:
  // Must come before any other thread is started, so that they all inherit
  // the blocked signals. The watching thread uses the object until the
  // process ends: give it static storage.
  InterruptWatch();
  InterruptWatch(const InterruptWatch&) = delete;
  InterruptWatch& operator=(const InterruptWatch&) = delete;

  void arm();
  const std::atomic<bool>& stopFlag() const { return stop_; }
  // The signal that stopped the run, or 0.
  int signal() const { return signal_.load(); }

 private:
  std::atomic<bool> stop_{false};
  std::atomic<int> signal_{0};
  std::atomic<bool> armed_{false};
};

// The exit status of a run stopped by `signal`: 128 + its number.
inline int interruptedExitStatus(int signal) { return 128 + signal; }

}  // namespace cli
