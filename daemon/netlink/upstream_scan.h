// Where the station's network is now, from the station's scan results: when
// the station lost its access point, the access point of the device can go
// ahead to the channel the station will join. On a radio of one channel the
// station cannot join another channel while the access point holds the old
// one, so without this the station would never come back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/util/nl_message.h"

namespace ww {

struct RawChannel;

// Pure: the body of the first element `id` of at least `min_length` bytes in
// a run of information elements. Stops at an element that runs past the end.
std::optional<nl::Bytes> FindElement(nl::Bytes elements, uint8_t id, size_t min_length = 0);

// Dumps the scan results of interface `ifindex`, handing each entry (the
// payload of its BSS attribute) to `visit`.
void ForEachScanEntry(RawChannel& channel, uint32_t ifindex,
                      const std::function<void(nl::Bytes)>& visit);

struct SeenNetwork {
  uint32_t frequency = 0;  // MHz
  int32_t signal_mbm = 0;  // 100 * dBm; 0 when the kernel gave none
  uint32_t seen_ms_ago = 0;
  std::string ssid;  // from the first SSID element, up to 32 bytes
};

// Pure: one scan entry (the payload of a BSS attribute); nullopt without a
// frequency.
std::optional<SeenNetwork> ParseScanEntry(nl::Bytes entry);

// Pure: the frequency of the strongest access point of network `ssid` seen
// since the station lost its own, `lost_ms_ago` milliseconds ago; 0 when
// none was (an entry seen before the loss may be the lost access point).
uint32_t RejoinFrequency(const std::vector<SeenNetwork>& seen, std::string_view ssid,
                         uint32_t lost_ms_ago);

// The scan results of interface `ifindex` (at most 256 entries).
std::vector<SeenNetwork> DumpScanResults(RawChannel& channel, uint32_t ifindex);

}  // namespace ww
