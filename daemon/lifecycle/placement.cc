#include "daemon/lifecycle/placement.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "common/util/format.h"
#include "daemon/hostapd/channel_switch.h"
#include "daemon/hostapd/hostapd_config.h"
#include "daemon/lifecycle/ap_runtime.h"
#include "daemon/lifecycle/old_diplexer.h"
#include "daemon/lifecycle/operational_thread.h"
#include "daemon/lifecycle/services.h"
#include "daemon/netlink/event_monitor.h"
#include "daemon/regulatory/channels.h"
#include "daemon/regulatory/six_ghz.h"

namespace ww {
namespace {

constexpr double kDefaultStationMhz = 2412;
constexpr int kDefaultLow5 = 36;
constexpr int kDefaultHigh5 = 149;
constexpr uint32_t kDefault6 = 37;
// 5 GHz channels where the access point must listen for radar first.
constexpr int kFirstRadarChannel = 52;
constexpr int kLastRadarChannel = 144;

// The station's channel number, -1 outside the known ranges.
int SameChannel(int f) {
  int band = 0;
  int channel = 0;
  return f >= 0 && FrequencyToChannel(static_cast<uint32_t>(f), band, channel) == 0 ? channel : -1;
}

Placement Test(const PlacementInputs& in, std::string& log) {
  Placement p;
  if (!in.serving_request && in.preferred_channel == in.last_test_channel &&
      static_cast<uint32_t>(in.test_band) == in.last_test_band) {
    return p;
  }
  p.kind = Placement::Kind::kTest;
  p.band = in.test_band;
  p.channel = static_cast<int>(in.preferred_channel);
  ChannelToFrequency(p.band, in.preferred_channel, p.frequency);
  Appendf(log, "TEST AP to use channel %d, band %d, freq %d\n", p.channel, p.band, p.frequency);
  return p;
}

// hostapd moves the access point itself, announcing the switch to the
// stations; false (with the reason logged) when it did not.
bool SwitchRunningAccessPoint(ApRuntime& runtime, const ChannelLayout& target, int frequency) {
  const auto started = std::chrono::steady_clock::now();
  const SwitchResult result =
      runtime.state.hostapd.Switch(runtime.hooks.switch_channel, target, frequency);
  const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - started);
  if (result == SwitchResult::kSwitched) {
    std::fprintf(stderr, "Switched channel to freq %d in %lld ms, stations kept\n", frequency,
                 static_cast<long long>(took.count()));
    return true;
  }
  std::fprintf(stderr, "Channel switch to freq %d failed after %lld ms (%s); restarting hostapd\n",
               frequency, static_cast<long long>(took.count()), SwitchResultText(result));
  return false;
}

// The strongest access point of the station's network that its scans saw
// since it lost its own; 0 when none, or while it has not lost one.
uint32_t StationRejoinFrequency(ApRuntime& runtime, const std::string& ssid) {
  const int64_t lost = runtime.state.station_lost_ms.load();
  if (lost == 0) {
    return 0;
  }
  const auto ago = static_cast<uint32_t>(std::min<int64_t>(MonotonicMs() - lost, UINT32_MAX));
  return RejoinFrequency(runtime.hooks.scan_results(runtime.nl80211, kStationInterface), ssid, ago);
}

}  // namespace

