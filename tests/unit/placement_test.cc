// The placement decision for every mode, as a pure function of its inputs,
// and the step of a pass that applies it.
#include "daemon/lifecycle/placement.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "daemon/lifecycle/operational_thread.h"
#include "daemon/regulatory/channels.h"
#include "tests/unit/fake_kernel.h"
#include "tests/unit/test_daemon.h"

namespace ww {
namespace {

PlacementInputs Inputs(int32_t mode) {
  return PlacementInputs{.mode = mode,
                         .no_6ghz = 0,
                         .old_diplexer = false,
                         .split_threshold_mhz = 5900,
                         .channel_prefs_set = 0,
                         .preferred_5ghz_channel = 0,
                         .preferred_6ghz_channel = 0,
                         .preferred_channel = 0,
                         .test_band = 0,
                         .last_test_channel = 0,
                         .last_test_band = 0,
                         .last_frequency = -1,
                         .remembered_frequency = 0};
}

WifiInfo Station(uint32_t mhz, int32_t connected = 1) {
  WifiInfo info{};
  info.frequency = mhz;
  info.connected = connected;
  return info;
}

struct Decided {
  Placement placement;
  std::string log;
};

Decided Decide(const PlacementInputs& in, const std::optional<WifiInfo>& station) {
  Decided d;
  d.placement = DecidePlacement(in, station, d.log);
  return d;
}

void ExpectAp(const Placement& p, int band, int channel, int frequency) {
  EXPECT_EQ(p.kind, Placement::Kind::kFollowStation);
  EXPECT_EQ(p.band, band);
  EXPECT_EQ(p.channel, channel);
  EXPECT_EQ(p.frequency, frequency);
}

TEST(DecidePlacement, StationOnTwoFourGhzPutsTheApOnSixGhz37) {
  const Decided d = Decide(Inputs(kModeHbs), Station(2437));
  ExpectAp(d.placement, 6, 37, 6135);
  EXPECT_EQ(d.placement.station_frequency, 2437);
  EXPECT_EQ(d.log,
            "desired_mode = HBS, GetWifiInfo() worked, connected: 1 @ 2437\n"
            "Frequency change new:2437 != last:-1, new band:2, channel:6, mode: \n"
            "SPLIT:5900, STA ON 2437, AP ON HI (6) 37\n");
}

TEST(DecidePlacement, StationLowOnFiveGhzDependsOnTheBoard) {
  ExpectAp(Decide(Inputs(kModeHbs), Station(5180)).placement, 6, 37, 6135);
  PlacementInputs old = Inputs(kModeHbs);
  old.old_diplexer = true;
  old.split_threshold_mhz = 5470;
  const Decided d = Decide(old, Station(5180));
  ExpectAp(d.placement, 5, 149, 5745);
  EXPECT_NE(d.log.find("SPLIT:5470, STA ON 5180, AP ON HI 149\n"), std::string::npos);
  // hbs6 ignores the board: always 6 GHz on the high side.
  old.mode = kModeHbs6;
  const Decided six = Decide(old, Station(5180));
  ExpectAp(six.placement, 6, 37, 6135);
  EXPECT_EQ(six.log.substr(0, 22), "desired_mode = HBS6, G");
}

TEST(DecidePlacement, StationHighPutsTheApLow) {
  PlacementInputs old = Inputs(kModeHbs);
  old.old_diplexer = true;
  old.split_threshold_mhz = 5470;
  const Decided d = Decide(old, Station(5745));
  ExpectAp(d.placement, 5, 36, 5180);
  EXPECT_NE(d.log.find("SPLIT:5470, STA ON 5745, AP ON LO 36\n"), std::string::npos);
  old.channel_prefs_set = 1;
  old.preferred_5ghz_channel = 52;
  ExpectAp(Decide(old, Station(5745)).placement, 5, 52, 5260);
  ExpectAp(Decide(Inputs(kModeHbs), Station(6135)).placement, 5, 36, 5180);
}

TEST(DecidePlacement, ExactlyAtTheThresholdIsLow) {
  ExpectAp(Decide(Inputs(kModeHbs6), Station(5900)).placement, 6, 37, 6135);
  ExpectAp(Decide(Inputs(kModeHbs6), Station(5901)).placement, 5, 36, 5180);
}

TEST(DecidePlacement, WithoutSixGhzSplitModesFollowTheStation) {
  PlacementInputs in = Inputs(kModeHbs);
  in.no_6ghz = 1;
  const Decided d = Decide(in, Station(2437));
  ExpectAp(d.placement, 2, 6, 2437);
  EXPECT_EQ(d.log,
            "desired_mode = SCS, GetWifiInfo() worked, connected: 1 @ 2437\n"
            "Frequency change new:2437 != last:-1, new band:2, channel:6, mode: \n"
            "SCS STA ON 2437, AP ON 6\n");
  ExpectAp(Decide(Inputs(kModeScs), Station(5955)).placement, 6, 1, 5955);
  ExpectAp(Decide(Inputs(kModeScs), Station(2484)).placement, 2, 14, 2484);
}

TEST(DecidePlacement, AStationOutsideTheBandsGivesFrequencyZero) {
  const Decided d = Decide(Inputs(kModeScs), Station(5935));
  ExpectAp(d.placement, 0, -1, 0);
  EXPECT_NE(d.log.find("SCS STA ON 5935, AP ON -1\n"), std::string::npos);
}

TEST(DecidePlacement, DisconnectedStationKeepsTheApWhereItIs) {
  PlacementInputs in = Inputs(kModeScs);
  in.last_frequency = 5180;
  in.remembered_frequency = 5180;
  const Decided d = Decide(in, Station(0, 0));
  EXPECT_EQ(d.placement.kind, Placement::Kind::kNoDecision);
  EXPECT_EQ(d.log, "desired_mode = SCS, GetWifiInfo() worked, connected: 0 @ 0\n");
  // Never connected: taken as 2412.
  ExpectAp(Decide(Inputs(kModeScs), Station(0, 0)).placement, 2, 1, 2412);
  in.last_frequency = -1;
  ExpectAp(Decide(in, Station(0, 0)).placement, 5, 36, 5180);
}

TEST(DecidePlacement, AnAnnouncedStationMoveIsPlacedBeforeItCompletes) {
  PlacementInputs in = Inputs(kModeScs);
  in.last_frequency = 2412;
  in.station_switch_mhz = 2462;
  const Decided d = Decide(in, Station(2412));
  ExpectAp(d.placement, 2, 11, 2462);
  EXPECT_EQ(d.placement.station_frequency, 2462);
  EXPECT_EQ(d.log,
            "desired_mode = SCS, GetWifiInfo() worked, connected: 1 @ 2412\n"
            "Station switching to freq 2462\n"
            "Frequency change new:2462 != last:2412, new band:2, channel:11, mode: \n"
            "SCS STA ON 2462, AP ON 11\n");
  // Lost, with its network seen elsewhere: the access point goes ahead.
  in.station_switch_mhz = 0;
  in.station_rejoin_mhz = 2437;
  in.remembered_frequency = 2412;
  const Decided rejoin = Decide(in, Station(0, 0));
  ExpectAp(rejoin.placement, 2, 6, 2437);
  EXPECT_EQ(rejoin.log,
            "desired_mode = SCS, GetWifiInfo() worked, connected: 0 @ 0\n"
            "Station's network seen on freq 2437\n"
            "Frequency change new:2437 != last:2412, new band:2, channel:6, mode: \n"
            "SCS STA ON 2437, AP ON 6\n");
  in.station_rejoin_mhz = 0;
  in.station_switch_mhz = 2462;
  // Once there, or disconnected, the announcement adds nothing.
  in.last_frequency = 2462;
  EXPECT_EQ(Decide(in, Station(2462)).placement.kind, Placement::Kind::kNoDecision);
  in.remembered_frequency = 2462;
  EXPECT_EQ(Decide(in, Station(0, 0)).placement.kind, Placement::Kind::kNoDecision);
}

TEST(DecidePlacement, NoDecisionCases) {
  PlacementInputs in = Inputs(kModeHbs);
  in.last_frequency = 2437;
  EXPECT_EQ(Decide(in, Station(2437)).placement.kind, Placement::Kind::kNoDecision);
  const Decided failed = Decide(Inputs(kModeHbs6), std::nullopt);
  EXPECT_EQ(failed.placement.kind, Placement::Kind::kNoDecision);
  EXPECT_EQ(failed.log, "desired_mode = HBS6, GetWifiInfo() failed\n");
  // Connected without a positive frequency.
  EXPECT_EQ(Decide(Inputs(kModeScs), Station(0x80000000u)).placement.kind,
            Placement::Kind::kNoDecision);
  EXPECT_EQ(Decide(Inputs(kModeScs), Station(0)).placement.kind, Placement::Kind::kNoDecision);
  const Decided none = Decide(Inputs(kModeNone), Station(2412));
  EXPECT_EQ(none.placement.kind, Placement::Kind::kNoDecision);
  EXPECT_EQ(none.log, "");
}

TEST(DecidePlacement, SixGhzPreferences) {
  PlacementInputs in = Inputs(kModeHbs);
  in.channel_prefs_set = 1;
  in.preferred_6ghz_channel = 69;
  Placement p = Decide(in, Station(2412)).placement;
  ExpectAp(p, 6, 69, 6295);
  EXPECT_EQ(p.preferred_channel, 69u);
  // A preference of 0 falls back to preferred_channel, then 37.
  in.preferred_6ghz_channel = 0;
  in.preferred_channel = 101;
  p = Decide(in, Station(2412)).placement;
  ExpectAp(p, 6, 101, 6455);
  EXPECT_FALSE(p.preferred_channel.has_value());
  in.preferred_channel = 0;
  ExpectAp(Decide(in, Station(2412)).placement, 6, 37, 6135);
}

TEST(DecidePlacement, TestModeDecidesOncePerBandAndChannel) {
  PlacementInputs in = Inputs(kModeTest);
  in.test_band = 5;
  in.preferred_channel = 36;
  const Decided d = Decide(in, std::nullopt);
  EXPECT_EQ(d.placement.kind, Placement::Kind::kTest);
  EXPECT_EQ(d.placement.frequency, 5180);
  EXPECT_EQ(d.log, "TEST AP to use channel 36, band 5, freq 5180\n");
  in.last_test_channel = 36;
  in.last_test_band = 5;
  EXPECT_EQ(Decide(in, std::nullopt).placement.kind, Placement::Kind::kNoDecision);
  // A test request on the same band and channel still writes its settings.
  in.serving_request = true;
  EXPECT_EQ(Decide(in, std::nullopt).placement.kind, Placement::Kind::kTest);
}

WifiInfo Ap(uint32_t mhz, int32_t width) {
  WifiInfo info{};
  info.frequency = mhz;
  info.is_ap = 1;
  info.width = width;
  int band = 0;
  int channel = 0;
  (void)FrequencyToChannel(mhz, band, channel);
  info.band = band;
  info.channel = static_cast<uint32_t>(channel);
  return info;
}

// Keep, restart or switch: a switch only where phones can follow one.
TEST(DecideMove, SwitchesOnlyWithinABandAtTheSameWidthAwayFromRadar) {
  const struct {
    const char* row;
    Placement::Kind kind;
    int to_mhz;
    bool use_160mhz;
    std::optional<WifiInfo> ap;
    bool running;
    Move move;
  } rows[] = {
      {"same frequency", Placement::Kind::kFollowStation, 2437, false, Ap(2437, 20), true,
       Move::kKeep},
      {"2.4 GHz channel 1 to 11", Placement::Kind::kFollowStation, 2462, false, Ap(2412, 20), true,
       Move::kSwitch},
      {"5 GHz 36 to 149 at 80 MHz", Placement::Kind::kFollowStation, 5745, false, Ap(5180, 80),
       true, Move::kSwitch},
      {"6 GHz 37 to 69 at 160 MHz", Placement::Kind::kFollowStation, 6295, true, Ap(6135, 160),
       true, Move::kSwitch},
      {"cross band, 2.4 to 6 GHz", Placement::Kind::kFollowStation, 6135, false, Ap(2412, 20), true,
       Move::kRestart},
      {"into radar channels", Placement::Kind::kFollowStation, 5260, false, Ap(5180, 80), true,
       Move::kRestart},
      {"radar block from its edge", Placement::Kind::kFollowStation, 5500, false, Ap(5745, 80),
       true, Move::kRestart},
      {"width change 80 to 160", Placement::Kind::kFollowStation, 6295, true, Ap(6135, 80), true,
       Move::kRestart},
      {"hostapd not running", Placement::Kind::kFollowStation, 2462, false, Ap(2412, 20), false,
       Move::kRestart},
      {"access point not queried", Placement::Kind::kFollowStation, 2462, false, std::nullopt, true,
       Move::kRestart},
      {"test mode", Placement::Kind::kTest, 2462, false, Ap(2412, 20), true, Move::kRestart},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.row);
    Placement p;
    p.kind = row.kind;
    p.frequency = row.to_mhz;
    (void)FrequencyToChannel(static_cast<uint32_t>(row.to_mhz), p.band, p.channel);
    const MoveFacts facts{.ap = row.ap,
                          .target = LayoutFor(row.to_mhz, row.use_160mhz),
                          .hostapd_running = row.running};
    std::string log;
    EXPECT_EQ(DecideMove(p, facts, log), row.move);
    EXPECT_EQ(log.empty(), row.move != Move::kKeep) << log;
  }
  Placement p;
  p.kind = Placement::Kind::kFollowStation;
  p.band = 6;
  p.channel = 37;
  p.frequency = 6135;
  std::string log;
  EXPECT_EQ(
      DecideMove(p, MoveFacts{.ap = Ap(6135, 80), .target = {}, .hostapd_running = false}, log),
      Move::kKeep);
  EXPECT_EQ(log, "AP band 6, channel 37 (freq 6135) unchanged, not recreating softap\n");
}

// The applying step, with the kernel and the interface queries made up.
class ChooseChannelTest : public testing::KernelTest<testing::TestDaemon> {
 protected:
  void SetUp() override {
    KernelTest::SetUp();
    // A kernel with no phy domain: every regulatory request is only acked.
    kernel_.Answer(std::vector<std::vector<testing::Block>>(
        12, std::vector<testing::Block>{testing::BlockBuilder().Ack().Build()}));
  }
  ChannelDecision Choose(int32_t mode, bool serving_request = false) {
    ::testing::internal::CaptureStderr();
    const ChannelDecision d = ChooseChannel(daemon_, vars_, query_, mode, serving_request);
    log_ = ::testing::internal::GetCapturedStderr();
    return d;
  }
  OperationalVars vars_;
  WifiQueryContext query_{};
  std::string log_;
};

TEST_F(ChooseChannelTest, ChangedWritesTheConfigurationAndStopsTheServices) {
  daemon_.interfaces["wlan0"] = Station(5745);
  daemon_.state.stations.store(4);
  vars_.last_frequency = -1;
  EXPECT_EQ(Choose(kModeScs), ChannelDecision::kChanged);
  EXPECT_NE(log_.find("Changing to use channel 149, band 5, freq 5745\n"), std::string::npos)
      << log_;
  EXPECT_NE(testing::TempDir::Read(daemon_.File("softap_hostapd.conf")).find("channel=149"),
            std::string::npos);
  EXPECT_EQ(daemon_.commands.front(), "killall hostapd 2> /dev/null || true");
  EXPECT_EQ(daemon_.state.stations.load(), 0);
  EXPECT_EQ(vars_.last_frequency, 5745);
  EXPECT_EQ(vars_.remembered_frequency, 5745);
  // The same station frequency again: nothing to decide.
  EXPECT_EQ(Choose(kModeScs), ChannelDecision::kNoDecision);
}

// A healthy access point following the station within its band is moved by
// hostapd's switch; a failed switch falls back to the restart.
TEST_F(ChooseChannelTest, AHealthyAccessPointSwitchesAndFallsBackToARestart) {
  ASSERT_TRUE(daemon_.FakeProcess(31, "/usr/sbin/hostapd"));
  daemon_.state.hostapd.Track(31);
  daemon_.state.state = kStateRunning;
  daemon_.state.stations.store(1);
  vars_.launch_needed = false;
  vars_.stop_first = false;
  vars_.last_frequency = 2412;
  daemon_.interfaces["wlan0"] = Station(2462);
  daemon_.interfaces["wlanap"] = Ap(2412, 20);
  daemon_.switch_result = SwitchResult::kSwitched;
  EXPECT_EQ(Choose(kModeScs), ChannelDecision::kSwitched);
  EXPECT_EQ(daemon_.switches,
            std::vector<std::string>{"CHAN_SWITCH 5 2462 center_freq1=2462 bandwidth=20 he eht"});
  EXPECT_TRUE(daemon_.commands.empty()) << daemon_.commands.front();
  EXPECT_EQ(daemon_.state.stations.load(), 1);
  EXPECT_EQ(vars_.last_frequency, 2462);
  const size_t changing = log_.find("Changing to use channel 11, band 2, freq 2462\n");
  const size_t switched = log_.find("\nSwitched channel to freq 2462 in ");
  ASSERT_NE(switched, std::string::npos) << log_;
  EXPECT_LT(changing, switched) << log_;
  EXPECT_NE(testing::TempDir::Read(daemon_.File("softap_hostapd.conf")).find("\nchannel=11\n"),
            std::string::npos);

  daemon_.interfaces["wlan0"] = Station(2412);
  daemon_.interfaces["wlanap"] = Ap(2462, 20);
  daemon_.switch_result = SwitchResult::kTimedOut;
  EXPECT_EQ(Choose(kModeScs), ChannelDecision::kChanged);
  EXPECT_NE(log_.find("Channel switch to freq 2412 failed after "), std::string::npos) << log_;
  EXPECT_NE(log_.find("(the switch did not complete in time); restarting hostapd\n"),
            std::string::npos)
      << log_;
  EXPECT_EQ(daemon_.commands.front(), "killall hostapd 2> /dev/null || true");
  EXPECT_EQ(daemon_.state.stations.load(), 0);
}

// The station lost its access point and its scans see its network on
// another channel: the access point moves there first, by a switch, so that
// a station on a radio of one channel can join it.
TEST_F(ChooseChannelTest, ALostStationsNetworkSeenElsewhereDrawsTheAccessPoint) {
  ASSERT_TRUE(daemon_.FakeProcess(31, "/usr/sbin/hostapd"));
  daemon_.state.hostapd.Track(31);
  daemon_.state.state = kStateRunning;
  vars_.launch_needed = false;
  vars_.stop_first = false;
  vars_.last_frequency = 2412;
  WifiInfo station = Station(2412);
  std::strcpy(station.ssid, "upstream");
  daemon_.interfaces["wlan0"] = station;
  daemon_.interfaces["wlanap"] = Ap(2412, 20);
  EXPECT_EQ(Choose(kModeScs), ChannelDecision::kNoDecision);
  EXPECT_EQ(vars_.upstream_ssid, "upstream");

  daemon_.interfaces["wlan0"] = Station(0, 0);
  // Seen 100 ms ago (after the loss), an older sighting, another network.
  daemon_.scan = {{2462, -3000, 100, "upstream"},
                  {2412, -2000, 60000, "upstream"},
                  {2437, -1000, 100, "other"}};
  EXPECT_EQ(Choose(kModeScs), ChannelDecision::kNoDecision);  // not lost yet
  daemon_.state.station_lost_ms.store(
      std::chrono::duration_cast<std::chrono::milliseconds>(
          (std::chrono::steady_clock::now() - std::chrono::seconds(2)).time_since_epoch())
          .count());
  daemon_.switch_result = SwitchResult::kSwitched;
  EXPECT_EQ(Choose(kModeScs), ChannelDecision::kSwitched) << log_;
  EXPECT_EQ(daemon_.switches,
            std::vector<std::string>{"CHAN_SWITCH 5 2462 center_freq1=2462 bandwidth=20 he eht"});
  EXPECT_NE(log_.find("Station's network seen on freq 2462\n"), std::string::npos) << log_;
  EXPECT_EQ(vars_.remembered_frequency, 2462);
}

TEST_F(ChooseChannelTest, TestModeRemembersItsBandAndChannel) {
  daemon_.state.test_band = 2;
  daemon_.state.preferred_channel = 6;
  EXPECT_EQ(Choose(kModeTest), ChannelDecision::kChanged);
  EXPECT_EQ(daemon_.state.last_test_channel, 6u);
  EXPECT_EQ(daemon_.state.last_test_band, 2u);
  EXPECT_EQ(vars_.last_frequency, 0);  // untouched by the test path
  EXPECT_TRUE(daemon_.queried.empty());
  EXPECT_EQ(Choose(kModeTest), ChannelDecision::kNoDecision);
}

// A request served while the station cannot be asked keeps the channel the
// access point had, with the request's settings.
TEST_F(ChooseChannelTest, RequestWithoutADecisionRewritesTheLastChannel) {
  const std::string conf = daemon_.File("softap_hostapd.conf");
  EXPECT_EQ(Choose(kModeScs, true), ChannelDecision::kNoDecision);  // no channel known yet
  EXPECT_EQ(testing::TempDir::Read(conf), "");
  vars_.ap_frequency = 5745;
  std::strcpy(daemon_.state.ssid, "renamed");
  EXPECT_EQ(Choose(kModeScs), ChannelDecision::kNoDecision);
  EXPECT_EQ(testing::TempDir::Read(conf), "");
  EXPECT_EQ(Choose(kModeScs, true), ChannelDecision::kNoDecision);
  const std::string text = testing::TempDir::Read(conf);
  EXPECT_NE(text.find("\nssid=renamed\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\nchannel=149\n"), std::string::npos) << text;
}

}  // namespace
}  // namespace ww
