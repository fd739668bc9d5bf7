#include "daemon/netlink/scan_block.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/util/report.h"
#include "common/util/unique_fd.h"
#include "daemon/core/daemon.h"
#include "daemon/core/fields.h"
#include "daemon/netlink/nl80211_ids.h"

namespace ww {
namespace {

using namespace nl80211;  // NOLINT(google-build-using-namespace)

constexpr uint8_t kAttrWiphyFreq = 38;

constexpr int kExitNoSocket = -5;
constexpr int kExitNoListen = -6;
constexpr int kExitNoBind = -7;
constexpr int kExitNoAccept = -8;
constexpr socklen_t kUnixAddressLength = 110;
constexpr int kBacklog = 50;
constexpr size_t kCommandMax = 1023;

bool SlotIs(const std::array<char, kScanBlockNameMax + 2>& slot, const char* name) {
  return std::strcmp(slot.data(), name) == 0;
}

void WriteBlockValue(const char* path, int value) {
  const UniqueFd fd(::open(path, O_RDWR | O_CLOEXEC));
  if (!fd.Valid()) {
    std::fprintf(stderr, "Error: Could not open %s\n", path);
    return;
  }
  char digit[16];
  std::snprintf(digit, sizeof digit, "%d", value);
  const ssize_t wrote = ::write(fd.Get(), digit, 1);
  if (wrote == 1) {
    std::fprintf(stderr, "Updating %s = %d\n", path, value);
  } else {
    // The misspelling is the message's own; log readers match it.
    std::fprintf(stderr, "Erorr writing to %s (%d got, %d expected)\n", path,
                 static_cast<int>(wrote), 1);
  }
}

[[noreturn]] void Fatal(const char* message, int status) {
  std::fputs(message, stderr);
  std::_Exit(status & 0xff);
}

}  // namespace

bool ChangeScanBlockTable(ScanBlockTable& table, int kind, const char* name) {
  if (name == nullptr) {
    if (kind != kScanBlockClear) {
      return false;
    }
    table.slots = {};
    return true;
  }
  if (std::strlen(name) > kScanBlockNameMax) {
    return false;
  }
  if (kind == kScanBlockAdd) {
    for (const auto& slot : table.slots) {
      if (SlotIs(slot, name)) {
        return true;
      }
    }
    for (auto& slot : table.slots) {
      if (slot[0] == '\0') {
        std::memcpy(slot.data(), name, std::strlen(name) + 1);
        break;
      }
    }
  } else if (kind == kScanBlockRemove) {
    for (auto& slot : table.slots) {
      if (SlotIs(slot, name)) {
        slot = {};
      }
    }
  } else {
    table.slots = {};
  }
  return true;
}

int ScanBlockValue(const double* frequencies, int count) {
  int value = 0;
  for (int i = 0; i < count; ++i) {
    const double f = frequencies[i];
    if (f >= 5900) {
      value = value == 0 || value == 6 ? 6 : 1;
    } else if ((f >= 5000 && f < 5900) || (f >= 2000 && f < 3000)) {
      value = value == 0 || value == 5 ? 5 : 1;
    }
  }
  return value;
}

double GetInterfaceFrequency(RawChannel& channel, const char* name) {
  nl::RequestBuilder request(0, nl::kFlagRequest | nl::kFlagAck | nl::kFlagDump, kCmdGetInterface,
                             0);
  double result = -1.0;
  RunExchange(channel, request, [&](const nl::Message& message) {
    bool found = false;
    double frequency = -1.0;
    nl::AttributeWalker attributes = nl::MessageAttributes(message);
    while (const std::optional<nl::Attribute> a = attributes.Next()) {
      if (a->LowType() == kAttrWiphyFreq) {
        frequency = a->U32().value_or(0);
      } else if (a->LowType() == kAttrIfname) {
        found = found || a->Text() == name;
      }
      if (found && frequency > 0) {
        result = frequency;
        return Visit::kStop;  // the rest of the dump stays unread
      }
    }
    return Visit::kContinue;
  });
  return result;
}

void UpdateScanBlock(Daemon& daemon, int kind, const char* interface_name) {
  ScanBlockTable& table = daemon.scan_block;
  std::lock_guard<std::mutex> lock(table.lock);
  if (!ChangeScanBlockTable(table, kind, interface_name)) {
    return;
  }
  double frequencies[kScanBlockSlots];
  int count = 0;
  for (const auto& slot : table.slots) {
    if (slot[0] == '\0') {
      continue;
    }
    const double f = GetInterfaceFrequency(daemon.nl80211, slot.data());
    std::fprintf(stderr, "scanblock %s -> %f\n", slot.data(), f);
    frequencies[count++] = f;
  }
  const int value = ScanBlockValue(frequencies, count);
  WriteBlockValue(daemon.paths.block_scans, value);
  (void)daemon.hooks.run_command(value != 0 ? "iw dev wlan0 cqm rssi -110 4"
                                            : "iw dev wlan0 cqm rssi -75 4");
}

void* StreamingScanningThread(void* arg) {
  Daemon& daemon = *static_cast<Daemon*>(arg);
  SetThreadName("StreamingScanningThread");
  const UniqueFd listener(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!listener.Valid()) {
    Fatal("Error: can't create streaming socket.\n", kExitNoSocket);
  }
  daemon.streaming_fd = listener.Get();
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, daemon.paths.streaming_socket, sizeof address.sun_path - 1);
  ::unlink(address.sun_path);
  if (::bind(listener.Get(), reinterpret_cast<const sockaddr*>(&address), kUnixAddressLength) !=
      0) {
    Fatal("Error: streaming socket failed to bind.\n", kExitNoBind);
  }
  if (::listen(listener.Get(), kBacklog) != 0) {
    Fatal("Error: streaming socket failed to listen.\n", kExitNoListen);
  }
  ::chmod(address.sun_path, 0777);
  UpdateScanBlock(daemon, kScanBlockClear, nullptr);
  for (;;) {
    int accepted = -1;
    do {
      accepted = ::accept4(listener.Get(), nullptr, nullptr, SOCK_CLOEXEC);
    } while (accepted < 0 && errno == EINTR);  // a SIGCHLD is no failure
    if (accepted < 0) {
      char reason[128];
      std::fprintf(stderr, "Error: accept on streaming socket: %s\n",
                   ErrnoText(errno, reason, sizeof reason));
      std::_Exit(kExitNoAccept & 0xff);
    }
    const UniqueFd client(accepted);
    for (;;) {
      char text[kCommandMax + 1];
      ssize_t got = 0;
      do {
        got = ::read(client.Get(), text, kCommandMax);
      } while (got < 0 && errno == EINTR);
      if (got <= 0) {
        break;
      }
      text[got] = '\0';
      Field words[2] = {};
      int count = 0;
      SplitFields(text, count, words, 2);
      if (std::strcmp(words[0], "streamon") == 0) {
        UpdateScanBlock(daemon, kScanBlockAdd, words[1]);
      } else if (std::strcmp(words[0], "streamoff") == 0) {
        UpdateScanBlock(daemon, kScanBlockRemove, words[1]);
      } else {
        std::fprintf(stderr, "Error: got streaming command that was unidentified (%s) (%d)\n",
                     words[0], static_cast<int>(got));
      }
    }
    // A client that leaves ends every stream it announced.
    UpdateScanBlock(daemon, kScanBlockClear, nullptr);
  }
}

}  // namespace ww
