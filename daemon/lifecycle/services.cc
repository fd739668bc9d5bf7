#include "daemon/lifecycle/services.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/types.h>
#include <unistd.h>
#include <wordexp.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "common/util/format.h"
#include "common/util/interfaces.h"
#include "common/util/report.h"
#include "common/util/unique_fd.h"
#include "common/util/unique_file.h"
#include "daemon/lifecycle/ap_runtime.h"
#include "daemon/lifecycle/operational_thread.h"

namespace ww {
namespace {

constexpr const char* kKillHostapd = "killall hostapd 2> /dev/null || true";
constexpr const char* kApDown = "ifconfig %s down 2> /dev/null";
// Debug flags, configuration, log. Written for any POSIX shell: the output
// redirection must not rely on bash.
constexpr const char* kHostapdCommand = "hostapd %s %s > %s 2>&1 &";
// Pid file, configuration, leases, log.
constexpr const char* kDnsmasqCommand =
    "dnsmasq -k -x %s -C %s -l %s --log-facility %s --log-debug";
constexpr const char* kDnsmasqTemplate =
    "interface=%s\nexcept-interface=lo\ndhcp-range=10.35.78.20,10.35.78.30,12h\nbind-interfaces\n%"
    "s";

constexpr int kTermPolls = 2000;
constexpr int kKillPolls = 1000;
constexpr size_t kCommandSize = 8192;

bool PositiveNumber(const char* name) {
  if (*name == '\0' || *name == '0') {
    return false;
  }
  for (const char* p = name; *p != '\0'; ++p) {
    if (std::isdigit(static_cast<unsigned char>(*p)) == 0) {
      return false;
    }
  }
  return true;
}

bool DnsmasqRoute(int32_t route) {
  return route == kRouteNone || route == kRouteNat;
}

bool WriteDnsmasqConfig(const char* path, int32_t route) {
  char text[512];
  const size_t length = DnsmasqConfig(route, text, sizeof text);
  UniqueFile f(std::fopen(path, "we"));
  if (f == nullptr) {
    char reason[128];
    std::fprintf(stderr, "Error: could not write %s: %s\n", path,
                 ErrnoText(errno, reason, sizeof reason));
    return false;
  }
  const bool written = std::fwrite(text, 1, length, f.get()) == length;
  // Closed here: a write that fails only when flushed is a failure too.
  if (std::fclose(f.release()) != 0 || !written) {
    std::fprintf(stderr, "Error: could not write %s\n", path);
    return false;
  }
  return true;
}

}  // namespace

int32_t SpawnCommand(const char* command) {
  wordexp_t words{};
  // Only the operational thread splits commands.
  if (::wordexp(command, &words, WRDE_NOCMD) != 0) {  // NOLINT(concurrency-mt-unsafe)
    return -1;
  }
  int32_t pid = -1;
  int pipe_fds[2];
  // Close-on-exec on both ends: end of file arrives as soon as the exec
  // succeeds, whatever dnsmasq does with inherited descriptors.
  if (words.we_wordc > 0 && ::pipe2(pipe_fds, O_CLOEXEC) == 0) {
    UniqueFd read_end(pipe_fds[0]);
    UniqueFd write_end(pipe_fds[1]);
    const pid_t child = ::fork();
    if (child == 0) {
      // The child only execs or reports why it could not; the exec closes
      // both ends. The signals the daemon's threads leave to its stop thread
      // must not stay blocked in hostapd or dnsmasq.
      sigset_t none;
      sigemptyset(&none);
      ::pthread_sigmask(SIG_SETMASK, &none, nullptr);
      ::execvp(words.we_wordv[0], words.we_wordv);
      const int err = errno;
      (void)!::write(write_end.Get(), &err, sizeof err);
      ::_exit(127);
    }
    write_end.Reset();
    if (child > 0) {
      int err = 0;
      ssize_t got = 0;
      do {
        got = ::read(read_end.Get(), &err, sizeof err);
      } while (got < 0 && errno == EINTR);
      if (got == 0) {
        pid = child;
      }
    }
  }
  ::wordfree(&words);
  return pid;
}

namespace {

void PublishRunning(DaemonState& ds) {
  std::lock_guard<std::mutex> lock(ds.state_lock);
  FormatCut(ds.text, sizeof ds.text, "SoftAP Running\t%s\t%s", ds.ssid, ds.password);
}

}  // namespace

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

int32_t FindHostapdPid(const char* proc_root) {
  char dir_path[128];
  std::snprintf(dir_path, sizeof dir_path, "%s/.", proc_root);
  const UniqueDir dir(::opendir(dir_path));
  if (dir == nullptr) {
    return -1;
  }
  int32_t found = -1;
  // The stream is this call's own, which is all readdir needs.
  while (const dirent* entry = ::readdir(dir.get())) {  // NOLINT(concurrency-mt-unsafe)
    if (!PositiveNumber(entry->d_name)) {
      continue;
    }
    const long pid = std::strtol(entry->d_name, nullptr, 10);
    if (pid > 0 && pid <= INT32_MAX &&
        ProcessRunsExecutable(static_cast<int32_t>(pid), "/hostapd", proc_root)) {
      found = static_cast<int32_t>(pid);
      break;
    }
  }
  return found;
}

void SoftKill(ApRuntime& runtime, int32_t pid, const char* name) {
  std::fprintf(stderr, "soft killing pid:%d name:%s\n", pid, name);
  const char* proc = runtime.paths.proc_root;
  if (pid <= 0 || !ProcessRunsExecutable(pid, name, proc)) {
    return;
  }
  const auto poll = [&](int polls) {
    for (int i = 0; i < polls; ++i) {
      if (!ProcessRunsExecutable(pid, name, proc)) {
        return true;
      }
      std::fprintf(stderr, "%s running at %d ms\n", name, i);
      runtime.hooks.sleep(std::chrono::milliseconds(1));
    }
    return false;
  };
  runtime.hooks.signal(pid, SIGTERM);
  if (poll(kTermPolls)) {
    return;
  }
  runtime.hooks.signal(pid, SIGKILL);
  (void)poll(kKillPolls);
}

namespace {

// Ends hostapd and the daemon's dnsmasq. A pass reports a failed killall
// and lets dnsmasq's port settle; the start-up clean-up does neither.
void EndServices(ApRuntime& runtime, bool report, std::chrono::milliseconds settle) {
  DaemonState& ds = runtime.state;
  const int status = runtime.hooks.run_command(kKillHostapd);
  if (report && status != 0) {
    std::fprintf(stderr, "Error %d executing %s\n", status, kKillHostapd);
  }
  if (ds.dnsmasq_pid != -1 &&
      ProcessRunsExecutable(ds.dnsmasq_pid, "/dnsmasq", runtime.paths.proc_root)) {
    SoftKill(runtime, ds.dnsmasq_pid, "/dnsmasq");
    if (settle.count() > 0) {
      runtime.hooks.sleep(settle);
    }
    ds.dnsmasq_pid = -1;
  }
}

}  // namespace

void StopServices(ApRuntime& runtime) {
  EndServices(runtime, true, std::chrono::milliseconds(250));
}

void CleanupServices(ApRuntime& runtime) {
  EndServices(runtime, false, std::chrono::milliseconds(0));
  char command[128];
  FormatCut(command, sizeof command, kApDown, kApInterface);
  (void)runtime.hooks.run_command(command);
}

std::string HostapdCommand(const DaemonPaths& paths, bool debug) {
  char command[kCommandSize];
  FormatCut(command, sizeof command, kHostapdCommand, debug ? "-d -K" : "", paths.hostapd_conf,
            paths.hostapd_log);
  return command;
}

std::string DnsmasqCommand(const DaemonPaths& paths) {
  char command[kCommandSize];
  FormatCut(command, sizeof command, kDnsmasqCommand, paths.dnsmasq_pid, paths.dnsmasq_conf,
            paths.dnsmasq_leases, paths.dnsmasq_log);
  return command;
}

size_t DnsmasqConfig(int32_t route, char* out, size_t size) {
  // noroute offers clients neither a router nor a DNS server.
  const char* tail = route == kRouteNone ? "dhcp-option=3\ndhcp-option=6\n" : "";
  return FormatCut(out, size, kDnsmasqTemplate, kApInterface, tail);
}

void LaunchServices(ApRuntime& runtime, int32_t route, OperationalVars& vars) {
  DaemonState& ds = runtime.state;
  std::fprintf(stderr, "Opening apps.\n");
  SoftKill(runtime, ds.hostapd.pid(), "/hostapd");
  const std::string hostapd = HostapdCommand(runtime.paths, (ds.hostapd_debug.load() & 1) != 0);
  const char* command = hostapd.c_str();
  const int status = runtime.hooks.run_command(command);
  if (status != 0) {
    FormatCut(vars.error_text, sizeof vars.error_text, "%s", "Error polling channel\n");
    std::fprintf(stderr, "Error %d executing %s\n", status, command);
  }
  ds.dnsmasq_pid = -1;
  if (DnsmasqRoute(route)) {
    char four_addr[128];
    FormatCut(four_addr, sizeof four_addr, "iw dev %s set 4addr off", kStationInterface);
    (void)runtime.hooks.run_command(four_addr);
    ::unlink(runtime.paths.dnsmasq_log);
    const bool configured = WriteDnsmasqConfig(runtime.paths.dnsmasq_conf, route);
    ::unlink(runtime.paths.dnsmasq_pid);
    const std::string dnsmasq = DnsmasqCommand(runtime.paths);
    std::fprintf(stderr, "# %s\n", dnsmasq.c_str());
    // Without its configuration dnsmasq would serve the wrong thing.
    const int32_t pid = configured ? runtime.hooks.spawn(dnsmasq.c_str()) : -1;
    if (pid < 0) {
      std::fprintf(stderr, "Error %d executing %s\n", -1, dnsmasq.c_str());
    } else {
      ds.dnsmasq_pid = pid;
    }
  }
  PublishRunning(ds);
  // Looked up in every route mode, so hostapd is not relaunched each pass
  // where no dnsmasq is supervised either.
  runtime.hooks.sleep(std::chrono::milliseconds(100));
  const int32_t hostapd_pid = ds.hostapd.Adopt(runtime.paths.proc_root);
  vars.launch_needed = false;
  std::fprintf(stderr, "FYI: hostapd PID: %d / dnsmasq PID: %d\n", hostapd_pid, ds.dnsmasq_pid);
}

ServiceVerdict CheckServices(ApRuntime& runtime, int32_t route, OperationalVars& vars) {
  DaemonState& ds = runtime.state;
  const char* proc = runtime.paths.proc_root;
  const auto dnsmasq_down = [&] {
    if (!DnsmasqRoute(route) || ProcessRunsExecutable(ds.dnsmasq_pid, "/dnsmasq", proc)) {
      return false;
    }
    std::fprintf(stderr, "dnsmasq failed\n");
    FormatCut(vars.error_text, sizeof vars.error_text, "%s", "dnsmasq failed");
    return true;
  };
  if (ds.hostapd.Check(proc) == HostapdSupervisor::Health::kFailed) {
    const int pid = ds.hostapd.pid();
    const int failures = static_cast<int>(ds.hostapd.failures());
    std::fprintf(stderr, "hostapd failed (%d %d)\n", pid, failures);
    char command[128];
    FormatCut(command, sizeof command, "iw dev %s info 1>&2", kApInterface);
    (void)runtime.hooks.run_command(command);
    (void)runtime.hooks.run_command("ip link show 1>&2");
    FormatCut(vars.error_text, sizeof vars.error_text, "hostapd failed (%d %d).", pid, failures);
    return dnsmasq_down() ? ServiceVerdict::kDnsmasqFailed : ServiceVerdict::kHostapdFailed;
  }
  return dnsmasq_down() ? ServiceVerdict::kDnsmasqFailed : ServiceVerdict::kHealthy;
}

bool HostapdHealthy(ApRuntime& runtime) {
  DaemonState& ds = runtime.state;
  {
    std::lock_guard<std::mutex> lock(ds.state_lock);
    if (ds.state != kStateRunning) {
      return false;
    }
  }
  return ds.hostapd.Runs(runtime.paths.proc_root);
}

}  // namespace ww
