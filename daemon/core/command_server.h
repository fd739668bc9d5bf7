// The management socket: binding, the accept loop and the command threads.
#pragma once

#include <pthread.h>

#include "daemon/lifecycle/exit_status.h"

namespace ww {

struct Daemon;

inline constexpr int kListenBacklog = 50;

// Creates the socket, removes a stale file at `path` and binds and listens.
// On success stores the listening descriptor in `fd` and returns 0; otherwise
// prints the failure and returns the daemon's exit status for it.
int OpenManagementSocket(const char* path, int& fd);

// Starts a thread; pthread_create's contract. Replaceable so tests can make
// thread creation fail.
using ThreadStarter = int (*)(pthread_t* thread, void* (*body)(void*), void* arg);
int StartDefaultThread(pthread_t* thread, void* (*body)(void*), void* arg);

// Accepts connections for ever, each served by a command thread in a free
// slot. Returns only when accept fails, with kExitAcceptFailed.
int ServeManagementSocket(Daemon& daemon, int listen_fd,
                          ThreadStarter start_thread = StartDefaultThread);

// Command thread body; `arg` is the slot's SlotArg.
void* HandleCommandThread(void* arg);

}  // namespace ww
