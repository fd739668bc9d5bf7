#include "common/util/wake_semaphore.h"

namespace ww {

void WakeSemaphore::Post() {
  {
    std::lock_guard<std::mutex> hold(lock_);
    ++count_;
  }
  posted_.notify_one();
}

bool WakeSemaphore::WaitFor(std::chrono::milliseconds span) {
  // On the steady clock (pthread_cond_clockwait with CLOCK_MONOTONIC): a
  // device that steps its clock when NTP arrives must not stretch or skip a
  // supervision period. A condition variable rather than sem_clockwait, which
  // the thread sanitizer does not know as a blocking call and during which
  // it would hold back this thread's signals, the child reaper's included.
  const auto deadline = std::chrono::steady_clock::now() + span;
  std::unique_lock<std::mutex> hold(lock_);
  if (!posted_.wait_until(hold, deadline, [this] { return count_ > 0; })) {
    return false;
  }
  --count_;
  return true;
}

int WakeSemaphore::Value() {
  std::lock_guard<std::mutex> hold(lock_);
  return count_;
}

}  // namespace ww
