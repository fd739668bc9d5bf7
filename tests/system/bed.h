// The hermetic test bed as seen from a test: the real daemon binary started
// inside the bed's namespaces, its two output streams, clients of its
// management socket, the veth that stands in for wlan0, and the log of the
// fake external programs. Every wait is bounded.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace ww::bed {

using Millis = std::chrono::milliseconds;

inline constexpr const char* kSocketPath = "/var/run/wavewarden.socket";

bool InBed();
std::string ProgramDir();
// Environment that preloads the system-call fault injector.
std::string FaultInjector();

// Runs a shell command inside the bed; returns its exit status.
int Shell(const std::string& command);
// The veth pair whose one end is the station interface.
void CreateWlan0();
void DeleteWlan0();
// Undoes what a test may leave behind when several run in one bed.
void ResetBed();
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& contents);
// What the fake external programs were called with, one line per call.
std::string FakeCalls();
// How many lines of `text` are exactly `line`.
int CountLines(const std::string& text, const std::string& line);
// A file of the bed's own folder (the fakes' call log, hooks, markers).
std::string BedFile(const std::string& name);
// A hook for the fake `name`: the shell text runs with the fake's arguments.
void Hook(const std::string& name, const std::string& body);
// The pids of the running fake `name` (hostapd or dnsmasq); a zombie has no
// executable and is not listed.
std::vector<int> FakeServicePids(const std::string& name);
// Ends, by pid, the fake hostapd and dnsmasq that a stopped daemon left
// running (the fake killall only records its call).
void EndFakeServices();

// Every wait of the bed is stretched by WW_TIME_SCALE (a whole number, 1
// when unset): a sanitizer build of the daemon runs several times slower.
int TimeScale();
inline Millis Patience(Millis timeout) {
  return timeout * TimeScale();
}

// Polls `condition` every 10 ms until it holds or `timeout` (stretched)
// passes.
template <typename Condition>
bool WaitUntil(Condition condition, Millis timeout) {
  const auto deadline = std::chrono::steady_clock::now() + Patience(timeout);
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) {
      return false;
    }
    std::this_thread::sleep_for(Millis(10));
  }
  return true;
}

// One captured output stream.
class StreamLog {
 public:
  void Append(const char* data, size_t length);
  std::string Text();
  int Count(const std::string& needle);
  // Waits until `needle` has appeared at least `times` times.
  bool WaitFor(const std::string& needle, Millis timeout, int times = 1);

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::string text_;
};

// Where the daemon's standard output goes: a pipe the test reads, or a pipe
// whose reader is gone, so that every write to it fails.
enum class Stdout { kCaptured, kBroken };

// The real wavewarden, started by the test and stopped by pid.
class DaemonProcess {
 public:
  DaemonProcess() = default;
  DaemonProcess(const DaemonProcess&) = delete;
  DaemonProcess& operator=(const DaemonProcess&) = delete;
  ~DaemonProcess() { Stop(); }

  // Starts the daemon with `env` ("NAME=value") added to its environment.
  void Start(const std::vector<std::string>& env = {}, Stdout stdout_mode = Stdout::kCaptured);
  // SIGKILL, reap, stop the readers. Safe to call twice.
  void Stop();
  // Waits for the daemon to end by itself; its exit status, or nullopt.
  std::optional<int> WaitExit(Millis timeout);
  bool Running() const { return pid_ > 0; }
  pid_t Pid() const { return pid_; }

  StreamLog out;
  StreamLog err;

 private:
  void ReadLoop(int out_fd, int err_fd);
  pid_t pid_ = -1;
  std::thread reader_;
  std::atomic<bool> stop_reading_{false};
};

// True once the management socket accepts connections.
bool WaitForManagementSocket(Millis timeout);

// Connects to the UNIX stream socket at `path`, or -1.
int ConnectSocket(const char* path);
// Connects to the management socket, or -1.
int ConnectManagement();

// Sends `request` as one write and reads the reply until the daemon closes
// the connection. nullopt when no connection could be made.
std::optional<std::string> Exchange(const std::string& request, Millis timeout = Millis(5000));

struct CtlResult {
  int status = -1;
  std::string out;
  std::string err;
};
// Runs one of the built programs with `args`; its status and output.
CtlResult RunProgram(const std::string& program, const std::vector<std::string>& args);
// Runs the real wavectl with `args`.
CtlResult RunWavectl(const std::vector<std::string>& args);

}  // namespace ww::bed
