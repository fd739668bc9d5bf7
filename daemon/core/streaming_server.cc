#include "daemon/core/streaming_server.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/util/fields.h"
#include "common/util/report.h"
#include "common/util/unique_fd.h"
#include "common/util/unix_socket.h"
#include "daemon/core/daemon.h"
#include "daemon/lifecycle/exit_status.h"
#include "daemon/netlink/scan_block.h"

namespace ww {
namespace {

constexpr int kBacklog = 50;
constexpr size_t kCommandMax = 1023;

[[noreturn]] void Fatal(const char* message, int status) {
  std::fputs(message, stderr);
  std::_Exit(status & 0xff);
}

}  // namespace

void* StreamingScanningThread(void* arg) {
  Daemon& daemon = *static_cast<Daemon*>(arg);
  SetThreadName("StreamingScanningThread");
  const UniqueFd listener(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!listener.Valid()) {
    Fatal("Error: can't create streaming socket.\n", kExitStreamingNoSocket);
  }
  const sockaddr_un address = UnixAddress(daemon.paths.streaming_socket);
  ::unlink(address.sun_path);
  if (::bind(listener.Get(), reinterpret_cast<const sockaddr*>(&address), kUnixAddressLength) !=
      0) {
    Fatal("Error: streaming socket failed to bind.\n", kExitStreamingNoBind);
  }
  if (::listen(listener.Get(), kBacklog) != 0) {
    Fatal("Error: streaming socket failed to listen.\n", kExitStreamingNoListen);
  }
  ::chmod(address.sun_path, 0777);
  UpdateScanBlock(daemon, kScanBlockClear, nullptr);
  for (;;) {
    int accepted = -1;
    do {
      accepted = ::accept4(listener.Get(), nullptr, nullptr, SOCK_CLOEXEC);
    } while (accepted < 0 && errno == EINTR);  // a SIGCHLD is no failure
    if (accepted < 0) {
      char reason[128];
      std::fprintf(stderr, "Error: accept on streaming socket: %s\n",
                   ErrnoText(errno, reason, sizeof reason));
      std::_Exit(kExitStreamingNoAccept & 0xff);
    }
    const UniqueFd client(accepted);
    for (;;) {
      char text[kCommandMax + 1];
      ssize_t got = 0;
      do {
        got = ::read(client.Get(), text, kCommandMax);
      } while (got < 0 && errno == EINTR);
      if (got <= 0) {
        break;
      }
      text[got] = '\0';
      Field words[2] = {};
      int count = 0;
      SplitFields(text, count, words, 2);
      if (std::strcmp(words[0], "streamon") == 0) {
        UpdateScanBlock(daemon, kScanBlockAdd, words[1]);
      } else if (std::strcmp(words[0], "streamoff") == 0) {
        UpdateScanBlock(daemon, kScanBlockRemove, words[1]);
      } else {
        std::fprintf(stderr, "Error: got streaming command that was unidentified (%s) (%d)\n",
                     words[0], static_cast<int>(got));
      }
    }
    // A client that leaves ends every stream it announced.
    UpdateScanBlock(daemon, kScanBlockClear, nullptr);
  }
}

}  // namespace ww
