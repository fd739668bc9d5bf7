// Preloaded into the daemon by system tests to make chosen system calls fail,
// so start-up failures that a healthy machine never shows can be tested:
//   WW_FAIL_SOCKET_DOMAIN=N  socket() of address family N fails (EAFNOSUPPORT)
//   WW_FAIL_SOCKET_SKIP=K    ... but only after the first K such calls succeeded
//   WW_FAIL_LISTEN=1         listen() fails (EADDRINUSE)
#include <dlfcn.h>
#include <sys/socket.h>

#include <atomic>
#include <cerrno>
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
