#include "daemon/core/startup.h"

#include <net/if.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "common/util/unique_fd.h"
#include "daemon/core/daemon.h"
#include "daemon/core/fields.h"
#include "daemon/lifecycle/services.h"

namespace ww {

void WaitForInterface(const char* name) {
  while (if_nametoindex(name) == 0) {
    std::printf("%s does not exist, sleeping\n", name);
    std::this_thread::sleep_for(std::chrono::seconds(1));
  }
}

bool ModelNamesOldDiplexer(const char* model) {
  return std::strstr(model, "BRD-K") != nullptr || std::strstr(model, "BRD-J") != nullptr ||
         std::strstr(model, "BRD-H") != nullptr;
}

bool DetectOldDiplexer(const char* marker_path, const char* model_path) {
  if (access(marker_path, F_OK) == 0) {
    return true;
  }
  std::FILE* file = std::fopen(model_path, "re");
  if (file == nullptr) {
    std::fprintf(stderr, "Failed to open %s\n", model_path);
    return false;
  }
  char model[256];
  const size_t got = std::fread(model, 1, sizeof model - 1, file);
  std::fclose(file);
  if (got == 0) {
    std::fprintf(stderr, "Failed to read %s or file is empty\n", model_path);
    return false;
  }
  model[got] = '\0';
  return ModelNamesOldDiplexer(model);
}

bool OldDiplexerPresent(const DaemonPaths& paths) {
  static std::atomic<int32_t> cached{-1};
  const int32_t known = cached.load();
  if (known != -1) {
    return known != 0;
  }
  const bool present = DetectOldDiplexer(paths.old_diplexer_marker, paths.device_tree_model);
  cached.store(present ? 1 : 0);
  return present;
}

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

int32_t ReadEarlierDnsmasqPid(const char* pid_path, const char* proc_root) {
  char text[256] = {};
  int32_t pid = -1;
  if (ReadSmallFile(pid_path, text, sizeof text) != 0) {
    int value = 0;
    if (std::sscanf(text, "%d", &value) == 1) {
      pid = value;
    }
  }
  // A recycled id must never be killed as if it were our dnsmasq.
  if (!ProcessRunsExecutable(pid, "/dnsmasq", proc_root)) {
    pid = -1;
  }
  return pid;
}

}  // namespace ww
