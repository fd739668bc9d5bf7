// Preloaded into the daemon by system tests to make chosen system calls fail,
// so start-up failures that a healthy machine never shows can be tested:
//   WW_FAIL_SOCKET_DOMAIN=N  socket() of address family N fails (EAFNOSUPPORT)
//   WW_FAIL_SOCKET_SKIP=K    ... but only after the first K such calls succeeded
//   WW_FAIL_LISTEN=1         listen() fails (EADDRINUSE)
//   WW_EMPTY_FILE=PATH       open() of exactly PATH reads an empty file while
//   WW_EMPTY_FILE_SWITCH=F   ... the file F exists (always, without it); for
//                            kernel files that no mount can cover
//   WW_SHIFT_REALTIME=S      the real-time clock reads S seconds ahead, as after
//                            a step while a wait was measured on it
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>

namespace {

bool EnvIs(const char* name, int value) {
  const char* text = std::getenv(name);
  return text != nullptr && std::atoi(text) == value;
}

}  // namespace

extern "C" int socket(int domain, int type, int protocol) {
  static std::atomic<int> matched{0};
  const char* skip = std::getenv("WW_FAIL_SOCKET_SKIP");
  if (EnvIs("WW_FAIL_SOCKET_DOMAIN", domain) &&
      matched.fetch_add(1) >= (skip != nullptr ? std::atoi(skip) : 0)) {
    errno = EAFNOSUPPORT;
    return -1;
  }
  using Fn = int (*)(int, int, int);
  static Fn real = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, "socket"));
  return real(domain, type, protocol);
}

extern "C" int listen(int fd, int backlog) {
  if (EnvIs("WW_FAIL_LISTEN", 1)) {
    errno = EADDRINUSE;
    return -1;
  }
  using Fn = int (*)(int, int);
  static Fn real = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, "listen"));
  return real(fd, backlog);
}

extern "C" int open(const char* path, int flags, ...) {
  mode_t mode = 0;
  if ((flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE) {
    va_list args;
    va_start(args, flags);
    mode = static_cast<mode_t>(va_arg(args, int));
    va_end(args);
  }
  const char* empty = std::getenv("WW_EMPTY_FILE");
  const char* when = std::getenv("WW_EMPTY_FILE_SWITCH");
  if (empty != nullptr && std::strcmp(path, empty) == 0 &&
      (when == nullptr || access(when, F_OK) == 0)) {
    path = "/dev/null";
  }
  using Fn = int (*)(const char*, int, ...);
  static Fn real = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, "open"));
  return real(path, flags, mode);
}

extern "C" int clock_gettime(clockid_t clock, timespec* now) {
  using Fn = int (*)(clockid_t, timespec*);
  static Fn real = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, "clock_gettime"));
  const int result = real(clock, now);
  const char* shift = std::getenv("WW_SHIFT_REALTIME");
  if (result == 0 && shift != nullptr && clock == CLOCK_REALTIME) {
    now->tv_sec += std::atol(shift);
  }
  return result;
}
