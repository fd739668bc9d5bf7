#include "daemon/core/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>

#include <cerrno>
#include <cstdio>
#include <utility>

#include "common/util/report.h"

namespace ww {

int TakeInstanceLock(const char* path, UniqueFd& held) {
  char reason[128];
  UniqueFd fd(::open(path, O_RDWR | O_CREAT | O_CLOEXEC, 0644));
  if (!fd.Valid()) {
    std::fprintf(stderr, "Error: could not open the lock file %s: %s\n", path,
                 ErrnoText(errno, reason, sizeof reason));
    return kExitAlreadyRunning;
  }
  int locked = -1;
  do {
    locked = ::flock(fd.Get(), LOCK_EX | LOCK_NB);
  } while (locked != 0 && errno == EINTR);
  if (locked != 0) {
    if (errno == EWOULDBLOCK) {
      std::fprintf(stderr, "Error: another wavewarden is already running (lock %s is held)\n",
                   path);
    } else {
      std::fprintf(stderr, "Error: could not lock %s: %s\n", path,
                   ErrnoText(errno, reason, sizeof reason));
    }
    return kExitAlreadyRunning;
  }
  held = std::move(fd);
  return 0;
}

}  // namespace ww
