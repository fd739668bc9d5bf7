// The service manager's notification protocol: datagrams of "NAME=value"
// lines to the socket named by NOTIFY_SOCKET. Written here rather than taken
// from libsystemd, which would bring a library and its dependencies to every
// device for four short messages. Without NOTIFY_SOCKET nothing is sent.
#pragma once

#include <chrono>
#include <cstddef>
#include <mutex>
#include <string>

#include "common/util/unique_fd.h"

namespace ww {

// What `systemctl status` shows for a state text: the part before the first
// TAB (never the passphrase that "SoftAP Running" carries), without a
// trailing newline, other control bytes as '?'.
std::string StatusLine(const char* text);

class ServiceNotifier {
 public:
  // Takes NOTIFY_SOCKET and WATCHDOG_USEC from the environment and removes
  // them, so that the programs the daemon runs never speak in its name. Call
  // before any thread exists.
  void OpenFromEnvironment();
  // For tests: `socket_path` ("@name" for an abstract socket), and the
  // watchdog period (zero for none).
  void Open(const char* socket_path, std::chrono::microseconds watchdog);

  bool Active() const { return fd_.Valid(); }
  // How often the watchdog wants to hear from the daemon: half its period,
  // or zero when there is no watchdog.
  std::chrono::milliseconds BeatInterval() const { return beat_interval_; }

  void Ready();
  void Stopping();
  void Beat();
  // Sends STATUS= when the line differs from the last one sent.
  void Status(const char* text);

 private:
  void Send(const std::string& message);

  UniqueFd fd_;
  std::string address_;  // sun_path bytes, a leading NUL for abstract
  std::chrono::milliseconds beat_interval_{0};
  std::mutex status_lock_;
  std::string last_status_;
};

}  // namespace ww
