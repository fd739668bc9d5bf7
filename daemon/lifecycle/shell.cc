#include "daemon/lifecycle/shell.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <mutex>
#include <thread>

#include "common/util/unique_fd.h"

extern char** environ;  // NOLINT(readability-redundant-declaration): unistd.h hides it in C++

namespace ww {
namespace {

using Clock = std::chrono::steady_clock;

// How often a waiting runner looks whether the stop wants its command ended.
constexpr std::chrono::milliseconds kCancelPoll{100};
// After SIGKILL a process only survives in uninterruptible sleep; the runner
// does not wait for that for ever.
constexpr std::chrono::seconds kReapLimit{5};
constexpr size_t kMaxGroups = 192;  // 128 command threads and the daemon's own
constexpr size_t kMaxLeftovers = 16;

// The running commands' process groups, so that a stop can end them. A group
// is listed from before its keeper can end until before the runner collects
// the keeper: while listed, its id cannot belong to anyone else.
struct Registry {
  std::mutex lock;
  std::array<pid_t, kMaxGroups> groups{};
  // Keepers that outlived SIGKILL's reap limit, collected later.
  std::array<pid_t, kMaxLeftovers> leftovers{};
  bool stopping = false;
  bool closed = false;
};
Registry g_registry;
std::atomic<bool> g_cancel{false};
thread_local bool t_stop_thread = false;
thread_local void (*t_observer)(void*) = nullptr;
thread_local void* t_observer_context = nullptr;

// The kernel's own sigaction layout (x86-64 and arm64 alike), for the raw
// call: the C library's wrapper, and a sanitizer's, must not run in the
// children below.
struct KernelSigaction {
  void (*handler)(int);
  unsigned long flags;
  void (*restorer)();
  unsigned long mask;
};
constexpr long kKernelSigsetSize = 8;
// Where closing descriptors one by one stops on kernels without close_range.
constexpr int kCloseUpTo = 1024;

void RawSignalAction(int signal_number, void (*handler)(int)) {
  KernelSigaction action{};
  action.handler = handler;
  ::syscall(SYS_rt_sigaction, signal_number, &action, nullptr, kKernelSigsetSize);
}

// The keeper: a child of the daemon made with no exit signal and never
// exec'd, so waitpid(-1) without __WALL, which the child reaper uses, never
// sees it. It leads the command's process group, starts the shell in it,
// waits for the shell and writes the shell's raw wait status into the pipe.
// Both processes are copies of one thread of a multi-threaded daemon, in
// which any library or sanitizer lock may be held: raw system calls only.
[[noreturn]] void Keeper(const char* const* argv, int status_fd, long parent) {
  const unsigned long empty = 0;
  ::syscall(SYS_rt_sigprocmask, SIG_SETMASK, &empty, nullptr, kKernelSigsetSize);
  // The daemon's reaper, copied here, would take the shell's status.
  RawSignalAction(SIGCHLD, SIG_DFL);
  // The deadline's SIGTERM is for the command; the keeper reports on it.
  RawSignalAction(SIGTERM, SIG_IGN);
  // A daemon killed outright takes its keepers along, and with them the
  // instance lock and sockets they hold copies of.
  ::syscall(SYS_prctl, PR_SET_PDEATHSIG, SIGKILL, 0, 0, 0);
  if (::syscall(SYS_getppid) != parent) {
    ::syscall(SYS_exit_group, 0);
  }
  // The shell gets standard input, output and error and nothing else of the
  // daemon's: not its sockets, not the lock.
  if (::syscall(SYS_close_range, 3, status_fd - 1, 0) != 0 && errno == ENOSYS) {
    for (int fd = 3; fd < kCloseUpTo; ++fd) {
      if (fd != status_fd) {
        ::syscall(SYS_close, fd);
      }
    }
  } else {
    ::syscall(SYS_close_range, status_fd + 1, ~0U, 0);
  }
  ::syscall(SYS_setpgid, 0, 0);
  const long shell = ::syscall(SYS_clone, SIGCHLD, nullptr, nullptr, nullptr, nullptr);
  if (shell == 0) {
    RawSignalAction(SIGTERM, SIG_DFL);  // an ignored signal would outlive exec
    ::syscall(SYS_execve, "/bin/sh", argv, environ);
    ::syscall(SYS_exit_group, 127);
  }
  int status = -1;
  if (shell > 0) {
    while (::syscall(SYS_wait4, shell, &status, 0, nullptr) < 0 && errno == EINTR) {
    }
  }
  ::syscall(SYS_write, status_fd, &status, sizeof status);
  ::syscall(SYS_exit_group, 0);
  __builtin_unreachable();
}

// Starts the keeper; its pid (the command's process group) or -1.
pid_t StartKeeper(const char* command, UniqueFd& status_read) {
  const char* argv[] = {"sh", "-c", command, nullptr};
  int fds[2];
  // Close-on-exec: only the keeper holds the write end, so end of file
  // means the keeper has gone.
  if (::pipe2(fds, O_CLOEXEC) != 0) {
    return -1;
  }
  status_read.Reset(fds[0]);
  UniqueFd status_write(fds[1]);
  const long parent = ::getpid();
  long keeper = ::syscall(SYS_clone, 0, nullptr, nullptr, nullptr, nullptr);
  if (keeper < 0 && errno == EINVAL) {
    // User-mode emulators (qemu-user) refuse a fork without SIGCHLD. The
    // reaper may then take the keeper, which is harmless: the status comes
    // through the pipe.
    keeper = ::syscall(SYS_clone, SIGCHLD, nullptr, nullptr, nullptr, nullptr);
  }
  if (keeper == 0) {
    Keeper(argv, status_write.Get(), parent);
  }
  if (keeper > 0) {
    // Also here: the stop may signal the group before the keeper ran.
    (void)::setpgid(static_cast<pid_t>(keeper), static_cast<pid_t>(keeper));
  }
  return keeper > 0 ? static_cast<pid_t>(keeper) : -1;
}

void CollectLeftovers() {
  for (pid_t& pid : g_registry.leftovers) {
    if (pid > 0 && ::waitpid(pid, nullptr, WNOHANG | __WALL) != 0) {
      pid = 0;
    }
  }
}

// A free entry of the group list, or kMaxGroups when all are taken (the
// command then runs unlisted: its deadline still holds).
size_t FreeSlot() {
  for (size_t i = 0; i < kMaxGroups; ++i) {
    if (g_registry.groups[i] == 0) {
      return i;
    }
  }
  return kMaxGroups;
}

void Unlist(size_t slot) {
  if (slot < kMaxGroups) {
    std::lock_guard<std::mutex> lock(g_registry.lock);
    g_registry.groups[slot] = 0;
  }
}

enum class Phase { kRunning, kTerminating, kKilled };

// Reads the shell's status from the keeper with the deadline. False when
// the keeper gave none: it was killed with its group, or outlived even
// SIGKILL's reap limit (`stuck`).
bool AwaitStatus(pid_t group, const UniqueFd& status_read, const char* command,
                 const CommandLimits& limits, int& status, bool& stuck) {
  Phase phase = Phase::kRunning;
  auto next = Clock::now() + limits.deadline;
  stuck = false;
  for (;;) {
    const auto now = Clock::now();
    const bool cancelled = g_cancel.load() && !t_stop_thread;
    if (phase == Phase::kRunning && (now >= next || cancelled)) {
      if (cancelled) {
        std::fprintf(stderr, "Error: %s ended: the daemon is stopping\n", command);
      } else {
        std::fprintf(
            stderr, "Error: %s timed out after %lld s\n", command,
            static_cast<long long>(
                std::chrono::duration_cast<std::chrono::seconds>(limits.deadline).count()));
      }
      (void)::kill(-group, SIGTERM);
      phase = Phase::kTerminating;
      next = now + limits.grace;
    } else if (phase == Phase::kTerminating && now >= next) {
      (void)::kill(-group, SIGKILL);
      phase = Phase::kKilled;
      next = now + kReapLimit;
    } else if (phase == Phase::kKilled && now >= next) {
      std::fprintf(stderr, "Error: %s did not end after SIGKILL\n", command);
      stuck = true;
      return false;
    }
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(next - Clock::now());
    const int wait = static_cast<int>(std::clamp<long long>(left.count(), 0, kCancelPoll.count()));
    pollfd p{status_read.Get(), POLLIN, 0};
    const int ready = ::poll(&p, 1, wait);
    if (ready <= 0) {
      continue;  // a slice passed, or a signal came
    }
    ssize_t got = -1;
    do {
      got = ::read(status_read.Get(), &status, sizeof status);
    } while (got < 0 && errno == EINTR);
    if (got == static_cast<ssize_t>(sizeof status)) {
      // The rest of a group that was told to end gets its grace, then goes.
      if (phase == Phase::kTerminating) {
        std::this_thread::sleep_for(std::max<Clock::duration>(next - Clock::now(), {}));
      }
      if (phase != Phase::kRunning) {
        (void)::kill(-group, SIGKILL);
      }
      return true;
    }
    return false;  // end of file: the keeper went without a word
  }
}

int Run(const char* command, CommandLimits limits) {
  if (t_stop_thread) {
    limits.deadline = std::min<std::chrono::milliseconds>(limits.deadline, kStopCommandDeadline);
    limits.grace = std::min<std::chrono::milliseconds>(limits.grace, kStopCommandGrace);
  }
  UniqueFd status_read;
  size_t slot = kMaxGroups;
  pid_t group = -1;
  {
    std::lock_guard<std::mutex> lock(g_registry.lock);
    CollectLeftovers();
    // Admitted and started under the lock: a stop either refuses the
    // command or finds its group listed.
    if (g_registry.closed || (g_registry.stopping && !t_stop_thread)) {
      std::fprintf(stderr, "Error: %s not run: the daemon is stopping\n", command);
      return -1;
    }
    group = StartKeeper(command, status_read);
    if (group <= 0) {
      return -1;
    }
    slot = FreeSlot();
    if (slot < kMaxGroups) {
      g_registry.groups[slot] = group;
    }
  }
  if (limits.group != nullptr) {
    limits.group->store(group);
  }
  int status = -1;
  bool stuck = false;
  const bool reported = AwaitStatus(group, status_read, command, limits, status, stuck);
  if (limits.group != nullptr) {
    limits.group->store(0);
  }
  Unlist(slot);
  if (stuck) {
    // Still this daemon's child, so its id cannot be reused until a later
    // command collects it.
    std::lock_guard<std::mutex> lock(g_registry.lock);
    for (pid_t& leftover : g_registry.leftovers) {
      if (leftover == 0) {
        leftover = group;
        break;
      }
    }
    return -1;
  }
  int keeper_status = 0;
  pid_t got = -1;
  do {
    got = ::waitpid(group, &keeper_status, __WALL);
  } while (got < 0 && errno == EINTR);
  if (!reported) {
    // Killed with its group before the shell ended: the signal stands for
    // the shell's status.
    status = got == group && WIFSIGNALED(keeper_status) ? WTERMSIG(keeper_status) : -1;
  }
  return status;
}

}  // namespace

void ReapChildren(int /*signal_number*/) {
  const int saved = errno;  // the interrupted code may be about to read errno
  while (waitpid(-1, nullptr, WNOHANG) > 0) {
  }
  errno = saved;
}

void InstallChildReaper() {
  struct sigaction action {};
  action.sa_handler = ReapChildren;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART | SA_NOCLDSTOP;
  sigaction(SIGCHLD, &action, nullptr);
}

int RunShellCommand(const char* command) {
  return RunShellCommandWith(command, CommandLimits{});
}

int RunShellCommandWith(const char* command, const CommandLimits& limits) {
  const int status = Run(command, limits);
  std::fprintf(stderr, "# %s = %d\n", command, status);
  if (t_observer != nullptr) {
    t_observer(t_observer_context);
  }
  return status;
}

void SetCommandObserver(void (*observer)(void*), void* context) {
  t_observer = observer;
  t_observer_context = context;
}

bool CommandWasEnded(int status) {
  return status == -1 || WIFSIGNALED(status);
}

void CancelCommandsForStop() {
  t_stop_thread = true;
  std::lock_guard<std::mutex> lock(g_registry.lock);
  g_registry.stopping = true;
  g_cancel.store(true);
}

void EndAllCommands() {
  std::lock_guard<std::mutex> lock(g_registry.lock);
  g_registry.closed = true;
  g_cancel.store(true);
  for (const pid_t group : g_registry.groups) {
    if (group > 0) {
      (void)::kill(-group, SIGKILL);
    }
  }
}

}  // namespace ww
