// The hostapd the daemon runs: its pid and its control socket, in one place,
// so that the launch, the health check, the stop and the channel switch all
// mean the same hostapd.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "daemon/hostapd/channel_switch.h"
#include "daemon/hostapd/hostapd_config.h"

namespace ww {

// hostapd's control socket for wlanap ("ctrl_interface=" of its file).
inline constexpr const char* kHostapdControl = "/var/run/hostapd/wlanap";

// Sends a command to a control socket and waits for the completion on a
// frequency; the unit tests replace it.
using SwitchExchange = std::function<SwitchResult(const char*, const std::string&, int)>;

class HostapdSupervisor {
 public:
  enum class Health { kRunning, kFailed };

  // The pid last found (0 before the first launch, -1 when none was found).
  int32_t pid() const { return pid_; }
  // Checks that found no hostapd, since the daemon started.
  uint32_t failures() const { return failures_; }
  const char* control_path() const { return control_path_; }
  void set_control_path(const char* path) { control_path_ = path; }
  // Takes `pid` as the supervised hostapd (the start-up record, tests).
  void Track(int32_t pid) { pid_ = pid; }

  // After a launch: the shell backgrounds hostapd, so it is found by name.
  int32_t Adopt(const char* proc_root);
  bool Runs(const char* proc_root) const;
  // kRunning while the pid runs, or when another hostapd (a late start of
  // the shell) can be adopted instead; otherwise counts a failure.
  Health Check(const char* proc_root);
  // Moves the running access point to `target` on `frequency` by a channel
  // switch announcement through the control socket.
  SwitchResult Switch(const SwitchExchange& exchange, const ChannelLayout& target,
                      int frequency) const;

 private:
  int32_t pid_ = 0;
  uint32_t failures_ = 0;
  const char* control_path_ = kHostapdControl;
};

}  // namespace ww
