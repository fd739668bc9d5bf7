// A daemon for unit tests that never reaches the machine: every file path
// points into a scratch folder, the shell is a recorder, and sleeps only
// count. Tests that mean to run a command or sleep say so.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "daemon/core/daemon.h"
#include "tests/unit/temp_dir.h"

namespace ww::testing {

class TestDaemon : public Daemon {
 public:
  TestDaemon() {
    const auto at = [this](const char* name) {
      storage_.push_back(scratch.Path(name));
      return storage_.back().c_str();
    };
    storage_.reserve(32);
    paths.management_socket = at("wavewarden.socket");
    paths.hostapd_log = at("hostapd.log");
    paths.dnsmasq_pid = at("softap_dnsmasq.pid");
    paths.old_diplexer_marker = at("zzzOldDiplexer");
    paths.device_tree_model = at("model");
    paths.cache_domain = at("softap_cache_domain");
    paths.hostapd_conf = at("softap_hostapd.conf");
    paths.dnsmasq_conf = at("softap_dnsmasq.conf");
    paths.dnsmasq_log = at("dnsmasq_ap.log");
    paths.dnsmasq_leases = at("softap_dnsmasq.leases");
    paths.laststate = at("wavewarden.laststate");
    paths.default_password = at("softap_password");
    paths.hostname = at("hostname");
    paths.net_route = at("route");
    paths.random_device = "/dev/urandom";
    paths.streaming_socket = at("wavewarden.streaming.socket");
    paths.block_scans = at("cfg80211_block_scans");
    paths.udc_dir = at("udc");
    paths.gadget = at("g1");
    paths.instance_lock = at("wavewarden.lock");
    state.hostapd.set_control_path(at("hostapd-wlanap"));
    // An empty process table of our own: made-up entries never name real
    // processes, and signals are only recorded.
    paths.proc_root = at("proc");
    (void)::mkdir(paths.proc_root, 0755);
    hooks.signal = [this](pid_t pid, int signal_number) {
      std::lock_guard<std::mutex> lock(record_lock);
      signals.emplace_back(pid, signal_number);
      return 0;
    };
    hooks.run_command = [this](const char* command) {
      std::lock_guard<std::mutex> lock(record_lock);
      commands.emplace_back(command);
      return command_status;
    };
    hooks.run_marked = [this](const char* command, std::atomic<int32_t>& /*group*/) {
      return hooks.run_command(command);
    };
    hooks.spawn = [this](const char* command) {
      std::lock_guard<std::mutex> lock(record_lock);
      spawned.emplace_back(command);
      return spawn_pid;
    };
    hooks.query = [this](WifiQueryContext& /*ctx*/, const char* name, WifiInfo& out) {
      std::lock_guard<std::mutex> lock(record_lock);
      queried.emplace_back(name);
      const auto it = interfaces.find(name);
      if (it == interfaces.end()) {
        return -1;
      }
      out = it->second;
      return 0;
    };
    hooks.switch_channel = [this](const char* /*control*/, const std::string& command,
                                  int /*frequency*/) {
      std::lock_guard<std::mutex> lock(record_lock);
      switches.push_back(command);
      return switch_result;
    };
    hooks.scan_results = [this](RawChannel& /*channel*/, const char* /*ifname*/) {
      std::lock_guard<std::mutex> lock(record_lock);
      return scan;
    };
    hooks.sleep = [this](std::chrono::milliseconds pause) {
      std::lock_guard<std::mutex> lock(record_lock);
      slept += pause;
    };
  }

  // A made-up process entry of the daemon's process table whose executable
  // link points at `target`; false when it could not be made.
  bool FakeProcess(int pid, const std::string& target) {
    const std::string dir = std::string(paths.proc_root) + "/" + std::to_string(pid);
    (void)::mkdir(dir.c_str(), 0755);
    return ::symlink(target.c_str(), (dir + "/exe").c_str()) == 0;
  }
  void RemoveFakeProcess(int pid) {
    const std::string dir = std::string(paths.proc_root) + "/" + std::to_string(pid);
    (void)::unlink((dir + "/exe").c_str());
    (void)::rmdir(dir.c_str());
  }

  // The path of a file of the scratch folder, e.g. File("hostname").
  std::string File(const std::string& name) const { return scratch.Path(name); }

  TempDir scratch;
  std::mutex record_lock;
  std::vector<std::string> commands;  // what the shell was asked to run
  int command_status = 0;             // what every command returns
  std::vector<std::string> spawned;   // children it was asked to start
  int32_t spawn_pid = -1;             // what every start returns
  std::chrono::milliseconds slept{0};
  std::map<std::string, WifiInfo> interfaces;  // what the interface query answers
  std::vector<std::string> queried;
  std::vector<std::pair<pid_t, int>> signals;
  std::vector<std::string> switches;  // channel switches asked of hostapd
  SwitchResult switch_result = SwitchResult::kNoControlSocket;
  std::vector<SeenNetwork> scan;  // the station's scan results

 private:
  std::vector<std::string> storage_;
};

}  // namespace ww::testing
