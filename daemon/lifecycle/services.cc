#include "daemon/lifecycle/services.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "daemon/core/daemon.h"

namespace ww {

bool ProcessRunsExecutable(int32_t pid, const char* name, const char* proc_root) {
  if (pid <= 0) {
    return false;
  }
  char link[128];
  std::snprintf(link, sizeof link, "%s/%d/exe", proc_root, pid);
  char target[4096];
  const ssize_t len = ::readlink(link, target, sizeof target - 1);
  const size_t name_len = std::strlen(name);
  if (len < 0 || static_cast<size_t>(len) < name_len) {
    return false;
  }
  return std::memcmp(target + len - name_len, name, name_len) == 0;
}

// Killing and relaunching the services arrives with the lifecycle work.
void StopServices(Daemon& /*daemon*/) {}

void CleanupServices(Daemon& /*daemon*/) {}

}  // namespace ww
