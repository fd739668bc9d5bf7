#include "daemon/netlink/upstream_scan.h"

#include <cstdint>
#include <cstring>
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

std::optional<std::string> FindSsid(nl::Bytes elements) {
  size_t offset = 0;
  while (elements.size() - offset >= 2) {
    const uint8_t id = elements[offset];
    const size_t length = elements[offset + 1];
    if (length > elements.size() - offset - 2) {
      break;
    }
    if (id == kElementSsid) {
      if (length > kSsidMax) {
        return std::nullopt;
      }
      return std::string(reinterpret_cast<const char*>(elements.data() + offset + 2), length);
    }
    offset += 2 + length;
  }
  return std::nullopt;
}

}  // namespace

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
  std::optional<std::string> ssid = elements ? FindSsid(*elements) : std::nullopt;
  if (!ssid && beacon) {
    ssid = FindSsid(*beacon);
  }
  seen.ssid = ssid.value_or("");
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
  nl::RequestBuilder request(0, nl::kFlagRequest | nl::kFlagAck | nl::kFlagDump, kCmdGetScan, 0);
  request.PutU32(kAttrIfindex, ifindex);
  RunExchange(channel, request, [&seen](const nl::Message& message) {
    nl::AttributeWalker attributes = nl::MessageAttributes(message);
    while (const std::optional<nl::Attribute> a = attributes.Next()) {
      if (a->LowType() != kAttrBss || seen.size() >= kEntriesMax) {
        continue;
      }
      if (std::optional<SeenNetwork> entry = ParseScanEntry(a->payload)) {
        seen.push_back(std::move(*entry));
      }
    }
    return Visit::kContinue;
  });
  return seen;
}

}  // namespace ww
