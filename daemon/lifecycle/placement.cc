#include "daemon/lifecycle/placement.h"

#include "daemon/hostapd/hostapd_config.h"
#include "daemon/lifecycle/ap_runtime.h"
#include "daemon/lifecycle/old_diplexer.h"
#include "daemon/lifecycle/operational_thread.h"
#include "daemon/lifecycle/services.h"
#include "daemon/regulatory/channels.h"
#include "daemon/regulatory/six_ghz.h"

namespace ww {
namespace {

constexpr double kDefaultStationMhz = 2412;
constexpr int kDefaultLow5 = 36;
constexpr int kDefaultHigh5 = 149;
constexpr uint32_t kDefault6 = 37;

// The station's channel number, -1 outside the known ranges.
int SameChannel(int f) {
  int band = 0;
  int channel = 0;
  return f >= 0 && FrequencyToChannel(static_cast<uint32_t>(f), band, channel) == 0 ? channel : -1;
}

Placement Test(const PlacementInputs& in, FILE* log) {
  Placement p;
  if (!in.serving_request && in.preferred_channel == in.last_test_channel &&
      static_cast<uint32_t>(in.test_band) == in.last_test_band) {
    return p;
  }
  p.kind = Placement::Kind::kTest;
  p.band = in.test_band;
  p.channel = static_cast<int>(in.preferred_channel);
  ChannelToFrequency(p.band, in.preferred_channel, p.frequency);
  std::fprintf(log, "TEST AP to use channel %d, band %d, freq %d\n", p.channel, p.band,
               p.frequency);
  return p;
}

}  // namespace

Placement DecidePlacement(const PlacementInputs& in, const std::optional<WifiInfo>& station,
                          FILE* log) {
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
    std::fprintf(log, "desired_mode = %s, GetWifiInfo() failed\n", label);
    return p;
  }
  std::fprintf(log, "desired_mode = %s, GetWifiInfo() worked, connected: %d @ %d\n", label,
               station->connected, static_cast<int>(station->frequency));
  double f = 0;
  if (station->connected != 0) {
    if (static_cast<int32_t>(station->frequency) <= 0) {
      return p;
    }
    f = station->frequency;
  } else {
    f = in.remembered_frequency > 0 ? in.remembered_frequency : kDefaultStationMhz;
  }
  if (f == in.last_frequency) {
    return p;
  }
  const int f_mhz = static_cast<int>(f);
  int band = 0;
  int channel = 0;
  (void)FrequencyToChannel(static_cast<uint32_t>(f_mhz), band, channel);
  std::fprintf(log, "Frequency change new:%.0f != last:%.0f, new band:%d, channel:%d, mode: \n", f,
               in.last_frequency, band, channel);

  p.kind = Placement::Kind::kFollowStation;
  p.station_frequency = f;
  const bool prefs = in.channel_prefs_set == 1;
  if (split) {
    p.band = kBand5;
    if (f > in.split_threshold_mhz) {
      p.channel =
          prefs && in.preferred_5ghz_channel != 0 ? in.preferred_5ghz_channel : kDefaultLow5;
      std::fprintf(log, "SPLIT:%d, STA ON %d, AP ON LO %d\n", in.split_threshold_mhz, f_mhz,
                   p.channel);
    } else if (in.mode == kModeHbs && in.old_diplexer) {
      p.channel =
          prefs && in.preferred_5ghz_channel != 0 ? in.preferred_5ghz_channel : kDefaultHigh5;
      std::fprintf(log, "SPLIT:%d, STA ON %d, AP ON HI %d\n", in.split_threshold_mhz, f_mhz,
                   p.channel);
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
      std::fprintf(log, "SPLIT:%d, STA ON %d, AP ON HI (6) %d\n", in.split_threshold_mhz, f_mhz,
                   p.channel);
    }
  } else {
    p.band = band;
    p.channel = SameChannel(f_mhz);
    std::fprintf(log, "SCS STA ON %d, AP ON %d\n", f_mhz, p.channel);
  }
  ChannelToFrequency(p.band, static_cast<uint32_t>(p.channel), p.frequency);
  return p;
}

bool PlacementUnchanged(const Placement& placement, const std::optional<WifiInfo>& ap, FILE* log) {
  if (!ap || static_cast<int>(ap->frequency) != placement.frequency) {
    return false;
  }
  std::fprintf(log, "AP band %d, channel %d (freq %d) unchanged, not recreating softap\n",
               placement.band, placement.channel, placement.frequency);
  return true;
}

ChannelDecision ChooseChannel(ApRuntime& runtime, OperationalVars& vars, WifiQueryContext& query,
                              int32_t mode, bool serving_request) {
  DaemonState& ds = runtime.state;
  CheckSixGhzAvailability(runtime);
  const PlacementInputs in{
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
      .serving_request = serving_request,
  };
  std::optional<WifiInfo> station;
  if (mode != kModeTest) {
    WifiInfo info{};
    if (runtime.hooks.query(query, kStationInterface, info) == 0) {
      station = info;
    }
  }
  const Placement p = DecidePlacement(in, station, stderr);
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
  if (p.kind == Placement::Kind::kTest) {
    ds.last_test_channel = static_cast<uint32_t>(p.channel);
    ds.last_test_band = static_cast<uint32_t>(p.band);
  } else {
    std::optional<WifiInfo> ap;
    WifiInfo info{};
    // A missing interface fails the query (its index is asked first).
    if (runtime.hooks.query(query, kApInterface, info) == 0) {
      ap = info;
    }
    if (PlacementUnchanged(p, ap, stderr)) {
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
  StopServices(runtime);
  ds.stations.store(0);
  if (p.kind == Placement::Kind::kFollowStation) {
    vars.last_frequency = vars.remembered_frequency = p.station_frequency;
  }
  return ChannelDecision::kChanged;
}

}  // namespace ww
