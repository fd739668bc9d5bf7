#include "common/util/wake_semaphore.h"

#include <cerrno>

namespace ww {

WakeSemaphore::WakeSemaphore() {
  sem_init(&sem_, 0, 0);
}

WakeSemaphore::~WakeSemaphore() {
  sem_destroy(&sem_);
}

void WakeSemaphore::Post() {
  sem_post(&sem_);
}

bool WakeSemaphore::WaitFor(std::chrono::milliseconds span) {
  // On the monotonic clock: a device that steps its clock when NTP arrives
  // must not stretch or skip a supervision period.
  timespec deadline{};
  clock_gettime(CLOCK_MONOTONIC, &deadline);
  const auto whole = std::chrono::duration_cast<std::chrono::seconds>(span);
  deadline.tv_sec += static_cast<time_t>(whole.count());
  deadline.tv_nsec +=
      static_cast<long>(std::chrono::duration_cast<std::chrono::nanoseconds>(span - whole).count());
  if (deadline.tv_nsec >= 1000000000L) {
    deadline.tv_nsec -= 1000000000L;
    ++deadline.tv_sec;
  }
  for (;;) {
    if (sem_clockwait(&sem_, CLOCK_MONOTONIC, &deadline) == 0) {
      return true;
    }
    // A signal (the child reaper) must not turn into an early pass.
    if (errno != EINTR) {
      return false;
    }
  }
}

int WakeSemaphore::Value() {
  int value = 0;
  sem_getvalue(&sem_, &value);
  return value;
}

}  // namespace ww
