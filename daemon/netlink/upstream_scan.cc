#include "daemon/netlink/upstream_scan.h"

#include <cstdint>
#include <utility>

#include "common/util/nl80211_ids.h"
#include "daemon/netlink/raw_channel.h"

namespace ww {
namespace {

using namespace nl80211;  // NOLINT(google-build-using-namespace)

constexpr uint8_t kBssFrequency = 2;
constexpr uint8_t kBssInformationElements = 6;
constexpr uint8_t kBssSignalMbm = 7;
constexpr uint8_t kBssSeenMsAgo = 10;
constexpr uint8_t kBssBeaconElements = 11;
constexpr uint8_t kElementSsid = 0;
constexpr size_t kSsidMax = 32;
constexpr size_t kEntriesMax = 256;

}  // namespace

std::optional<nl::Bytes> FindElement(nl::Bytes elements, uint8_t id, size_t min_length) {
  size_t offset = 0;
  while (elements.size() - offset >= 2) {
    const uint8_t found = elements[offset];
    const size_t length = elements[offset + 1];
    if (length > elements.size() - offset - 2) {
      break;
    }
    if (found == id && length >= min_length) {
      return nl::Bytes(elements.data() + offset + 2, length);
    }
    offset += 2 + length;
  }
  return std::nullopt;
}

void ForEachScanEntry(RawChannel& channel, uint32_t ifindex,
                      const std::function<void(nl::Bytes)>& visit) {
  nl::RequestBuilder request(0, nl::kFlagRequest | nl::kFlagAck | nl::kFlagDump, kCmdGetScan, 0);
  request.PutU32(kAttrIfindex, ifindex);
  RunExchange(channel, request, [&visit](const nl::Message& message) {
    nl::AttributeWalker attributes = nl::MessageAttributes(message);
    while (const std::optional<nl::Attribute> a = attributes.Next()) {
      if (a->LowType() == kAttrBss) {
        visit(a->payload);
      }
    }
    return Visit::kContinue;
  });
}

std::optional<SeenNetwork> ParseScanEntry(nl::Bytes entry) {
  SeenNetwork seen;
  std::optional<nl::Bytes> elements;
  std::optional<nl::Bytes> beacon;
  nl::AttributeWalker walker(entry);
  while (const std::optional<nl::Attribute> a = walker.Next()) {
    const std::optional<uint32_t> value = a->U32();
    switch (a->LowType()) {
      case kBssFrequency:
        seen.frequency = value.value_or(0);
        break;
      case kBssSignalMbm:
        seen.signal_mbm = static_cast<int32_t>(value.value_or(0));
        break;
      case kBssSeenMsAgo:
        seen.seen_ms_ago = value.value_or(UINT32_MAX);
        break;
      case kBssInformationElements:
        elements = a->payload;
        break;
      case kBssBeaconElements:
        beacon = a->payload;
        break;
      default:
        break;
    }
  }
  if (seen.frequency == 0) {
    return std::nullopt;
  }
  std::optional<nl::Bytes> ssid = elements ? FindElement(*elements, kElementSsid) : std::nullopt;
  if (!ssid && beacon) {
    ssid = FindElement(*beacon, kElementSsid);
  }
  if (ssid && ssid->size() <= kSsidMax) {
    seen.ssid.assign(reinterpret_cast<const char*>(ssid->data()), ssid->size());
  }
  return seen;
}

uint32_t RejoinFrequency(const std::vector<SeenNetwork>& seen, std::string_view ssid,
                         uint32_t lost_ms_ago) {
  const SeenNetwork* best = nullptr;
  for (const SeenNetwork& s : seen) {
    if (ssid.empty() || s.ssid != ssid || s.seen_ms_ago >= lost_ms_ago) {
      continue;
    }
    if (best == nullptr || s.signal_mbm > best->signal_mbm) {
      best = &s;
    }
  }
  return best != nullptr ? best->frequency : 0;
}

std::vector<SeenNetwork> DumpScanResults(RawChannel& channel, uint32_t ifindex) {
  std::vector<SeenNetwork> seen;
  ForEachScanEntry(channel, ifindex, [&seen](nl::Bytes entry) {
    if (seen.size() < kEntriesMax) {
      if (std::optional<SeenNetwork> parsed = ParseScanEntry(entry)) {
        seen.push_back(std::move(*parsed));
      }
    }
  });
  return seen;
}

}  // namespace ww
