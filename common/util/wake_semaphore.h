// Counting semaphore that wakes the operational thread. Every post yields one
// pass; waits take an absolute real-time deadline so a pass also runs on its
// supervision period without any post.
#pragma once

#include <semaphore.h>

#include <ctime>

namespace ww {

class WakeSemaphore {
 public:
  WakeSemaphore();
  ~WakeSemaphore();
  WakeSemaphore(const WakeSemaphore&) = delete;
  WakeSemaphore& operator=(const WakeSemaphore&) = delete;

  void Post();
  // Waits until a post arrives or `seconds` have passed on the real-time
  // clock. Returns true for a post, false for a time-out.
  bool WaitFor(int seconds);
  // Current count, for tests and diagnostics.
  int Value();

 private:
  sem_t sem_{};
};

}  // namespace ww
