// Connection event monitor: nl80211 MLME events (the station's upstream
// access point, stations joining and leaving ours) and route events (a new
// default route), turned into the station count and operational wake-ups.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "common/util/wake_semaphore.h"

struct nl_msg;

namespace ww {

using MacAddress = std::array<uint8_t, 6>;

// What the event thread changes: the station count, the operational thread's
// wake-ups, and the upstream address it saw last (its own).
struct ConnectionEvents {
  WakeSemaphore& wake;
  std::atomic<int32_t>& stations;
  // Where the station is moving, announced by its access point; 0 when no
  // move is under way.
  std::atomic<int32_t>& station_switch_mhz;
  // When the station lost its access point (monotonic milliseconds); 0 while
  // it is connected.
  std::atomic<int64_t>& station_lost_ms;
  MacAddress last_bssid{};
};

// The clock of `station_lost_ms`: the monotonic clock in milliseconds.
int64_t MonotonicMs();

// What one nl80211 event means for the daemon.
struct Nl80211EventAction {
  enum class Kind { kNone, kConnect, kNewStation, kDelStation } kind = Kind::kNone;
  bool bssid_changed = false;  // kConnect: store the address, wake the pass
  std::string log;             // the lines to write
};

// Pure: the action for command `command` on interface `ifname` with station
// or access-point address `mac` (null when the event carries none), given
// the upstream address seen last.
Nl80211EventAction MapNl80211Event(uint8_t command, const char* ifname, const uint8_t* mac,
                                   const MacAddress& last_bssid);

// What an event of the station means for where it goes: its access point
// announced a move (kStarted), the station has moved (kDone), it lost its
// access point (kLost, without a line; it ends any move under way), or it
// has new scan results (kScanned, without a line).
struct StationMoveAction {
  enum class Kind { kNone, kStarted, kDone, kLost, kScanned } kind = Kind::kNone;
  int32_t frequency = 0;  // the target, MHz
  std::string log;
};

// Pure: the action for command `command` on interface `ifname` carrying
// frequency `frequency` (0 when absent). Other interfaces' switches are
// hostapd's own and mean nothing here.
StationMoveAction MapStationMoveEvent(uint8_t command, const char* ifname, uint32_t frequency);

// Pure: true for a new IPv4 or IPv6 route without a destination (a default
// route).
bool IsNewDefaultRoute(uint16_t message_type, uint8_t family, bool has_destination);

// Pure: false when a route message (`length` bytes from its netlink header
// on) carries a multipath attribute whose next hops cannot be walked safely:
// a next hop shorter than its own header, or one whose aligned length runs
// past the attribute. libnl's route parser loops for ever on the first (it
// steps by the length) and reads past the attribute on the second. A via
// attribute too short for its family field is refused too (libnl copies a
// negative length). The kernel never sends any of these.
bool MultipathIsWalkable(const uint8_t* message, size_t length);

// libnl handlers of the two sockets; `arg` is the ConnectionEvents.
int HandleNl80211Event(nl_msg* message, void* arg);
int HandleRouteEvent(nl_msg* message, void* arg);

// Thread body; `arg` is the ConnectionEvents.
void* DetectConnectionChangeThread(void* arg);

}  // namespace ww