Placement DecidePlacement(const PlacementInputs& in, const std::optional<WifiInfo>& station,
                          std::string& log) {
  if (in.mode == kModeTest) {
    return Test(in, log);
  }
  Placement p;
  const bool split = (in.mode == kModeHbs || in.mode == kModeHbs6) && in.no_6ghz == 0;
  const bool same =
      in.mode == kModeScs || ((in.mode == kModeHbs || in.mode == kModeHbs6) && !split);
  if (!split && !same) {
    return p;
  }
  const char* label = split ? (in.mode == kModeHbs6 ? "HBS6" : "HBS") : "SCS";
  if (!station) {
    Appendf(log, "desired_mode = %s, GetWifiInfo() failed\n", label);
    return p;
  }
  Appendf(log, "desired_mode = %s, GetWifiInfo() worked, connected: %d @ %d\n", label,
          station->connected, static_cast<int>(station->frequency));
  double f = 0;
  // Where the station is going, before it is there: a line when it moves
  // the access point.
  const char* ahead = nullptr;
  if (station->connected != 0) {
    if (static_cast<int32_t>(station->frequency) <= 0) {
      return p;
    }
    f = station->frequency;
    if (in.station_switch_mhz > 0 && in.station_switch_mhz != static_cast<int>(f)) {
      f = in.station_switch_mhz;
      ahead = "Station switching to freq";
    }
  } else if (in.station_rejoin_mhz > 0) {
    f = in.station_rejoin_mhz;
    ahead = "Station's network seen on freq";
  } else {
    f = in.remembered_frequency > 0 ? in.remembered_frequency : kDefaultStationMhz;
  }
  if (f == in.last_frequency) {
    return p;
  }
  if (ahead != nullptr) {
    Appendf(log, "%s %.0f\n", ahead, f);
  }
  const int f_mhz = static_cast<int>(f);
  int band = 0;
  int channel = 0;
  (void)FrequencyToChannel(static_cast<uint32_t>(f_mhz), band, channel);
  Appendf(log, "Frequency change new:%.0f != last:%.0f, new band:%d, channel:%d, mode: \n", f,
          in.last_frequency, band, channel);

  p.kind = Placement::Kind::kFollowStation;
  p.station_frequency = f;
  const bool prefs = in.channel_prefs_set == 1;
  if (split) {
    p.band = kBand5;
    if (f > in.split_threshold_mhz) {
      p.channel =
          prefs && in.preferred_5ghz_channel != 0 ? in.preferred_5ghz_channel : kDefaultLow5;
      Appendf(log, "SPLIT:%d, STA ON %d, AP ON LO %d\n", in.split_threshold_mhz, f_mhz, p.channel);
    } else if (in.mode == kModeHbs && in.old_diplexer) {
      p.channel =
          prefs && in.preferred_5ghz_channel != 0 ? in.preferred_5ghz_channel : kDefaultHigh5;
      Appendf(log, "SPLIT:%d, STA ON %d, AP ON HI %d\n", in.split_threshold_mhz, f_mhz, p.channel);
    } else {
      p.band = kBand6;
      uint32_t six = 0;
      if (prefs && in.preferred_6ghz_channel != 0) {
        six = static_cast<uint32_t>(in.preferred_6ghz_channel);
        p.preferred_channel = six;
      } else {
        six = in.preferred_channel != 0 ? in.preferred_channel : kDefault6;
      }
      p.channel = static_cast<int>(six);
      Appendf(log, "SPLIT:%d, STA ON %d, AP ON HI (6) %d\n", in.split_threshold_mhz, f_mhz,
              p.channel);
    }
  } else {
    p.band = band;
    p.channel = SameChannel(f_mhz);
    Appendf(log, "SCS STA ON %d, AP ON %d\n", f_mhz, p.channel);
  }
  ChannelToFrequency(p.band, static_cast<uint32_t>(p.channel), p.frequency);
  return p;
}

bool NeedsRadar(const ChannelLayout& layout) {
  if (layout.band != kBand5) {
    return false;
  }
  // Channels are 5 MHz apart, 20 MHz channels four numbers apart.
  const int half = layout.width_mhz / 10 - 2;
  for (int c = layout.centre_channel - half; c <= layout.centre_channel + half; c += 4) {
    if (c >= kFirstRadarChannel && c <= kLastRadarChannel) {
      return true;
    }
  }
  return false;
}

Move DecideMove(const Placement& placement, const MoveFacts& facts, std::string& log) {
  const std::optional<WifiInfo>& ap = facts.ap;
  if (ap && static_cast<int>(ap->frequency) == placement.frequency) {
    Appendf(log, "AP band %d, channel %d (freq %d) unchanged, not recreating softap\n",
            placement.band, placement.channel, placement.frequency);
    return Move::kKeep;
  }
  if (placement.kind != Placement::Kind::kFollowStation || !facts.hostapd_running || !ap) {
    return Move::kRestart;
  }
  const ChannelLayout& to = facts.target;
  const bool same_band = ap->band == to.band && to.band != kBandNone;
  const bool same_width = ap->width == to.width_mhz;
  return same_band && same_width && !NeedsRadar(to) ? Move::kSwitch : Move::kRestart;
}

