// The address of a UNIX-domain socket as the daemon and its clients give it.
#pragma once

#include <sys/socket.h>
#include <sys/un.h>

#include <cstring>

namespace ww {

// The length passed to bind and connect: the whole address, not the path's.
inline constexpr socklen_t kUnixAddressLength = 110;

// The address of `path`: at most 107 bytes of it, always NUL-terminated.
inline sockaddr_un UnixAddress(const char* path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path, sizeof address.sun_path - 1);
  return address;
}

}  // namespace ww
