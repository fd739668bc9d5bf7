// Everything the daemon keeps for the whole run, in one place. main owns the
// single instance; threads receive a pointer to it, and tests build their own
// with their own paths.
#pragma once

#include <signal.h>

#include <array>
#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>

#include "common/util/thread_name.h"
#include "common/util/unique_fd.h"
#include "common/wifiquery/wifi_query.h"
#include "daemon/core/command_slots.h"
#include "daemon/core/query_pool.h"
#include "daemon/core/startup.h"
#include "daemon/lifecycle/daemon_state.h"
#include "daemon/lifecycle/services.h"
#include "daemon/lifecycle/shell.h"
#include "daemon/netlink/raw_channel.h"
#include "daemon/netlink/scan_block.h"
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
  const char* hostapd_conf = "/var/run/softap_hostapd.conf";
  const char* dnsmasq_conf = "/var/run/softap_dnsmasq.conf";
  const char* dnsmasq_log = "/var/log/dnsmasq_ap.log";
  const char* dnsmasq_leases = "/var/run/softap_dnsmasq.leases";
  const char* laststate = "/var/run/wavewarden.laststate";
  const char* default_password = "/etc/softap_password";
  const char* hostname = "/etc/hostname";
  const char* net_route = "/proc/net/route";
  const char* random_device = "/dev/random";
  const char* streaming_socket = "/var/run/wavewarden.streaming.socket";
  const char* block_scans = "/sys/module/cfg80211/parameters/cfg80211_block_scans";
  const char* udc_dir = "/sys/class/udc";
  const char* gadget = "/sys/kernel/config/usb_gadget/g1";
  const char* instance_lock = "/run/wavewarden.lock";
};

inline constexpr const char* kStationInterface = "wlan0";
inline constexpr const char* kApInterface = "wlanap";

// The daemon's reach into the outside world that unit tests replace: the
// shell, the children it starts and the clock.
struct DaemonHooks {
  std::function<int(const char*)> run_command = RunShellCommand;
  std::function<int32_t(const char*)> spawn = SpawnCommand;  // a child not waited for
  std::function<int(pid_t, int)> signal = ::kill;
  // What nl80211 says about an interface.
  std::function<int(WifiQueryContext&, const char*, WifiInfo&)> query = GetWifiInfoOnOwnSocket;
  // Opens a command thread's query context (0 when it is open), with
  // nl80211's id when it is known (> 0).
  std::function<int(WifiQueryContext&, int32_t)> open_query = InitWifiQuery;
  std::function<void(std::chrono::milliseconds)> sleep = [](std::chrono::milliseconds pause) {
    std::this_thread::sleep_for(pause);
  };
};

struct Daemon {
  DaemonPaths paths;
  DaemonHooks hooks;
  DaemonState state;
  CountryCodes country;
  RawChannel nl80211;
  CommandSlots slots;
  QueryPool queries;          // the command threads' open interface queries
  std::mutex laststate_lock;  // the laststate file; never held with state_lock
  // Held while a request that changes the access point (create, test,
  // teardown, refresh, delayrefresh) is recorded, stored and answered, so
  // that the laststate file, the pass and the clients see one order. Taken
  // before laststate_lock and state_lock, never while holding either.
  std::mutex request_lock;
  // The default-passphrase file: read, generated and written by one create
  // at a time, so two creates with "-" agree on the passphrase.
  std::mutex default_password_lock;
  // Replies sent to create, test and teardown requests: the boot replay
  // learns from it whether its request was answered.
  std::atomic<uint64_t> recorded_replies{0};
  ScanBlockTable scan_block;
  int32_t streaming_fd = -1;  // the streaming socket's listener
  // nl80211's id as the raw channel learnt it at start-up (0: unknown).
  // Written before any other thread starts, read by the command threads.
  int32_t query_family = 0;
  std::array<uint8_t, 6> last_bssid{};  // upstream access point; event thread only
  // Held by the operational thread for each pass, and by the stop thread
  // from the moment it stops the services until the process ends, so a stop
  // never runs beside a pass that starts or stops them.
  std::timed_mutex pass_lock;
  // Set by the stop thread: the operational thread runs no further pass.
  std::atomic<bool> stopping{false};
  // How far start-up has come, which tells a stop what to undo.
  std::atomic<StartupStage> startup_stage{StartupStage::kWaitingForInterface};
  UniqueFd held_instance_lock;  // the lock that keeps a second daemon out
};

}  // namespace ww
