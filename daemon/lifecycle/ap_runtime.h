// What the access point's lifecycle shares across the daemon's threads: the
// paths, the outside world's hooks, the shared state, the country record and
// the raw nl80211 channel. The daemon's record (core) extends it; tests build
// their own with their own paths.
#pragma once

#include <net/if.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "common/util/interfaces.h"
#include "common/wifiquery/wifi_query.h"
#include "daemon/lifecycle/daemon_state.h"
#include "daemon/lifecycle/hostapd_supervisor.h"
#include "daemon/lifecycle/service_notify.h"
#include "daemon/lifecycle/services.h"
#include "daemon/lifecycle/shell.h"
#include "daemon/netlink/raw_channel.h"
#include "daemon/netlink/upstream_scan.h"
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

// The daemon's reach into the outside world that unit tests replace: the
// shell, the children it starts and the clock.
struct DaemonHooks {
  std::function<int(const char*)> run_command = RunShellCommand;
  // The same, with the command's process group in `group` while it runs.
  std::function<int(const char*, std::atomic<int32_t>&)> run_marked =
      [](const char* command, std::atomic<int32_t>& group) {
        return RunShellCommandWith(command, CommandLimits{.group = &group});
      };
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
  // The scan results of an interface; none when it is missing.
  std::function<std::vector<SeenNetwork>(RawChannel&, const char*)> scan_results =
      [](RawChannel& channel, const char* ifname) {
        const unsigned ifindex = ::if_nametoindex(ifname);
        return ifindex == 0 ? std::vector<SeenNetwork>{} : DumpScanResults(channel, ifindex);
      };
  // A channel switch of the running hostapd, through its control socket.
  SwitchExchange switch_channel = [](const char* control, const std::string& command,
                                     int frequency) {
    return SwitchChannel(control, command, frequency);
  };
};

struct ApRuntime {
  DaemonPaths paths;
  DaemonHooks hooks;
  DaemonState state;
  CountryCodes country;
  RawChannel nl80211;
  // Held by the operational thread for each pass, and by the stop thread
  // from the moment it stops the services until the process ends, so a stop
  // never runs beside a pass that starts or stops them.
  std::timed_mutex pass_lock;
  // Set by the stop thread: the operational thread runs no further pass.
  std::atomic<bool> stopping{false};
  // Whether the board has the old diplexer: -1 not yet known, 0 no, 1 yes.
  std::atomic<int32_t> old_diplexer{-1};
  // The service manager, when one started the daemon: readiness, the
  // watchdog and the state in one line.
  ServiceNotifier notifier;
};

// Country adoption for this runtime: a new code asks the operational thread
// for a refresh.
CountrySetting CountrySettingOf(ApRuntime& runtime);
void ApplyCountryCode(ApRuntime& runtime, const char* code, int priority);
void ResolveCountryAtBoot(ApRuntime& runtime, const BootSteps& steps);

// The current country code (at least 4 bytes, NUL-terminated).
void ResolveCountryCode(ApRuntime& runtime, char* buffer);

// Runs the 6 GHz check and stores no_6ghz, noir_mode and
// hidden_ssid_blocked in the state. Operational thread.
void CheckSixGhzAvailability(ApRuntime& runtime);

// Writes hostapd's configuration for `frequency` from the state's request
// and credentials. Operational thread.
void CreateHostapdConfig(ApRuntime& runtime, int frequency, const char* path);

}  // namespace ww
