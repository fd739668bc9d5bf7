#include "daemon/lifecycle/shell.h"

#include <pthread.h>
#include <signal.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace ww {
namespace {
std::mutex g_shell_lock;
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
  int status = 0;
  {
    // Two commands at once could restore each other's default action and
    // leave the reaper uninstalled for good.
    std::lock_guard<std::mutex> lock(g_shell_lock);
    sigset_t block;
    sigset_t previous_mask;
    sigemptyset(&block);
    sigaddset(&block, SIGCHLD);
    pthread_sigmask(SIG_BLOCK, &block, &previous_mask);
    struct sigaction default_action {};
    struct sigaction saved {};
    default_action.sa_handler = SIG_DFL;
    sigemptyset(&default_action.sa_mask);
    sigaction(SIGCHLD, &default_action, &saved);

    status = std::system(command);  // NOLINT(cert-env33-c, concurrency-mt-unsafe): serialised

    sigaction(SIGCHLD, &saved, nullptr);
    pthread_sigmask(SIG_SETMASK, &previous_mask, nullptr);
    // A child (dnsmasq) that ended while the default action was in place
    // sent its signal to nobody; collect it now that no shell is waited for.
    if (saved.sa_handler == ReapChildren) {
      ReapChildren(SIGCHLD);
    }
  }
  std::fprintf(stderr, "# %s = %d\n", command, status);
  return status;
}

}  // namespace ww
