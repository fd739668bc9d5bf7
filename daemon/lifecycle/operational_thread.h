// The operational thread: the only thread that changes the access point. It
// runs one pass per wake-up of DaemonState::wake_semaphore, and one every 20
// seconds without any, which makes the pass the periodic supervisor.
#pragma once

#include <string>

#include "daemon/lifecycle/exit_status.h"

namespace ww {

struct ApRuntime;
struct WifiQueryContext;

inline constexpr int kSupervisionPeriodSeconds = 20;

// Thread body; `arg` is the ApRuntime. Returns only once the daemon is stopping.
void* OperationalThread(void* arg);

// Private variables of the thread that survive from pass to pass.
struct OperationalVars {
  double last_frequency = 0;        // -1 forces a channel decision
  double remembered_frequency = 0;  // assumed while the station is unconnected
  std::string upstream_ssid;        // the station's network, when it was last connected
  int ap_frequency = 0;             // of the last hostapd configuration written, MHz
  bool launch_needed = true;
  bool stop_first = true;
  bool pending_error = false;
  char error_text[1024] = {};
  char default_route_iface[128] = {};  // kept when a pass finds no default route
  char last_default_route_iface[128] = {};
  // firewall-cmd hung until its deadline in this pass: a stuck firewalld
  // would hold every later call as long, so the pass runs no more of them.
  bool firewall_ended = false;
};

// One pass after the wake-up: consumes the requests and acts on them.
void RunOperationalPass(ApRuntime& runtime, OperationalVars& vars, WifiQueryContext& query);

}  // namespace ww
