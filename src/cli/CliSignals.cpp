// SIGINT and SIGTERM as a flag that long commands poll.
//
// The handler only stores the signal number in a lock-free atomic (safe in a
// signal handler); everything else, stopping the workers and cleaning up,
// happens on the command's own thread, so a file write is never cut short.
#include <algorithm>
#include <atomic>
#include <csignal>
#include <thread>

#include "Cli.h"

namespace obra::cli {

namespace {

std::atomic<int> Received{0};
static_assert(std::atomic<int>::is_always_lock_free);

void NoteStopSignal(int Signal) {
  int None = 0;
  Received.compare_exchange_strong(None, Signal, std::memory_order_relaxed);
}

}  // namespace

void InstallStopSignals() {
  struct sigaction A {};
  A.sa_handler = NoteStopSignal;
  sigemptyset(&A.sa_mask);
  A.sa_flags = SA_RESTART;
  sigaction(SIGINT, &A, nullptr);
  sigaction(SIGTERM, &A, nullptr);
}

int StopSignal() { return Received.load(std::memory_order_relaxed); }

int StopExitStatus() { return 128 + StopSignal(); }

bool SleepUnlessStopped(std::chrono::milliseconds Duration) {
  const auto End = std::chrono::steady_clock::now() + Duration;
  while (StopSignal() == 0) {
    const auto Now = std::chrono::steady_clock::now();
    if (Now >= End) return true;
    std::this_thread::sleep_for(
        std::min<std::chrono::steady_clock::duration>(End - Now, std::chrono::milliseconds(10)));
  }
  return false;
}

}  // namespace obra::cli
