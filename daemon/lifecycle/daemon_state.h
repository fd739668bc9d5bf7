// The record through which the daemon's threads share state. One instance
// lives for the whole process (owned by main); every module receives it by
// reference so tests can build their own.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <mutex>

#include "common/util/wake_semaphore.h"
#include "daemon/lifecycle/hostapd_supervisor.h"

namespace ww {

enum StateCode : int32_t { kStateNoAp = 0, kStateBusy = 1, kStateRunning = 2 };

enum Mode : int32_t { kModeNone = 0, kModeHbs = 1, kModeScs = 2, kModeTest = 3, kModeHbs6 = 4 };

enum Route : int32_t { kRouteUnset = 0, kRouteNone = 1, kRouteNat = 2, kRouteTransparent = 3 };

// Each mode and route by the word a create request gives (none for test:
// the test request sets it) and the name the state report shows.
struct ValueName {
  int32_t value;
  const char* request_word;
  const char* report_name;
};
inline constexpr ValueName kModeNames[] = {
    {kModeHbs, "hbs", "HBS"},
    {kModeScs, "scs", "SCS"},
    {kModeTest, nullptr, "TEST"},
    {kModeHbs6, "hbs6", "HBS6"},
};
inline constexpr ValueName kRouteNames[] = {
    {kRouteNone, "noroute", "No Route"},
    {kRouteNat, "nat", "NAT"},
    {kRouteTransparent, "transparent", "Transparent"},
};

// refresh_teardown_flag_value requests.
inline constexpr int32_t kRefreshNow = 1;
inline constexpr int32_t kRefreshDelayed = 4;

inline constexpr int kStateTextSize = 1024;

// Where 5 GHz ends for the channel choice, and where on boards with the old
// diplexer.
inline constexpr uint32_t kSplitThresholdMhz = 5900;
inline constexpr uint32_t kOldDiplexerSplitThresholdMhz = 5470;
inline constexpr int kCredentialSize = 1024;

struct DaemonState {
  // Guards `state` and `text`. Held only for short stores and copies, never
  // across a shell command, a sleep or a netlink exchange.
  std::mutex state_lock;
  WakeSemaphore wake_semaphore;

  int32_t state = kStateNoAp;      // guarded by state_lock
  char text[kStateTextSize] = {};  // guarded by state_lock; "Idle" once the operational thread runs

  std::atomic<int32_t> desired_mode{kModeNone};
  std::atomic<int32_t> route{kRouteUnset};

  // Requests: parameters are stored first, then the request, then a post.
  // The operational thread consumes each by exchanging it with 0.
  std::atomic<int32_t> refresh_teardown_flag_value{0};
  std::atomic<uint8_t> teardown_requested{0};
  std::atomic<uint8_t> create_requested{0};
  // Each request also stores the serial it was given, and the pass takes all
  // three requests at once, all under state_lock: several requests served by
  // one pass are applied in the order they were answered.
  uint64_t request_serial = 0;   // the last serial given out
  uint64_t refresh_serial = 0;   // of the pending refresh
  uint64_t teardown_serial = 0;  // of the pending teardown
  uint64_t create_serial = 0;    // of the pending create or test

  int32_t ap_active = 0;
  std::atomic<int32_t> stations{0};
  // Set by the event thread while the station follows its access point's
  // channel switch: on a radio of one channel the station completes the move
  // only when the access point moves with it, so the pass places it on the
  // target at once instead of the station's current frequency.
  std::atomic<int32_t> station_switch_mhz{0};
  // When the station lost its access point, on the monotonic clock in
  // milliseconds (0 while connected): scan results seen since then show
  // where its network went.
  std::atomic<int64_t> station_lost_ms{0};

  // Replaced by the create and test commands and copied by the readers, all
  // under state_lock: a pass may publish them while a request replaces them.
  char ssid[kCredentialSize] = {};
  char password[kCredentialSize] = {};
  std::atomic<int32_t> hidden_requested{0};
  std::atomic<int32_t> use_160mhz{0};

  // Written by the operational thread each pass, read by the reports of the
  // command threads: atomic so a concurrent report is never a data race.
  std::atomic<int32_t> noir_mode{0};
  std::atomic<int32_t> hidden_ssid_blocked{0};
  int32_t no_6ghz = 0;

  // Stored by the create and test commands while a pass may be reading
  // them (the pass also stores preferred_channel): atomic, so that is never
  // a data race. A request stored mid-pass is placed again by the next pass.
  std::atomic<uint32_t> preferred_channel{0};
  std::atomic<int32_t> test_band{0};
  std::atomic<int32_t> channel_prefs_set{0};
  std::atomic<int32_t> preferred_6ghz_channel{0};
  std::atomic<int32_t> preferred_5ghz_channel{0};
  uint32_t last_test_channel = 0;
  uint32_t last_test_band = 0;

  HostapdSupervisor hostapd;  // operational thread only
  std::atomic<uint8_t> hostapd_debug{0};
  int32_t dnsmasq_pid = -1;
  uint32_t split_threshold_mhz = kSplitThresholdMhz;
};

// Replaces the state text under state_lock (cut to fit).
inline void SetStateText(DaemonState& ds, const char* text) {
  std::lock_guard<std::mutex> lock(ds.state_lock);
  std::snprintf(ds.text, sizeof ds.text, "%s", text);
}

// Copies the credentials under state_lock (a request may be replacing them);
// `ssid` may be null when only the passphrase is wanted.
inline void CopyCredentials(DaemonState& ds, char* ssid, char* password) {
  std::lock_guard<std::mutex> lock(ds.state_lock);
  if (ssid != nullptr) {
    std::snprintf(ssid, sizeof ds.ssid, "%s", ds.ssid);
  }
  std::snprintf(password, sizeof ds.password, "%s", ds.password);
}

// Under state_lock: set `state` to 1, run `store` (which stores the request
// and the serial it is given), post the semaphore. The common shape of every
// command-thread request.
template <typename StoreRequest>
void PostRequest(DaemonState& ds, StoreRequest&& store) {
  std::lock_guard<std::mutex> lock(ds.state_lock);
  ds.state = kStateBusy;
  store(++ds.request_serial);
  ds.wake_semaphore.Post();
}

}  // namespace ww
