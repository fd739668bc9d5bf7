// Counting semaphore that wakes the operational thread. Every post yields one
// pass; waits have a deadline so a pass also runs on its supervision period
// without any post.
#pragma once

#include <semaphore.h>

#include <chrono>
#include <ctime>

namespace ww {

class WakeSemaphore {
 public:
  WakeSemaphore();
  ~WakeSemaphore();
  WakeSemaphore(const WakeSemaphore&) = delete;
  WakeSemaphore& operator=(const WakeSemaphore&) = delete;

  void Post();
  // Waits until a post arrives or `span` has passed on the monotonic clock.
  // Returns true for a post, false for a time-out.
  bool WaitFor(std::chrono::milliseconds span);
  // Current count, for tests and diagnostics.
  int Value();

 private:
  sem_t sem_{};
};

}  // namespace ww
