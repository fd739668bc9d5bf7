#include "daemon/core/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <cerrno>
#include <cstdio>
#include <utility>

#include "common/util/report.h"
#include "common/util/unix_socket.h"

namespace ww {

int TakeInstanceLock(const char* path, UniqueFd& held) {
  char reason[128];
  // A link there could make the daemon create or lock a file elsewhere.
  UniqueFd fd(::open(path, O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644));
  if (!fd.Valid()) {
    if (errno == ELOOP) {
      std::fprintf(stderr, "Error: the lock file %s is a symbolic link; not following it\n", path);
    } else {
      std::fprintf(stderr, "Error: could not open the lock file %s: %s\n", path,
                   ErrnoText(errno, reason, sizeof reason));
    }
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

int RefuseIfServed(const char* socket_path) {
  const UniqueFd sock(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!sock.Valid()) {
    return 0;  // nothing can be told; the lock has decided
  }
  const sockaddr_un addr = UnixAddress(socket_path);
  int connected = -1;
  do {
    connected = ::connect(sock.Get(), reinterpret_cast<const sockaddr*>(&addr), kUnixAddressLength);
  } while (connected != 0 && errno == EINTR);
  if (connected != 0) {
    return 0;  // a stale socket file refuses, or there is none
  }
  std::fprintf(stderr, "Error: another wavewarden is already serving %s\n", socket_path);
  return kExitAlreadyRunning;
}

}  // namespace ww
