// Where the access point goes: band, channel and frequency from the mode,
// the station's frequency and the regulatory facts. The decision is pure;
// ChooseChannel gathers its inputs and applies it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>

#include "common/wifiquery/wifi_query.h"

namespace ww {

struct ApRuntime;
struct OperationalVars;

struct PlacementInputs {
  int32_t mode;
  int32_t no_6ghz;
  bool old_diplexer;  // consulted for hbs only
  uint32_t split_threshold_mhz;
  int32_t channel_prefs_set;
  int32_t preferred_5ghz_channel;
  int32_t preferred_6ghz_channel;
  uint32_t preferred_channel;
  int32_t test_band;
  uint32_t last_test_channel;
  uint32_t last_test_band;
  double last_frequency;
  double remembered_frequency;
  // The pass serves a create, test or refresh: a test decides even on the
  // band and channel it had, so its configuration is written.
  bool serving_request = false;
};

struct Placement {
  enum class Kind { kNoDecision, kFollowStation, kTest } kind = Kind::kNoDecision;
  int band = 0;
  int channel = 0;
  int frequency = 0;                          // the access point's, MHz
  double station_frequency = 0;               // F, for kFollowStation
  std::optional<uint32_t> preferred_channel;  // a new preferred_channel to store
};

// Decides from the inputs and the station query (nullopt when it failed);
// writes the decision's log lines to `log`.
Placement DecidePlacement(const PlacementInputs& in, const std::optional<WifiInfo>& station,
                          FILE* log);

// True when the access point (nullopt: absent or its query failed) already
// runs on the placement's frequency; writes the "unchanged" line then.
bool PlacementUnchanged(const Placement& placement, const std::optional<WifiInfo>& ap, FILE* log);

enum class ChannelDecision { kChanged, kUnchanged, kNoDecision };

// The whole step of a pass: regulatory facts, decision, and on a change the
// new hostapd configuration and stopped services (operational thread). A
// pass that serves a request (`serving_request`) writes the configuration
// whatever the decision, so hostapd is launched on the name, passphrase and
// flags that the reports show.
ChannelDecision ChooseChannel(ApRuntime& runtime, OperationalVars& vars, WifiQueryContext& query,
                              int32_t mode, bool serving_request);

}  // namespace ww
