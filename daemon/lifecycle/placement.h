// Where the access point goes: band, channel and frequency from the mode,
// the station's frequency and the regulatory facts; and how it gets there:
// kept, restarted, or moved by a channel switch announcement. The decisions
// are pure; ChooseChannel gathers their inputs and applies them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "common/wifiquery/wifi_query.h"
#include "daemon/hostapd/hostapd_config.h"

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
  // The station's announced move (0: none): placed as if it were there.
  int32_t station_switch_mhz = 0;
  // Where the disconnected station's network is seen now (0: nowhere new).
  uint32_t station_rejoin_mhz = 0;
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
// appends the decision's log lines to `log`.
Placement DecidePlacement(const PlacementInputs& in, const std::optional<WifiInfo>& station,
                          std::string& log);

// What a placement that follows the station does with the access point.
enum class Move {
  kKeep,     // it already runs on that frequency
  kRestart,  // hostapd is stopped and started on the new configuration
  kSwitch,   // hostapd announces the switch and moves; phones follow
};

struct MoveFacts {
  // The access point's own query; nullopt when absent or the query failed.
  std::optional<WifiInfo> ap;
  // Where the configuration written for the placement puts it.
  ChannelLayout target;
  // hostapd is supervised, seen running and healthy, and nothing of this
  // pass asks to relaunch it (a create, test or refresh rebuilds anyway).
  bool hostapd_running = false;
};

// kKeep (with the "unchanged" line appended to `log`) when the access point
// runs on the placement's frequency. Otherwise a switch where phones can
// follow one: the same band, the same width, and a target outside the
// radar channels (a switch there would need a channel availability check
// first); a restart for everything else.
Move DecideMove(const Placement& placement, const MoveFacts& facts, std::string& log);

// Whether any 20 MHz channel of `layout` lies in 5 GHz's radar range
// (channels 52 to 144).
bool NeedsRadar(const ChannelLayout& layout);

enum class ChannelDecision { kChanged, kSwitched, kUnchanged, kNoDecision };

// The whole step of a pass: regulatory facts, decision, and on a change the
// new hostapd configuration, then either a channel switch of the running
// hostapd (kSwitched) or stopped services (kChanged; also when the switch
// fails) (operational thread). A
// pass that serves a request (`serving_request`) writes the configuration
// whatever the decision, so hostapd is launched on the name, passphrase and
// flags that the reports show.
ChannelDecision ChooseChannel(ApRuntime& runtime, OperationalVars& vars, WifiQueryContext& query,
                              int32_t mode, bool serving_request);

}  // namespace ww
