#include "daemon/netlink/scan_block.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "common/util/format.h"
#include "common/util/interfaces.h"
#include "common/util/nl80211_ids.h"
#include "common/util/unique_fd.h"
#include "daemon/netlink/raw_channel.h"

namespace ww {
namespace {

using namespace nl80211;  // NOLINT(google-build-using-namespace)

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

void UpdateScanBlock(ScanBlockTable& table, const ScanBlockIo& io, int kind,
                     const char* interface_name) {
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
    const double f = GetInterfaceFrequency(io.channel, slot.data());
    std::fprintf(stderr, "scanblock %s -> %f\n", slot.data(), f);
    frequencies[count++] = f;
  }
  const int value = ScanBlockValue(frequencies, count);
  WriteBlockValue(io.parameter_path, value);
  char command[128];
  FormatCut(command, sizeof command, "iw dev %s cqm rssi %d 4", kStationInterface,
            value != 0 ? -110 : -75);
  (void)io.run_command(command);
}

}  // namespace ww
