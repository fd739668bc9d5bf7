// wavectl: sends one command to the wavewarden daemon and prints its reply.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "common/util/unique_fd.h"
#include "common/util/unix_socket.h"
#include "tools/ctl/request.h"

namespace {

constexpr const char* kManagementSocket = "/var/run/wavewarden.socket";

constexpr int kExitUsage = 247;
constexpr int kExitNoSocket = 251;
constexpr int kExitNoConnection = 247;
constexpr int kExitReadFailed = 162;

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::printf("Error: usage: wavectl [command]\n");
    return kExitUsage;
  }
  ww::UniqueFd sock(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!sock.Valid()) {
    std::printf("Error: management socket not created.\n");
    return kExitNoSocket;
  }
  const sockaddr_un addr = ww::UnixAddress(kManagementSocket);
  if (::connect(sock.Get(), reinterpret_cast<const sockaddr*>(&addr), ww::kUnixAddressLength) !=
      0) {
    std::printf("Error: could not connect to management socket.\n");
    return kExitNoConnection;
  }

  static char request[ww::kCtlRequestSize];
  const size_t length = ww::BuildRequest(argc - 1, argv + 1, request, sizeof request);
  (void)::send(sock.Get(), request, length, MSG_NOSIGNAL);

  static char reply[ww::kCtlReplySize];
  const ssize_t got = ::read(sock.Get(), reply, sizeof reply);
  if (got < 0) {
    std::printf("read(...) failed with code %d\n", static_cast<int>(got));
    return kExitReadFailed;
  }
  // Replies may carry NUL bytes (the credentials): write them unchanged.
  std::fwrite(reply, 1, static_cast<size_t>(got), stdout);
  std::fputc('\n', stdout);
  return 0;
}
