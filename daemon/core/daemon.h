// Everything the daemon keeps for the whole run, in one place. main owns the
// single instance; threads receive a pointer to it, and tests build their own
// with their own paths.
#pragma once

#include "common/util/thread_name.h"
#include "daemon/core/command_slots.h"
#include "daemon/lifecycle/daemon_state.h"
#include "daemon/netlink/raw_channel.h"
#include "daemon/regulatory/country_code.h"

namespace ww {

// Every fixed path the daemon touches. The shipped daemon uses these
// defaults; tests point them elsewhere.
struct DaemonPaths {
  const char* management_socket = "/var/run/wavewarden.socket";
  const char* hostapd_log = "/var/log/hostapd.log";
  const char* dnsmasq_pid = "/var/run/softap_dnsmasq.pid";
  const char* old_diplexer_marker = "/root/zzzOldDiplexer";
  const char* device_tree_model = "/proc/device-tree/model";
  const char* proc_root = "/proc";
  const char* cache_domain = "/etc/softap_cache_domain";
};

inline constexpr const char* kStationInterface = "wlan0";
inline constexpr const char* kApInterface = "wlanap";

struct Daemon {
  DaemonPaths paths;
  DaemonState state;
  CountryCodes country;
  RawChannel nl80211;
  CommandSlots slots;
};

}  // namespace ww
