#include "daemon/lifecycle/hostapd_supervisor.h"

#include "daemon/lifecycle/services.h"

namespace ww {

int32_t HostapdSupervisor::Adopt(const char* proc_root) {
  pid_ = FindHostapdPid(proc_root);
  return pid_;
}

bool HostapdSupervisor::Runs(const char* proc_root) const {
  return ProcessRunsExecutable(pid_, "/hostapd", proc_root);
}

HostapdSupervisor::Health HostapdSupervisor::Check(const char* proc_root) {
  if (Runs(proc_root)) {
    return Health::kRunning;
  }
  const int32_t found = FindHostapdPid(proc_root);
  if (found == pid_) {
    ++failures_;
    return Health::kFailed;
  }
  pid_ = found;
  return Health::kRunning;
}

SwitchResult HostapdSupervisor::Switch(const SwitchExchange& exchange, const ChannelLayout& target,
                                       int frequency) const {
  return exchange(control_path_, ChanSwitchCommand(target), frequency);
}

}  // namespace ww
