#include "daemon/lifecycle/service_notify.h"

#include <sys/socket.h>
#include <sys/un.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace ww {

std::string StatusLine(const char* text) {
  size_t end = std::strcspn(text, "\t");
  // The failure texts end in a newline; it says nothing in a status line.
  while (end > 0 && text[end - 1] == '\n') {
    --end;
  }
  std::string line(text, end);
  for (char& c : line) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7f) {
      c = '?';  // one message carries one line per assignment
    }
  }
  return line;
}

void ServiceNotifier::OpenFromEnvironment() {
  const char* socket_path = std::getenv("NOTIFY_SOCKET");  // NOLINT(concurrency-mt-unsafe)
  const char* watchdog = std::getenv("WATCHDOG_USEC");     // NOLINT(concurrency-mt-unsafe)
  std::chrono::microseconds period{0};
  if (watchdog != nullptr) {
    char* end = nullptr;
    const unsigned long long usec = std::strtoull(watchdog, &end, 10);
    if (end != watchdog && *end == '\0') {
      period = std::chrono::microseconds(usec);
    }
  }
  if (socket_path != nullptr) {
    Open(socket_path, period);
  }
  // Before any thread exists: nothing reads the environment meanwhile.
  (void)::unsetenv("NOTIFY_SOCKET");  // NOLINT(concurrency-mt-unsafe)
  (void)::unsetenv("WATCHDOG_USEC");  // NOLINT(concurrency-mt-unsafe)
  (void)::unsetenv("WATCHDOG_PID");   // NOLINT(concurrency-mt-unsafe)
}

void ServiceNotifier::Open(const char* socket_path, std::chrono::microseconds watchdog) {
  const size_t length = std::strlen(socket_path);
  sockaddr_un probe{};
  if ((socket_path[0] != '/' && socket_path[0] != '@') || length < 2 ||
      length >= sizeof probe.sun_path) {
    return;
  }
  address_.assign(socket_path, length);
  if (address_[0] == '@') {
    address_[0] = '\0';
  }
  // Non-blocking: a service manager that does not read must never hold a
  // thread of the daemon.
  fd_.Reset(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  beat_interval_ = std::chrono::duration_cast<std::chrono::milliseconds>(watchdog / 2);
}

void ServiceNotifier::Send(const std::string& message) {
  if (!fd_.Valid()) {
    return;
  }
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, address_.data(), address_.size());
  const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + address_.size() +
                                             (address_[0] == '\0' ? 0 : 1));
  (void)::sendto(fd_.Get(), message.data(), message.size(), MSG_NOSIGNAL,
                 reinterpret_cast<const sockaddr*>(&address), length);
}

void ServiceNotifier::Ready() {
  Send("READY=1");
}

void ServiceNotifier::Stopping() {
  Send("STOPPING=1");
}

void ServiceNotifier::Beat() {
  if (beat_interval_.count() > 0) {
    Send("WATCHDOG=1");
  }
}

void ServiceNotifier::Status(const char* text) {
  if (!fd_.Valid()) {
    return;
  }
  std::string line = StatusLine(text);
  std::lock_guard<std::mutex> lock(status_lock_);
  if (line == last_status_) {
    return;
  }
  Send("STATUS=" + line);
  last_status_ = std::move(line);
}

}  // namespace ww
