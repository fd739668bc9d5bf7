#include "daemon/core/command_server.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "common/util/report.h"
#include "common/util/unique_fd.h"
#include "common/util/unix_socket.h"
#include "common/wifiquery/wifi_query.h"
#include "daemon/core/daemon.h"
#include "daemon/core/dispatch.h"
#include "daemon/core/refusal_log.h"

namespace ww {
namespace {

class SocketSink : public ReplySink {
 public:
  explicit SocketSink(int fd) : fd_(fd) {}
  void Send(const char* data, size_t length) override {
    // A client that has gone raises no signal; the result does not matter.
    (void)::send(fd_, data, length, MSG_NOSIGNAL);
  }

 private:
  int fd_;
};

// Whether the peer of `fd` is the boot replay's wavectl: it runs in the
// replay command's process group.
bool FromReplay(int fd, const Daemon& daemon) {
  const int32_t group = daemon.replay_group.load();
  if (group <= 0) {
    return false;
  }
  ucred peer{};
  socklen_t length = sizeof peer;
  if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0 || peer.pid <= 0) {
    return false;
  }
  return ::getpgid(peer.pid) == group;
}

}  // namespace

int OpenManagementSocket(const char* path, int& fd) {
  UniqueFd sock(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!sock.Valid()) {
    std::fprintf(stderr, "Error: management socket not created.\n");
    return kExitSocketNotCreated;
  }
  const sockaddr_un addr = UnixAddress(path);
  ::unlink(addr.sun_path);  // a stale file of an earlier run would fail the bind
  if (::bind(sock.Get(), reinterpret_cast<const sockaddr*>(&addr), kUnixAddressLength) != 0) {
    std::fprintf(stderr, "Error: management socket failed to bind.\n");
    return kExitBindFailed;
  }
  if (::listen(sock.Get(), kListenBacklog) != 0) {
    std::fprintf(stderr, "Error: management socket failed to listen.\n");
    return kExitListenFailed;
  }
  fd = sock.Release();
  return 0;
}

void* HandleCommandThread(void* arg) {
  const SlotArg& slot = *static_cast<SlotArg*>(arg);
  CommandSlots& slots = slot.daemon->slots;
  SetThreadName("HandleCommandThread");
  const int fd = slots.socket[slot.index];

  timeval timeout{1, 0};
  (void)::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  (void)::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);

  // Opened by the first command that needs it when the pool has none free
  // (OpenQuery).
  WifiQueryContext query{};

  char request[kRequestMax + 1];
  const ssize_t got = ::read(fd, request, kRequestMax);
  if (got < 0) {
    std::fprintf(stderr, "read(...) failed with code %d\n", static_cast<int>(got));
  } else {
    request[got] = '\0';
    CommandEnv env{*slot.daemon, query, kQueryClosed};
    env.from_replay = FromReplay(fd, *slot.daemon);
    SocketSink sink(fd);
    ExecuteRequest(env, request, static_cast<size_t>(got), sink);
    CloseQuery(env);
  }

  ReleaseWifiQuery(query);
  ::close(fd);
  // The last action: from here on main may join this thread and reuse the slot.
  slots.state[slot.index].store(kSlotFinished);
  return nullptr;
}

int StartDefaultThread(pthread_t* thread, void* (*body)(void*), void* arg) {
  return pthread_create(thread, nullptr, body, arg);
}

namespace {

void ReportRefusals(uint64_t count) {
  if (count == 0) {
    return;
  }
  char line[128];
  FormatRefusal(count, line, sizeof line);
  std::fputs(line, stderr);
}

// Waits until a connection is waiting or `due` has come: poll's result (0
// once `due` has come).
int WaitForConnection(int listen_fd, RefusalLog::Clock::time_point due) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(due - RefusalLog::Clock::now());
  if (left.count() <= 0) {
    return 0;
  }
  pollfd listener{listen_fd, POLLIN, 0};
  return ::poll(&listener, 1, static_cast<int>(left.count()));
}

}  // namespace

int ServeManagementSocket(Daemon& daemon, int listen_fd, ThreadStarter start_thread) {
  CommandSlots& slots = daemon.slots;
  RefusalLog refusals;
  for (;;) {
    // Refusals held back are reported after a second even when no further
    // connection comes, so the journal learns how many there were.
    if (const auto due = refusals.Due()) {
      const int ready = WaitForConnection(listen_fd, *due);
      if (ready == 0) {
        ReportRefusals(refusals.OnQuiet(RefusalLog::Clock::now()));
        continue;
      }
      if (ready < 0 && errno == EINTR) {
        continue;
      }
      // Otherwise accept takes the connection, or reports the failure.
    }
    const int conn = ::accept4(listen_fd, nullptr, nullptr, SOCK_CLOEXEC);
    if (conn < 0) {
      if (errno == EINTR) {
        continue;
      }
      char buf[128];
      std::fprintf(stderr, "Error: accept: %s\n", ErrnoText(errno, buf, sizeof buf));
      return kExitAcceptFailed;
    }
    const int index = FindFreeSlot(slots);
    if (index < 0) {
      ::close(conn);
      ReportRefusals(refusals.OnRefusal(RefusalLog::Clock::now()));
      continue;
    }
    ReportRefusals(refusals.OnQuiet(RefusalLog::Clock::now()));
    slots.state[index].store(kSlotBusy);
    slots.socket[index] = conn;
    slots.arg[index] = SlotArg{&daemon, index};
    const int err = start_thread(&slots.thread[index], HandleCommandThread, &slots.arg[index]);
    if (err != 0) {
      // Without its thread the slot would stay busy for ever: give it back.
      ::close(conn);
      slots.state[index].store(kSlotFree);
      char buf[128];
      std::fprintf(stderr, "Error: could not start command thread: %s\n",
                   ErrnoText(err, buf, sizeof buf));
    }
  }
}

}  // namespace ww