ChannelDecision ChooseChannel(ApRuntime& runtime, OperationalVars& vars, WifiQueryContext& query,
                              int32_t mode, bool serving_request) {
  DaemonState& ds = runtime.state;
  CheckSixGhzAvailability(runtime);
  PlacementInputs in{
      .mode = mode,
      .no_6ghz = ds.no_6ghz,
      .old_diplexer = mode == kModeHbs && OldDiplexerPresent(runtime),
      .split_threshold_mhz = ds.split_threshold_mhz,
      .channel_prefs_set = ds.channel_prefs_set,
      .preferred_5ghz_channel = ds.preferred_5ghz_channel,
      .preferred_6ghz_channel = ds.preferred_6ghz_channel,
      .preferred_channel = ds.preferred_channel,
      .test_band = ds.test_band,
      .last_test_channel = ds.last_test_channel,
      .last_test_band = ds.last_test_band,
      .last_frequency = vars.last_frequency,
      .remembered_frequency = vars.remembered_frequency,
      .station_switch_mhz = ds.station_switch_mhz.load(),
      .serving_request = serving_request,
  };
  std::optional<WifiInfo> station;
  if (mode != kModeTest) {
    WifiInfo info{};
    if (runtime.hooks.query(query, kStationInterface, info) == 0) {
      station = info;
    }
  }
  if (station && station->connected != 0) {
    vars.upstream_ssid.assign(station->ssid, strnlen(station->ssid, sizeof station->ssid));
  } else if (station && !vars.upstream_ssid.empty()) {
    in.station_rejoin_mhz = StationRejoinFrequency(runtime, vars.upstream_ssid);
  }
  std::string log;
  const Placement p = DecidePlacement(in, station, log);
  std::fputs(log.c_str(), stderr);
  log.clear();
  if (p.kind == Placement::Kind::kNoDecision) {
    // Nothing new to place (say the station cannot be asked): the request's
    // settings still go to hostapd, on the channel it had.
    if (serving_request && vars.ap_frequency != 0) {
      CreateHostapdConfig(runtime, vars.ap_frequency, runtime.paths.hostapd_conf);
    }
    return ChannelDecision::kNoDecision;
  }
  if (p.preferred_channel) {
    ds.preferred_channel = *p.preferred_channel;
  }
  Move move = Move::kRestart;
  const ChannelLayout target = LayoutFor(p.frequency, ds.use_160mhz.load() != 0);
  if (p.kind == Placement::Kind::kTest) {
    ds.last_test_channel = static_cast<uint32_t>(p.channel);
    ds.last_test_band = static_cast<uint32_t>(p.band);
  } else {
    MoveFacts facts;
    WifiInfo info{};
    // A missing interface fails the query (its index is asked first).
    if (runtime.hooks.query(query, kApInterface, info) == 0) {
      facts.ap = info;
    }
    facts.target = target;
    facts.hostapd_running =
        !serving_request && !vars.launch_needed && !vars.stop_first && HostapdHealthy(runtime);
    move = DecideMove(p, facts, log);
    std::fputs(log.c_str(), stderr);
    if (move == Move::kKeep) {
      vars.remembered_frequency = vars.last_frequency = p.station_frequency;
      if (serving_request) {
        // The same channel, but maybe a new name, passphrase, width or
        // hidden flag: the pass relaunches hostapd on this file.
        CreateHostapdConfig(runtime, p.frequency, runtime.paths.hostapd_conf);
        vars.ap_frequency = p.frequency;
      }
      return ChannelDecision::kUnchanged;
    }
    std::fprintf(stderr, "Changing to use channel %d, band %d, freq %d\n", p.channel, p.band,
                 p.frequency);
  }
  CreateHostapdConfig(runtime, p.frequency, runtime.paths.hostapd_conf);
  vars.ap_frequency = p.frequency;
  if (move == Move::kSwitch && SwitchRunningAccessPoint(runtime, target, p.frequency)) {
    vars.last_frequency = vars.remembered_frequency = p.station_frequency;
    return ChannelDecision::kSwitched;
  }
  StopServices(runtime);
  ds.stations.store(0);
  if (p.kind == Placement::Kind::kFollowStation) {
    vars.last_frequency = vars.remembered_frequency = p.station_frequency;
  }
  return ChannelDecision::kChanged;
}

}  // namespace ww
