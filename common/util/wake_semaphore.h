// Counting semaphore that wakes the operational thread. Every post yields one
// pass; waits have a deadline so a pass also runs on its supervision period
// without any post.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace ww {

class WakeSemaphore {
 public:
  WakeSemaphore() = default;
  WakeSemaphore(const WakeSemaphore&) = delete;
  WakeSemaphore& operator=(const WakeSemaphore&) = delete;

  void Post();
  // Waits until a post arrives or `span` has passed on the monotonic clock.
  // Returns true for a post, false for a time-out.
  bool WaitFor(std::chrono::milliseconds span);
  // Current count, for tests and diagnostics.
  int Value();

 private:
  std::mutex lock_;
  std::condition_variable posted_;
  int count_ = 0;
};

}  // namespace ww
