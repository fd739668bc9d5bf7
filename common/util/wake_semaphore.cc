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

bool WakeSemaphore::WaitFor(int seconds) {
  timespec deadline{};
  clock_gettime(CLOCK_REALTIME, &deadline);
  deadline.tv_sec += seconds;
  for (;;) {
    if (sem_timedwait(&sem_, &deadline) == 0) {
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
