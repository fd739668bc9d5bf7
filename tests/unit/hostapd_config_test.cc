// hostapd's configuration: the whole file per band, channel, width, country
// and hidden-name request, the lines meant for the journal, and the writer
// against a real folder.
#include "daemon/hostapd/hostapd_config.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "daemon/core/daemon.h"
#include "tests/unit/temp_dir.h"
#include "tests/unit/test_daemon.h"

namespace ww {
namespace {

// The file for 2437 MHz, written out whole.
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

// 5180 MHz with the 160 MHz request, written out whole: only the
// capabilities widen, the channel stays 80 MHz.
constexpr const char* k5180With160File =
    "interface=wlanap\n"
    "driver=nl80211\n"
    "ssid=Lab Net\n"
    "country_code=DE\n"
    "ieee80211d=1\n"
    "macaddr_acl=0\n"
    "auth_algs=1\n"
    "channel=36\n"
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
    "[SHORT-GI-80][TX-STBC-2BY1][RX-STBC-1][MAX-A-MPDU-LEN-EXP7][VHT160][SHORT-GI-160]\n"
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
    "hw_mode=a\n"
    "vht_oper_centr_freq_seg0_idx=42\n"
    "he_oper_centr_freq_seg0_idx=42\n"
    "eht_oper_centr_freq_seg0_idx=42\n"
    "ieee80211n=1\n"
    "ht_capab=[HT40+][SHORT-GI-40][MAX-AMSDU-7935][DSSS_CCK-40]\n"
    "wpa_key_mgmt=SAE WPA-PSK WPA-PSK-SHA256\n"
    "ieee80211w=1\n"
    "he_oper_chwidth=1\n"
    "ieee80211ac=1\n"
    "vht_oper_chwidth=1\n"
    "op_class=128\n"
    "ctrl_interface=/var/run/hostapd\n"
    "ap_max_inactivity=10\n";

// For the tables below: the lines that do not depend on the band, the
// channel or the country (everything from he_twt_responder to qos_map_set,
// for the password "s3cret pass"), as pinned by the two whole files above.
constexpr const char* kMiddle =
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
    "qos_map_set=46,6,34,5, 0,7, 8,15, 16,23, 24,31, 32,39, 40,47, 48,55, 56,63\n";

constexpr const char* kVhtCapab =
    "vht_capab=[-SU-BEAMFORMER][-SU-BEAMFORMEE][-MU-BEAMFORMER][-MU-BEAMFORMEE]"
    "[-SOUNDING-DIMENSION-2][-RX-ANTENNA-PATTERN][-TX-ANTENNA-PATTERN][MAX-MPDU-11454][RXLDPC]"
    "[SHORT-GI-80][TX-STBC-2BY1][RX-STBC-1][MAX-A-MPDU-LEN-EXP7]";

constexpr const char* kTail =
    "ctrl_interface=/var/run/hostapd\n"
    "ap_max_inactivity=10\n";

// The expected file for ssid "Lab Net" and password "s3cret pass":
// `channel_line` and `band_section` as the table row spells them out.
std::string ExpectedFile(const std::string& country, const std::string& channel_line,
                         bool capab_160, const std::string& band_section,
                         const std::string& hidden_line = "") {
  return "interface=wlanap\n"
         "driver=nl80211\n"
         "ssid=Lab Net\n"
         "country_code=" +
         country +
         "\n"
         "ieee80211d=1\n"
         "macaddr_acl=0\n"
         "auth_algs=1\n" +
         channel_line +
         "ieee80211ax=1\n"
         "ieee80211be=1\n"
         "uapsd_advertisement_enabled=0\n"
         "obss_interval=0\n"
         "he_su_beamformer=0\n"
         "he_su_beamformee=0\n"
         "he_mu_beamformer=0\n"
         "eht_su_beamformer=0\n"
         "eht_su_beamformee=0\n"
         "eht_mu_beamformer=0\n" +
         kVhtCapab + (capab_160 ? "[VHT160][SHORT-GI-160]\n" : "\n") + kMiddle + band_section +
         hidden_line + kTail;
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

TEST(HostapdConfigRender, FiveGhzWith160RequestWholeFileStays80Mhz) {
  std::string diagnostics;
  EXPECT_EQ(RenderHostapdConfig(Inputs(5180, "DE", 1), diagnostics), k5180With160File);
  EXPECT_EQ(diagnostics, "");
}

TEST(HostapdConfigRender, FiveGhzCentreAndSecondaryChannelSide) {
  struct Row {
    int frequency;
    int use_160mhz;
    const char* channel_line;
    const char* band_section;
  };
  const Row rows[] = {
      {5180, 0, "channel=36\n",
       "hw_mode=a\n"
       "vht_oper_centr_freq_seg0_idx=42\n"
       "he_oper_centr_freq_seg0_idx=42\n"
       "eht_oper_centr_freq_seg0_idx=42\n"
       "ieee80211n=1\n"
       "ht_capab=[HT40+][SHORT-GI-40][MAX-AMSDU-7935][DSSS_CCK-40]\n"
       "wpa_key_mgmt=SAE WPA-PSK WPA-PSK-SHA256\n"
       "ieee80211w=1\n"
       "he_oper_chwidth=1\n"
       "ieee80211ac=1\n"
       "vht_oper_chwidth=1\n"
       "op_class=128\n"},
      {5200, 0, "channel=40\n",
       "hw_mode=a\n"
       "vht_oper_centr_freq_seg0_idx=42\n"
       "he_oper_centr_freq_seg0_idx=42\n"
       "eht_oper_centr_freq_seg0_idx=42\n"
       "ieee80211n=1\n"
       "ht_capab=[HT40-][SHORT-GI-40][MAX-AMSDU-7935][DSSS_CCK-40]\n"
       "wpa_key_mgmt=SAE WPA-PSK WPA-PSK-SHA256\n"
       "ieee80211w=1\n"
       "he_oper_chwidth=1\n"
       "ieee80211ac=1\n"
       "vht_oper_chwidth=1\n"
       "op_class=128\n"},
      {5220, 0, "channel=44\n",
       "hw_mode=a\n"
       "vht_oper_centr_freq_seg0_idx=42\n"
       "he_oper_centr_freq_seg0_idx=42\n"
       "eht_oper_centr_freq_seg0_idx=42\n"
       "ieee80211n=1\n"
       "ht_capab=[HT40+][SHORT-GI-40][MAX-AMSDU-7935][DSSS_CCK-40]\n"
       "wpa_key_mgmt=SAE WPA-PSK WPA-PSK-SHA256\n"
       "ieee80211w=1\n"
       "he_oper_chwidth=1\n"
       "ieee80211ac=1\n"
       "vht_oper_chwidth=1\n"
       "op_class=128\n"},
      {5240, 1, "channel=48\n",
       "hw_mode=a\n"
       "vht_oper_centr_freq_seg0_idx=42\n"
       "he_oper_centr_freq_seg0_idx=42\n"
       "eht_oper_centr_freq_seg0_idx=42\n"
       "ieee80211n=1\n"
       "ht_capab=[HT40-][SHORT-GI-40][MAX-AMSDU-7935][DSSS_CCK-40]\n"
       "wpa_key_mgmt=SAE WPA-PSK WPA-PSK-SHA256\n"
       "ieee80211w=1\n"
       "he_oper_chwidth=1\n"
       "ieee80211ac=1\n"
       "vht_oper_chwidth=1\n"
       "op_class=128\n"},
      {5745, 0, "channel=149\n",
       "hw_mode=a\n"
       "vht_oper_centr_freq_seg0_idx=155\n"
       "he_oper_centr_freq_seg0_idx=155\n"
       "eht_oper_centr_freq_seg0_idx=155\n"
       "ieee80211n=1\n"
       "ht_capab=[HT40+][SHORT-GI-40][MAX-AMSDU-7935][DSSS_CCK-40]\n"
       "wpa_key_mgmt=SAE WPA-PSK WPA-PSK-SHA256\n"
       "ieee80211w=1\n"
       "he_oper_chwidth=1\n"
       "ieee80211ac=1\n"
       "vht_oper_chwidth=1\n"
       "op_class=128\n"},
      {5825, 0, "channel=165\n",
       "hw_mode=a\n"
       "vht_oper_centr_freq_seg0_idx=171\n"
       "he_oper_centr_freq_seg0_idx=171\n"
       "eht_oper_centr_freq_seg0_idx=171\n"
       "ieee80211n=1\n"
       "ht_capab=[HT40+][SHORT-GI-40][MAX-AMSDU-7935][DSSS_CCK-40]\n"
       "wpa_key_mgmt=SAE WPA-PSK WPA-PSK-SHA256\n"
       "ieee80211w=1\n"
       "he_oper_chwidth=1\n"
       "ieee80211ac=1\n"
       "vht_oper_chwidth=1\n"
       "op_class=128\n"},
  };
  for (const Row& row : rows) {
    std::string diagnostics;
    EXPECT_EQ(RenderHostapdConfig(Inputs(row.frequency, "DE", row.use_160mhz), diagnostics),
              ExpectedFile("DE", row.channel_line, row.use_160mhz != 0, row.band_section))
        << row.frequency;
    EXPECT_EQ(diagnostics, "") << row.frequency;
  }
}

TEST(HostapdConfigRender, SixGhzWidthCentreAndJournalLines) {
  struct Row {
    int frequency;
    int use_160mhz;
    const char* channel_line;
    const char* band_section;
    const char* diagnostics;
  };
  const Row rows[] = {
      {5975, 0, "channel=5\n",
       "he_6ghz_rx_ant_pat=0\n"
       "he_6ghz_tx_ant_pat=0\n"
       "he_6ghz_reg_pwr_type=2\n"
       "reg_def_cli_eirp_psd=2\n"
       "reg_def_cli_eirp=28\n"
       "he_oper_centr_freq_seg0_idx=7\n"
       "eht_oper_centr_freq_seg0_idx=7\n"
       "op_class=133\n"
       "wpa_key_mgmt=SAE\n"
       "ieee80211w=2\n",
       ""},
      {6015, 0, "channel=13\n",
       "he_6ghz_rx_ant_pat=0\n"
       "he_6ghz_tx_ant_pat=0\n"
       "he_6ghz_reg_pwr_type=2\n"
       "reg_def_cli_eirp_psd=2\n"
       "reg_def_cli_eirp=28\n"
       "he_oper_centr_freq_seg0_idx=7\n"
       "eht_oper_centr_freq_seg0_idx=7\n"
       "op_class=133\n"
       "wpa_key_mgmt=SAE\n"
       "ieee80211w=2\n",
       ""},
      {6995, 0, "channel=209\n",
       "he_6ghz_rx_ant_pat=0\n"
       "he_6ghz_tx_ant_pat=0\n"
       "he_6ghz_reg_pwr_type=2\n"
       "reg_def_cli_eirp_psd=2\n"
       "reg_def_cli_eirp=28\n"
       "he_oper_centr_freq_seg0_idx=215\n"
       "eht_oper_centr_freq_seg0_idx=215\n"
       "op_class=133\n"
       "wpa_key_mgmt=SAE\n"
       "ieee80211w=2\n",
       ""},
      // Channel 7 is no primary of an 80 MHz block: reported, written anyway.
      {5985, 0, "channel=7\n",
       "he_6ghz_rx_ant_pat=0\n"
       "he_6ghz_tx_ant_pat=0\n"
       "he_6ghz_reg_pwr_type=2\n"
       "reg_def_cli_eirp_psd=2\n"
       "reg_def_cli_eirp=28\n"
       "he_oper_centr_freq_seg0_idx=7\n"
       "eht_oper_centr_freq_seg0_idx=7\n"
       "op_class=133\n"
       "wpa_key_mgmt=SAE\n"
       "ieee80211w=2\n",
       "Error: Channel configuration impossible for 80MHz channel width on channel 7 in 5GHz "
       "band\n"},
      {5985, 1, "channel=7\n",
       "he_6ghz_rx_ant_pat=0\n"
       "he_6ghz_tx_ant_pat=0\n"
       "he_6ghz_reg_pwr_type=2\n"
       "reg_def_cli_eirp_psd=2\n"
       "reg_def_cli_eirp=28\n"
       "he_oper_centr_freq_seg0_idx=15\n"
       "eht_oper_centr_freq_seg0_idx=15\n"
       "op_class=134\n"
       "wpa_key_mgmt=SAE\n"
       "ieee80211w=2\n",
       ""},
      // Rounds up into the next block.
      {6025, 0, "channel=15\n",
       "he_6ghz_rx_ant_pat=0\n"
       "he_6ghz_tx_ant_pat=0\n"
       "he_6ghz_reg_pwr_type=2\n"
       "reg_def_cli_eirp_psd=2\n"
       "reg_def_cli_eirp=28\n"
       "he_oper_centr_freq_seg0_idx=23\n"
       "eht_oper_centr_freq_seg0_idx=23\n"
       "op_class=133\n"
       "wpa_key_mgmt=SAE\n"
       "ieee80211w=2\n",
       "Error: Channel configuration impossible for 80MHz channel width on channel 15 in 5GHz "
       "band\n"},
      {6135, 0, "channel=37\n",
       "he_6ghz_rx_ant_pat=0\n"
       "he_6ghz_tx_ant_pat=0\n"
       "he_6ghz_reg_pwr_type=2\n"
       "reg_def_cli_eirp_psd=2\n"
       "reg_def_cli_eirp=28\n"
       "he_oper_centr_freq_seg0_idx=39\n"
       "eht_oper_centr_freq_seg0_idx=39\n"
       "op_class=133\n"
       "wpa_key_mgmt=SAE\n"
       "ieee80211w=2\n",
       ""},
      {6135, 1, "channel=37\n",
       "he_6ghz_rx_ant_pat=0\n"
       "he_6ghz_tx_ant_pat=0\n"
       "he_6ghz_reg_pwr_type=2\n"
       "reg_def_cli_eirp_psd=2\n"
       "reg_def_cli_eirp=28\n"
       "he_oper_centr_freq_seg0_idx=47\n"
       "eht_oper_centr_freq_seg0_idx=47\n"
       "op_class=134\n"
       "wpa_key_mgmt=SAE\n"
       "ieee80211w=2\n",
       ""},
      // The highest channel whose 160 MHz block exists.
      {7055, 1, "channel=221\n",
       "he_6ghz_rx_ant_pat=0\n"
       "he_6ghz_tx_ant_pat=0\n"
       "he_6ghz_reg_pwr_type=2\n"
       "reg_def_cli_eirp_psd=2\n"
       "reg_def_cli_eirp=28\n"
       "he_oper_centr_freq_seg0_idx=207\n"
       "eht_oper_centr_freq_seg0_idx=207\n"
       "op_class=134\n"
       "wpa_key_mgmt=SAE\n"
       "ieee80211w=2\n",
       ""},
      {7095, 0, "channel=229\n",
       "he_6ghz_rx_ant_pat=0\n"
       "he_6ghz_tx_ant_pat=0\n"
       "he_6ghz_reg_pwr_type=2\n"
       "reg_def_cli_eirp_psd=2\n"
       "reg_def_cli_eirp=28\n"
       "he_oper_centr_freq_seg0_idx=227\n"
       "eht_oper_centr_freq_seg0_idx=227\n"
       "op_class=133\n"
       "wpa_key_mgmt=SAE\n"
       "ieee80211w=2\n",
       ""},
      {7095, 1, "channel=229\n",
       "he_6ghz_rx_ant_pat=0\n"
       "he_6ghz_tx_ant_pat=0\n"
       "he_6ghz_reg_pwr_type=2\n"
       "reg_def_cli_eirp_psd=2\n"
       "reg_def_cli_eirp=28\n"
       "he_oper_centr_freq_seg0_idx=239\n"
       "eht_oper_centr_freq_seg0_idx=239\n"
       "op_class=134\n"
       "wpa_key_mgmt=SAE\n"
       "ieee80211w=2\n",
       "Error: Channel too big for 160.  HostAPD may complain\n"},
  };
  for (const Row& row : rows) {
    std::string diagnostics;
    const std::string text =
        RenderHostapdConfig(Inputs(row.frequency, "DE", row.use_160mhz), diagnostics);
    EXPECT_EQ(text, ExpectedFile("DE", row.channel_line, row.use_160mhz != 0, row.band_section))
        << row.frequency << " use_160mhz " << row.use_160mhz;
    EXPECT_EQ(diagnostics, row.diagnostics) << row.frequency << " use_160mhz " << row.use_160mhz;
  }
}

TEST(HostapdConfigRender, SixGhzClientPowerFollowsTheCountry) {
  struct Row {
    const char* country;
    const char* band_section;
  };
  const Row rows[] = {
      {"US",
       "he_6ghz_rx_ant_pat=0\n"
       "he_6ghz_tx_ant_pat=0\n"
       "he_6ghz_reg_pwr_type=2\n"
       "reg_def_cli_eirp_psd=-10\n"
       "reg_def_cli_eirp=28\n"
       "he_oper_centr_freq_seg0_idx=39\n"
       "eht_oper_centr_freq_seg0_idx=39\n"
       "op_class=133\n"
       "wpa_key_mgmt=SAE\n"
       "ieee80211w=2\n"},
      // Found whatever the letter case; the code is still written as given.
      {"de",
       "he_6ghz_rx_ant_pat=0\n"
       "he_6ghz_tx_ant_pat=0\n"
       "he_6ghz_reg_pwr_type=2\n"
       "reg_def_cli_eirp_psd=2\n"
       "reg_def_cli_eirp=28\n"
       "he_oper_centr_freq_seg0_idx=39\n"
       "eht_oper_centr_freq_seg0_idx=39\n"
       "op_class=133\n"
       "wpa_key_mgmt=SAE\n"
       "ieee80211w=2\n"},
      // No PSD is given for CR.
      {"CR",
       "he_6ghz_rx_ant_pat=0\n"
       "he_6ghz_tx_ant_pat=0\n"
       "he_6ghz_reg_pwr_type=2\n"
       "reg_def_cli_eirp=28\n"
       "he_oper_centr_freq_seg0_idx=39\n"
       "eht_oper_centr_freq_seg0_idx=39\n"
       "op_class=133\n"
       "wpa_key_mgmt=SAE\n"
       "ieee80211w=2\n"},
      // BR's own client EIRP differs from the common 14.
      {"BR",
       "he_6ghz_rx_ant_pat=0\n"
       "he_6ghz_tx_ant_pat=0\n"
       "he_6ghz_reg_pwr_type=2\n"
       "reg_def_cli_eirp_psd=-10\n"
       "reg_def_cli_eirp=34\n"
       "he_oper_centr_freq_seg0_idx=39\n"
       "eht_oper_centr_freq_seg0_idx=39\n"
       "op_class=133\n"
       "wpa_key_mgmt=SAE\n"
       "ieee80211w=2\n"},
      // No 6 GHz blocks: the power values mean nothing.
      {"AE",
       "he_6ghz_rx_ant_pat=0\n"
       "he_6ghz_tx_ant_pat=0\n"
       "he_6ghz_reg_pwr_type=2\n"
       "he_oper_centr_freq_seg0_idx=39\n"
       "eht_oper_centr_freq_seg0_idx=39\n"
       "op_class=133\n"
       "wpa_key_mgmt=SAE\n"
       "ieee80211w=2\n"},
      {"XX",
       "he_6ghz_rx_ant_pat=0\n"
       "he_6ghz_tx_ant_pat=0\n"
       "he_6ghz_reg_pwr_type=2\n"
       "he_oper_centr_freq_seg0_idx=39\n"
       "eht_oper_centr_freq_seg0_idx=39\n"
       "op_class=133\n"
       "wpa_key_mgmt=SAE\n"
       "ieee80211w=2\n"},
      {"00",
       "he_6ghz_rx_ant_pat=0\n"
       "he_6ghz_tx_ant_pat=0\n"
       "he_6ghz_reg_pwr_type=2\n"
       "he_oper_centr_freq_seg0_idx=39\n"
       "eht_oper_centr_freq_seg0_idx=39\n"
       "op_class=133\n"
       "wpa_key_mgmt=SAE\n"
       "ieee80211w=2\n"},
  };
  for (const Row& row : rows) {
    std::string diagnostics;
    EXPECT_EQ(RenderHostapdConfig(Inputs(6135, row.country), diagnostics),
              ExpectedFile(row.country, "channel=37\n", false, row.band_section))
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
  const char* band_section =
      "hw_mode=g\n"
      "he_oper_chwidth=0\n";
  for (const Row& row : rows) {
    HostapdInputs in = Inputs(2437, "FR");
    in.hidden_requested = row.hidden_requested;
    in.noir_mode = row.noir_mode;
    in.hidden_ssid_blocked = row.hidden_ssid_blocked;
    std::string diagnostics;
    EXPECT_EQ(RenderHostapdConfig(in, diagnostics),
              ExpectedFile("FR", "channel=6\n", false, band_section, row.hidden_line))
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
              ExpectedFile("DE", "channel=0\n", true, ""))
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

  EXPECT_EQ(ReadWhole(path), ExpectedFile("US", "channel=229\n", true,
                                          "he_6ghz_rx_ant_pat=0\n"
                                          "he_6ghz_tx_ant_pat=0\n"
                                          "he_6ghz_reg_pwr_type=2\n"
                                          "reg_def_cli_eirp_psd=-10\n"
                                          "reg_def_cli_eirp=28\n"
                                          "he_oper_centr_freq_seg0_idx=239\n"
                                          "eht_oper_centr_freq_seg0_idx=239\n"
                                          "op_class=134\n"
                                          "wpa_key_mgmt=SAE\n"
                                          "ieee80211w=2\n",
                                          "ignore_broadcast_ssid=1\n"));
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

  EXPECT_EQ(ReadWhole(path), ExpectedFile("US", "channel=0\n", false, ""));
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
