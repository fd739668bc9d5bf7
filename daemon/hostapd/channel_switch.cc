#include "daemon/hostapd/channel_switch.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>

#include "common/util/format.h"
#include "common/util/unique_fd.h"
#include "daemon/regulatory/channels.h"

namespace ww {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::string_view kCsaFinished = "AP-CSA-FINISHED ";
constexpr std::string_view kFrequencyKey = "freq=";
// ATTACH and DETACH are answered at once by a hostapd that runs.
constexpr std::chrono::milliseconds kReplyDeadline{1000};

int CentreFrequency(const ChannelLayout& layout) {
  int frequency = 0;
  ChannelToFrequency(layout.band, static_cast<uint32_t>(layout.centre_channel), frequency);
  return frequency;
}

// The PHY modes the configuration enables on the band: HE and EHT
// everywhere, HT and VHT on 5 GHz (hostapd leaves HT off on 2.4 GHz, where
// the file does not ask for it).
const char* Modes(int band) {
  return band == kBand5 ? "ht vht he eht" : "he eht";
}

// One message from hostapd, or nullopt once `deadline` has passed.
std::optional<std::string> Receive(int fd, Clock::time_point deadline) {
  for (;;) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) {
      return std::nullopt;
    }
    pollfd p{fd, POLLIN, 0};
    const int ready = ::poll(&p, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) {
      continue;
    }
    if (ready <= 0) {
      return std::nullopt;
    }
    char buf[512];
    const ssize_t got = ::recv(fd, buf, sizeof buf, 0);
    if (got < 0 && errno == EINTR) {
      continue;
    }
    if (got < 0) {
      return std::nullopt;
    }
    return std::string(buf, static_cast<size_t>(got));
  }
}

bool IsEvent(const std::string& message) {
  return !message.empty() && message[0] == '<';
}

// Sends `request` and waits for its reply, noting on the way whether the
// completion on `frequency` was among the events that came first.
std::optional<std::string> Request(int fd, std::string_view request, int frequency, bool& finished,
                                   std::optional<int>& finished_on) {
  if (::send(fd, request.data(), request.size(), MSG_NOSIGNAL) !=
      static_cast<ssize_t>(request.size())) {
    return std::nullopt;
  }
  const auto deadline = Clock::now() + kReplyDeadline;
  for (;;) {
    std::optional<std::string> message = Receive(fd, deadline);
    if (!message || !IsEvent(*message)) {
      return message;
    }
    if (const std::optional<int> f = CsaFinishedFrequency(*message)) {
      finished = *f == frequency;
      finished_on = f;
    }
  }
}

bool IsOk(const std::optional<std::string>& reply) {
  return reply && (*reply == "OK\n" || *reply == "OK");
}

}  // namespace

std::string ChanSwitchCommand(const ChannelLayout& target, int beacons) {
  int frequency = 0;
  ChannelToFrequency(target.band, static_cast<uint32_t>(target.channel), frequency);
  if (frequency == 0 || target.width_mhz == 0) {
    return {};
  }
  std::string command;
  Appendf(command, "CHAN_SWITCH %d %d", beacons, frequency);
  if (target.secondary != 0) {
    Appendf(command, " sec_channel_offset=%d", target.secondary);
  }
  Appendf(command, " center_freq1=%d bandwidth=%d %s", CentreFrequency(target), target.width_mhz,
          Modes(target.band));
  return command;
}

std::optional<int> CsaFinishedFrequency(std::string_view message) {
  if (!message.empty() && message[0] == '<') {
    const size_t close = message.find('>');
    if (close == std::string_view::npos) {
      return std::nullopt;
    }
    message.remove_prefix(close + 1);
  }
  if (message.substr(0, kCsaFinished.size()) != kCsaFinished) {
    return std::nullopt;
  }
  message.remove_prefix(kCsaFinished.size());
  const size_t key = message.find(kFrequencyKey);
  if (key == std::string_view::npos || (key != 0 && message[key - 1] != ' ')) {
    return std::nullopt;
  }
  const char* begin = message.data() + key + kFrequencyKey.size();
  const char* end = message.data() + message.size();
  int frequency = 0;
  const auto [next, error] = std::from_chars(begin, end, frequency);
  if (error != std::errc() || next == begin || frequency <= 0 ||
      (next != end && *next != ' ' && *next != '\n')) {
    return std::nullopt;
  }
  return frequency;
}

const char* SwitchResultText(SwitchResult result) {
  switch (result) {
    case SwitchResult::kSwitched:
      return "switched";
    case SwitchResult::kNoControlSocket:
      return "hostapd's control socket does not answer";
    case SwitchResult::kRefused:
      return "hostapd refused the switch";
    case SwitchResult::kTimedOut:
      return "the switch did not complete in time";
    case SwitchResult::kOtherFrequency:
      return "the switch completed on another frequency";
  }
  return "?";
}

SwitchResult SwitchChannel(const char* control_path, const std::string& command, int frequency,
                           std::chrono::milliseconds deadline) {
  const auto end = Clock::now() + deadline;
  UniqueFd fd(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
  sockaddr_un peer{};
  peer.sun_family = AF_UNIX;
  if (!fd.Valid() || std::strlen(control_path) >= sizeof peer.sun_path) {
    return SwitchResult::kNoControlSocket;
  }
  // An address of its own, chosen by the kernel in the abstract namespace:
  // hostapd answers to the sender, and no file is left behind.
  const sa_family_t family = AF_UNIX;
  if (::bind(fd.Get(), reinterpret_cast<const sockaddr*>(&family), sizeof family) != 0) {
    return SwitchResult::kNoControlSocket;
  }
  std::memcpy(peer.sun_path, control_path, std::strlen(control_path));
  if (::connect(fd.Get(), reinterpret_cast<const sockaddr*>(&peer), sizeof peer) != 0) {
    return SwitchResult::kNoControlSocket;
  }
  bool finished = false;
  std::optional<int> finished_on;
  if (!IsOk(Request(fd.Get(), "ATTACH", frequency, finished, finished_on))) {
    return SwitchResult::kNoControlSocket;
  }
  const std::optional<std::string> reply =
      Request(fd.Get(), command, frequency, finished, finished_on);
  SwitchResult result = SwitchResult::kTimedOut;
  if (!IsOk(reply)) {
    result = SwitchResult::kRefused;
  } else {
    while (!finished_on) {
      const std::optional<std::string> message = Receive(fd.Get(), end);
      if (!message) {
        break;
      }
      if (const std::optional<int> f = CsaFinishedFrequency(*message)) {
        finished = *f == frequency;
        finished_on = f;
      }
    }
    if (finished_on) {
      result = finished ? SwitchResult::kSwitched : SwitchResult::kOtherFrequency;
    }
  }
  // Best effort: hostapd also drops a monitor whose socket has gone.
  (void)::send(fd.Get(), "DETACH", 6, MSG_NOSIGNAL | MSG_DONTWAIT);
  return result;
}

}  // namespace ww
