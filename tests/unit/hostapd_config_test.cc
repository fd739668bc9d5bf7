// hostapd's configuration: the whole file per band, channel, width, country
// and hidden-name request, the lines meant for the journal, and the writer
// against a real folder.
#include "daemon/hostapd/hostapd_config.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <string>

#include "daemon/core/daemon.h"
#include "tests/unit/temp_dir.h"
#include "tests/unit/test_daemon.h"

namespace ww {
namespace {

// The file for 2437 MHz in DE, for the name "Lab Net" and the password
// "s3cret pass", written out whole. Every other file below is this text with
// the lines that differ changed.
constexpr const char* k24GhzFile =
    "interface=wlanap\n"
    "driver=nl80211\n"
    "ssid=Lab Net\n"
    "country_code=DE\n"
    "ieee80211d=1\n"
    "macaddr_acl=0\n"
    "auth_algs=1\n"
    "channel=6\n"
    "ieee80211ax=1\n"
    "ieee80211be=1\n"
    "uapsd_advertisement_enabled=0\n"
    "obss_interval=0\n"
    "he_su_beamformer=0\n"
    "he_su_beamformee=0\n"
    "he_mu_beamformer=0\n"
    "eht_su_beamformer=0\n"
    "eht_su_beamformee=0\n"
    "eht_mu_beamformer=0\n"
    "vht_capab=[-SU-BEAMFORMER][-SU-BEAMFORMEE][-MU-BEAMFORMER][-MU-BEAMFORMEE]"
    "[-SOUNDING-DIMENSION-2][-RX-ANTENNA-PATTERN][-TX-ANTENNA-PATTERN][MAX-MPDU-11454][RXLDPC]"
    "[SHORT-GI-80][TX-STBC-2BY1][RX-STBC-1][MAX-A-MPDU-LEN-EXP7]\n"
    "he_twt_responder=0\n"
    "wmm_enabled=1\n"
    "wmm_ac_bk_aifs=1\n"
    "tx_queue_data0_aifs=1\n"
    "wmm_ac_bk_cwmin=3\n"
    "wmm_ac_bk_cwmax=7\n"
    "tx_queue_data0_cwmin=3\n"
    "tx_queue_data0_cwmax=7\n"
    "wmm_ac_bk_txop_limit=31\n"
    "tx_queue_data0_burst=2.0\n"
    "wmm_ac_bk_acm=0\n"
    "wmm_ac_be_aifs=1\n"
    "tx_queue_data1_aifs=1\n"
    "wmm_ac_be_cwmin=3\n"
    "wmm_ac_be_cwmax=7\n"
    "tx_queue_data1_cwmin=3\n"
    "tx_queue_data1_cwmax=7\n"
    "wmm_ac_be_txop_limit=31\n"
    "tx_queue_data1_burst=2.0\n"
    "wmm_ac_be_acm=0\n"
    "wmm_ac_vi_aifs=1\n"
    "tx_queue_data2_aifs=1\n"
    "wmm_ac_vi_cwmin=3\n"
    "wmm_ac_vi_cwmax=7\n"
    "tx_queue_data2_cwmin=3\n"
    "tx_queue_data2_cwmax=7\n"
    "wmm_ac_vi_txop_limit=31\n"
    "tx_queue_data2_burst=2.0\n"
    "wmm_ac_vi_acm=0\n"
    "wmm_ac_vo_aifs=1\n"
    "tx_queue_data3_aifs=1\n"
    "wmm_ac_vo_cwmin=3\n"
    "wmm_ac_vo_cwmax=7\n"
    "tx_queue_data3_cwmin=3\n"
    "tx_queue_data3_cwmax=7\n"
    "wmm_ac_vo_txop_limit=31\n"
    "tx_queue_data3_burst=2.0\n"
    "wmm_ac_vo_acm=0\n"
    "wpa=2\n"
    "rsn_pairwise=CCMP\n"
    "sae_pwe=2\n"
    "wpa_passphrase=s3cret pass\n"
    "sae_password=s3cret pass\n"
    "sae_require_mfp=1\n"
    "qos_map_set=46,6,34,5, 0,7, 8,15, 16,23, 24,31, 32,39, 40,47, 48,55, 56,63\n"
    "hw_mode=g\n"
    "he_oper_chwidth=0\n"
    "ctrl_interface=/var/run/hostapd\n"
    "ap_max_inactivity=10\n";

// The lines 2.4 GHz gives, which the other bands replace.
constexpr const char* k24GhzLines =
    "hw_mode=g\n"
    "he_oper_chwidth=0\n";

// The 5 GHz lines: {0} the centre of the 80 MHz block, {1} the side of the
// secondary channel.
constexpr const char* k5GhzLines =
    "hw_mode=a\n"
    "vht_oper_centr_freq_seg0_idx={0}\n"
    "he_oper_centr_freq_seg0_idx={0}\n"
    "eht_oper_centr_freq_seg0_idx={0}\n"
    "ieee80211n=1\n"
    "ht_capab=[HT40{1}][SHORT-GI-40][MAX-AMSDU-7935][DSSS_CCK-40]\n"
    "wpa_key_mgmt=SAE WPA-PSK WPA-PSK-SHA256\n"
    "ieee80211w=1\n"
    "he_oper_chwidth=1\n"
    "ieee80211ac=1\n"
    "vht_oper_chwidth=1\n"
    "op_class=128\n";

// The 6 GHz lines: {0} the client power lines of the country, {1} the centre
// of the block, {2} the operating class.
constexpr const char* k6GhzLines =
    "he_6ghz_rx_ant_pat=0\n"
    "he_6ghz_tx_ant_pat=0\n"
    "he_6ghz_reg_pwr_type=2\n"
    "{0}"
    "he_oper_centr_freq_seg0_idx={1}\n"
    "eht_oper_centr_freq_seg0_idx={1}\n"
    "op_class={2}\n"
    "wpa_key_mgmt=SAE\n"
    "ieee80211w=2\n";

constexpr const char* kDePower =
    "reg_def_cli_eirp_psd=2\n"
    "reg_def_cli_eirp=28\n";
constexpr const char* kUsPower =
    "reg_def_cli_eirp_psd=-10\n"
    "reg_def_cli_eirp=28\n";

// `text` with every "{i}" replaced by the i-th of `values`.
std::string Fill(std::string text, std::initializer_list<std::string> values) {
  int i = 0;
  for (const std::string& value : values) {
    const std::string hole = "{" + std::to_string(i++) + "}";
    for (size_t at = text.find(hole); at != std::string::npos;
         at = text.find(hole, at + value.size())) {
      text.replace(at, hole.size(), value);
    }
  }
  return text;
}

std::string FiveGhzLines(int centre, const char* side) {
  return Fill(k5GhzLines, {std::to_string(centre), side});
}

std::string SixGhzLines(int centre, int op_class, const char* power = kDePower) {
  return Fill(k6GhzLines, {power, std::to_string(centre), std::to_string(op_class)});
}

// `text` with `from`, which must stand in it exactly once, replaced by `to`.
std::string Swap(std::string text, const std::string& from, const std::string& to) {
  const size_t at = text.find(from);
  EXPECT_TRUE(at != std::string::npos && text.find(from, at + 1) == std::string::npos) << from;
  return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

// How a file differs from k24GhzFile; what a case leaves out is as there.
struct FileDiff {
  std::string country = "DE";
  int channel = 6;
  bool capab_160 = false;  // [VHT160][SHORT-GI-160] end the vht_capab line
  std::string band = k24GhzLines;
  std::string hidden_line = "";  // after the band's lines
};

std::string ExpectedFile(const FileDiff& diff) {
  // No country: neither line, so hostapd starts on the world's rules.
  std::string text =
      Swap(k24GhzFile, "\ncountry_code=DE\nieee80211d=1\n",
           diff.country.empty() ? "\n" : "\ncountry_code=" + diff.country + "\nieee80211d=1\n");
  text = Swap(text, "\nchannel=6\n", "\nchannel=" + std::to_string(diff.channel) + "\n");
  if (diff.capab_160) {
    text = Swap(text, "[MAX-A-MPDU-LEN-EXP7]\n", "[MAX-A-MPDU-LEN-EXP7][VHT160][SHORT-GI-160]\n");
  }
  return Swap(text, k24GhzLines, diff.band + diff.hidden_line);
}

HostapdInputs Inputs(int frequency, const char* country = "DE", int use_160mhz = 0) {
  HostapdInputs in;
  in.frequency = frequency;
  in.ssid = "Lab Net";
  in.password = "s3cret pass";
  in.country = country;
  in.use_160mhz = use_160mhz;
  return in;
}

TEST(HostapdConfigRender, TwoPointFourGhzWholeFileWithHostapdKeyDefaults) {
  std::string diagnostics;
  EXPECT_EQ(RenderHostapdConfig(Inputs(2437), diagnostics), k24GhzFile);
  EXPECT_EQ(diagnostics, "");
}

// Only the capabilities widen, the channel stays 80 MHz.
TEST(HostapdConfigRender, FiveGhzWith160RequestWholeFileStays80Mhz) {
  std::string diagnostics;
  EXPECT_EQ(RenderHostapdConfig(Inputs(5180, "DE", 1), diagnostics),
            ExpectedFile({.channel = 36, .capab_160 = true, .band = FiveGhzLines(42, "+")}));
  EXPECT_EQ(diagnostics, "");
}

TEST(HostapdConfigRender, FiveGhzCentreAndSecondaryChannelSide) {
  struct Row {
    int frequency;
    int use_160mhz;
    int channel;
    int centre;
    const char* side;
  };
  const Row rows[] = {
      {5180, 0, 36, 42, "+"}, {5200, 0, 40, 42, "-"},   {5220, 0, 44, 42, "+"},
      {5240, 1, 48, 42, "-"}, {5745, 0, 149, 155, "+"}, {5825, 0, 165, 171, "+"},
  };
  for (const Row& row : rows) {
    std::string diagnostics;
    EXPECT_EQ(RenderHostapdConfig(Inputs(row.frequency, "DE", row.use_160mhz), diagnostics),
              ExpectedFile({.channel = row.channel,
                            .capab_160 = row.use_160mhz != 0,
                            .band = FiveGhzLines(row.centre, row.side)}))
        << row.frequency;
    EXPECT_EQ(diagnostics, "") << row.frequency;
  }
}

TEST(HostapdConfigRender, SixGhzWidthCentreAndJournalLines) {
  struct Row {
    int frequency;
    int use_160mhz;
    int channel;
    int centre;
    int op_class;
    const char* diagnostics;
  };
  const Row rows[] = {
      {5975, 0, 5, 7, 133, ""},
      {6015, 0, 13, 7, 133, ""},
      {6995, 0, 209, 215, 133, ""},
      // Channel 7 is no primary of an 80 MHz block: reported, written anyway.
      {5985, 0, 7, 7, 133,
       "Error: Channel configuration impossible for 80MHz channel width on channel 7 in 5GHz "
       "band\n"},
      {5985, 1, 7, 15, 134, ""},
      // Rounds up into the next block.
      {6025, 0, 15, 23, 133,
       "Error: Channel configuration impossible for 80MHz channel width on channel 15 in 5GHz "
       "band\n"},
      {6135, 0, 37, 39, 133, ""},
      {6135, 1, 37, 47, 134, ""},
      // The highest channel whose 160 MHz block exists.
      {7055, 1, 221, 207, 134, ""},
      {7095, 0, 229, 227, 133, ""},
      {7095, 1, 229, 239, 134, "Error: Channel too big for 160.  HostAPD may complain\n"},
  };
  for (const Row& row : rows) {
    std::string diagnostics;
    const std::string text =
        RenderHostapdConfig(Inputs(row.frequency, "DE", row.use_160mhz), diagnostics);
    EXPECT_EQ(text, ExpectedFile({.channel = row.channel,
                                  .capab_160 = row.use_160mhz != 0,
                                  .band = SixGhzLines(row.centre, row.op_class)}))
        << row.frequency << " use_160mhz " << row.use_160mhz;
    EXPECT_EQ(diagnostics, row.diagnostics) << row.frequency << " use_160mhz " << row.use_160mhz;
  }
}

TEST(HostapdConfigRender, SixGhzClientPowerFollowsTheCountry) {
  struct Row {
    const char* country;
    const char* power_lines;
    const char* written;  // hostapd takes capitals only, and refuses "00"
  };
  const Row rows[] = {
      {"US", kUsPower, "US"},
      // Found whatever the letter case.
      {"de", kDePower, "DE"},
      // No PSD is given for CR.
      {"CR", "reg_def_cli_eirp=28\n", "CR"},
      // BR's own client EIRP differs from the common 14.
      {"BR",
       "reg_def_cli_eirp_psd=-10\n"
       "reg_def_cli_eirp=34\n",
       "BR"},
      // No 6 GHz blocks: the power values mean nothing.
      {"AE", "", "AE"},
      {"XX", "", "XX"},
      {"00", "", ""},
      {"1\x7f", "", ""},
  };
  for (const Row& row : rows) {
    std::string diagnostics;
    const FileDiff diff = {
        .country = row.written, .channel = 37, .band = SixGhzLines(39, 133, row.power_lines)};
    EXPECT_EQ(RenderHostapdConfig(Inputs(6135, row.country), diagnostics), ExpectedFile(diff))
        << row.country;
    EXPECT_EQ(diagnostics, "") << row.country;
  }
}

TEST(HostapdConfigRender, HiddenNameOnlyWhereRegulationAllowsIt) {
  struct Row {
    int hidden_requested;
    int noir_mode;
    int hidden_ssid_blocked;
    const char* hidden_line;
  };
  const Row rows[] = {
      {1, 0, 0, "ignore_broadcast_ssid=1\n"},
      {1, 0, 1, ""},
      {1, 1, 0, ""},
      {1, 1, 1, ""},
      {0, 0, 0, ""},
  };
  for (const Row& row : rows) {
    HostapdInputs in = Inputs(2437, "FR");
    in.hidden_requested = row.hidden_requested;
    in.noir_mode = row.noir_mode;
    in.hidden_ssid_blocked = row.hidden_ssid_blocked;
    std::string diagnostics;
    EXPECT_EQ(RenderHostapdConfig(in, diagnostics),
              ExpectedFile({.country = "FR", .hidden_line = row.hidden_line}))
        << row.hidden_requested << row.noir_mode << row.hidden_ssid_blocked;
    EXPECT_EQ(diagnostics, "");
  }
}

TEST(HostapdConfigRender, FrequencyInNoBandStillCompletesTheFile) {
  struct Row {
    int frequency;
    const char* diagnostics;
  };
  const Row rows[] = {
      {5000, "!!! error bad band 0 , freq 5000 \n"},
      {5925, "!!! error bad band 0 , freq 5925 \n"},  // between the 5 and 6 GHz bands
      {0, "!!! error bad band 0 , freq 0 \n"},
  };
  for (const Row& row : rows) {
    std::string diagnostics;
    EXPECT_EQ(RenderHostapdConfig(Inputs(row.frequency, "DE", 1), diagnostics),
              ExpectedFile({.channel = 0, .capab_160 = true, .band = ""}))
        << row.frequency;
    EXPECT_EQ(diagnostics, row.diagnostics);
  }
}

TEST(HostapdConfigRender, NameAndPasswordAreWrittenUnescaped) {
  HostapdInputs in = Inputs(2437);
  in.ssid = "caf\xc3\xa9 #1 %s \"q\"";
  in.password = "p%d\\x =;#";
  std::string diagnostics;
  const std::string text = RenderHostapdConfig(in, diagnostics);
  EXPECT_NE(text.find("\nssid=caf\xc3\xa9 #1 %s \"q\"\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\nwpa_passphrase=p%d\\x =;#\nsae_password=p%d\\x =;#\n"), std::string::npos)
      << text;
}

std::string ReadWhole(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

// The writer with the daemon's state, without a kernel: the regulatory
// request goes nowhere, so the country is the adopted one.
class CreateHostapdConfigTest : public ::testing::Test {
 protected:
  void SetUp() override {
    daemon_.nl80211.socket_fd = -1;
    daemon_.country.useCountryCode.Store('U', 'S');
    std::snprintf(daemon_.state.ssid, sizeof daemon_.state.ssid, "%s", "Lab Net");
    std::snprintf(daemon_.state.password, sizeof daemon_.state.password, "%s", "s3cret pass");
  }

  std::string Create(int frequency, const std::string& path) {
    ::testing::internal::CaptureStderr();
    CreateHostapdConfig(daemon_, frequency, path.c_str());
    return ::testing::internal::GetCapturedStderr();
  }

  testing::TestDaemon daemon_;
  testing::TempDir dir_;
};

TEST_F(CreateHostapdConfigTest, ReplacesTheFileAndLogsTheRequest) {
  daemon_.state.use_160mhz.store(1);
  daemon_.state.hidden_requested.store(1);
  const std::string path = dir_.Write("hostapd.conf", std::string(8000, 'x'));

  const std::string log = Create(7095, path);

  EXPECT_EQ(ReadWhole(path), ExpectedFile({.country = "US",
                                           .channel = 229,
                                           .capab_160 = true,
                                           .band = SixGhzLines(239, 134, kUsPower),
                                           .hidden_line = "ignore_broadcast_ssid=1\n"}));
  const std::string request_line =
      "CreateHostapdConfig: ssid:Lab Net password:s3cret pass freq:7095 band:6 channel:229\n";
  const std::string width_line = "Error: Channel too big for 160.  HostAPD may complain\n";
  const size_t request_at = log.find(request_line);
  const size_t width_at = log.find(width_line);
  ASSERT_NE(request_at, std::string::npos) << log;
  ASSERT_NE(width_at, std::string::npos) << log;
  EXPECT_LT(request_at, width_at) << log;
}

TEST_F(CreateHostapdConfigTest, HiddenNameRefusedByRegulationAndBadBand) {
  daemon_.state.hidden_requested.store(1);
  daemon_.state.hidden_ssid_blocked.store(1);
  const std::string path = dir_.Path("hostapd.conf");

  const std::string log = Create(4000, path);

  EXPECT_EQ(ReadWhole(path), ExpectedFile({.country = "US", .channel = 0, .band = ""}));
  EXPECT_NE(log.find("CreateHostapdConfig: ssid:Lab Net password:s3cret pass freq:4000 band:0 "
                     "channel:0\n"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("!!! error bad band 0 , freq 4000 \n"), std::string::npos) << log;
}

TEST_F(CreateHostapdConfigTest, UnopenableFileIsReportedAndNothingElseHappens) {
  const std::string path = dir_.Path("missing/hostapd.conf");

  const std::string log = Create(5180, path);

  EXPECT_EQ(log, "[wavewarden:587 in CreateHostapdConfig] fopen: No such file or directory\n");
  struct stat st {};
  EXPECT_NE(stat(path.c_str(), &st), 0);
  EXPECT_NE(stat(dir_.Path("missing").c_str(), &st), 0);
}

}  // namespace
}  // namespace ww
