#pragma once

#include <sys/prctl.h>

namespace ww {

// Sets the calling thread's system name. The kernel keeps 15 characters, so
// long thread names are cut there (pthread_setname_np would refuse them).
inline void SetThreadName(const char* name) {
  prctl(PR_SET_NAME, name, 0, 0, 0);
}

}  // namespace ww
