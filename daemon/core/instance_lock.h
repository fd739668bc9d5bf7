// The lock that lets only one daemon run: a second one would kill the first
// one's hostapd, take wlanap down and take over both sockets, leaving the
// first running but unreachable.
#pragma once

#include "common/util/unique_fd.h"
#include "daemon/lifecycle/exit_status.h"

namespace ww {

// Opens (or creates) the lock file at `path` and locks it without waiting.
// On success `held` keeps it locked until it is closed, which only the end
// of the process does, and the result is 0. Otherwise writes one line
// saying why to standard error and returns kExitAlreadyRunning. The
// descriptor is closed on exec, so no child keeps the lock after the daemon
// ends.
int TakeInstanceLock(const char* path, UniqueFd& held);

// The lock file may have been deleted under a running daemon: one that still
// answers on its management socket keeps a second one out too. 0 when no
// daemon answers at `socket_path`; otherwise one line on standard error and
// kExitAlreadyRunning.
int RefuseIfServed(const char* socket_path);

}  // namespace ww
