#include "daemon/hostapd/hostapd_config.h"

#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>

#include "common/util/format.h"
#include "common/util/interfaces.h"
#include "common/util/report.h"
#include "common/util/unique_file.h"
#include "daemon/regulatory/channels.h"
#include "daemon/regulatory/country_code.h"
#include "daemon/regulatory/country_resolve.h"
#include "daemon/regulatory/regdb.h"

namespace ww {
namespace {

// A failed open is reported with this fixed module and line: journal watchers
// match the line as it has always been printed.
constexpr const char* kReportModule = "wavewarden";
constexpr int kFopenFailureLine = 587;

// hostapd's WMM category names; queue index i goes with kAccessCategories[i].
constexpr const char* kAccessCategories[] = {"bk", "be", "vi", "vo"};

// 80 MHz centre offset of a 5 GHz channel, by (channel / 4) % 4.
constexpr int kCentreOffset5Ghz[] = {-6, +6, +2, -2};

// The highest 6 GHz 160 MHz centre; channels above it get a centre anyway.
constexpr int kLast6Ghz160Centre = 207;

void AppendWmmBlocks(std::string& text) {
  int queue = 0;
  for (const char* category : kAccessCategories) {
    Appendf(text, "wmm_ac_%s_aifs=%d\n", category, 1);
    Appendf(text, "tx_queue_data%d_aifs=1\n", queue);
    Appendf(text, "wmm_ac_%s_cwmin=%d\n", category, 3);
    Appendf(text, "wmm_ac_%s_cwmax=%d\n", category, 7);
    Appendf(text, "tx_queue_data%d_cwmin=%d\n", queue, 3);
    Appendf(text, "tx_queue_data%d_cwmax=%d\n", queue, 7);
    Appendf(text, "wmm_ac_%s_txop_limit=31\n", category);
    Appendf(text, "tx_queue_data%d_burst=2.0\n", queue);
    Appendf(text, "wmm_ac_%s_acm=0\n", category);
    ++queue;
  }
}

// Always 80 MHz; the 160 MHz request only widens the advertised capabilities.
void Append5GhzSection(std::string& text, const ChannelLayout& layout) {
  text += "hw_mode=a\n";
  const int centre = layout.centre_channel;
  Appendf(text, "vht_oper_centr_freq_seg0_idx=%d\n", centre);
  Appendf(text, "he_oper_centr_freq_seg0_idx=%d\n", centre);
  Appendf(text, "eht_oper_centr_freq_seg0_idx=%d\n", centre);
  text += "ieee80211n=1\n";
  Appendf(text, "ht_capab=[HT40%c][SHORT-GI-40][MAX-AMSDU-7935][DSSS_CCK-40]\n",
          layout.secondary > 0 ? '+' : '-');
  text += "wpa_key_mgmt=SAE WPA-PSK WPA-PSK-SHA256\n";
  text += "ieee80211w=1\n";
  text += "he_oper_chwidth=1\n";
  text += "ieee80211ac=1\n";
  text += "vht_oper_chwidth=1\n";
  text += "op_class=128\n";
}

// Width follows the 160 MHz request; a channel that does not fit the width is
// reported and written all the same, so hostapd has the last word.
void Append6GhzSection(std::string& text, std::string& diagnostics, const ChannelLayout& layout,
                       const char* country) {
  const int channel = layout.channel;
  text += "he_6ghz_rx_ant_pat=0\n";
  text += "he_6ghz_tx_ant_pat=0\n";
  text += "he_6ghz_reg_pwr_type=2\n";
  // The client power values mean something only for a country with 6 GHz blocks.
  const ChannelPlan* plan = regdb_find(country);
  if (plan != nullptr && plan->count_6g80 != 0) {
    if (plan->client_eirp_psd != kNoClientPsd) {
      Appendf(text, "reg_def_cli_eirp_psd=%d\n", 2 * plan->client_eirp_psd);
    }
    Appendf(text, "reg_def_cli_eirp=%d\n", 2 * plan->client_eirp);
  }
  const char* op_class = nullptr;
  if (layout.width_mhz == 160) {
    if (layout.centre_channel > kLast6Ghz160Centre) {
      diagnostics += "Error: Channel too big for 160.  HostAPD may complain\n";
    }
    op_class = "op_class=134\n";
  } else {
    const int within = channel % 16;
    if (within != 1 && within != 5 && within != 9 && within != 13) {
      Appendf(diagnostics,
              "Error: Channel configuration impossible for 80MHz channel width on channel %d in "
              "5GHz band\n",
              channel);
    }
    op_class = "op_class=133\n";
  }
  const int centre = layout.centre_channel;
  Appendf(text, "he_oper_centr_freq_seg0_idx=%d\n", centre);
  Appendf(text, "eht_oper_centr_freq_seg0_idx=%d\n", centre);
  text += op_class;
  text += "wpa_key_mgmt=SAE\n";
  text += "ieee80211w=2\n";
}

// 20 MHz; key management and MFP are left to hostapd's defaults.
void Append24GhzSection(std::string& text) {
  text += "hw_mode=g\n";
  text += "he_oper_chwidth=0\n";
}

}  // namespace

ChannelLayout LayoutFor(int frequency, bool use_160mhz) {
  ChannelLayout layout;
  if (frequency <= 0 ||
      FrequencyToChannel(static_cast<uint32_t>(frequency), layout.band, layout.channel) != 0) {
    return ChannelLayout{};
  }
  const int channel = layout.channel;
  switch (layout.band) {
    case kBand24:
      layout.width_mhz = 20;
      layout.centre_channel = channel;
      break;
    case kBand5:
      layout.width_mhz = 80;
      layout.centre_channel = channel + kCentreOffset5Ghz[(channel / 4) % 4];
      // Above when the primary is the first or third of the block.
      layout.secondary =
          channel == layout.centre_channel - 6 || channel == layout.centre_channel + 2 ? 1 : -1;
      break;
    case kBand6:
      layout.width_mhz = use_160mhz ? 160 : 80;
      // 229 is the one channel whose 80 MHz block the rounding rule misplaces.
      layout.centre_channel = use_160mhz       ? (channel & ~31) + 15
                              : channel == 229 ? 227
                                               : ((channel + 1) & ~15) + 7;
      // 40 MHz pairs start at channels 1, 9, 17 ...
      layout.secondary = channel % 8 == 1 ? 1 : -1;
      break;
    default:
      break;
  }
  return layout;
}

std::string RenderHostapdConfig(const HostapdInputs& inputs, std::string& diagnostics) {
  // An unconvertible frequency leaves band and channel 0; the band check
  // below reports it.
  const ChannelLayout layout = LayoutFor(inputs.frequency, inputs.use_160mhz != 0);
  const int band = layout.band;
  const int channel = layout.channel;

  std::string text;
  Appendf(text, "interface=%s\n", kApInterface);
  text += "driver=nl80211\n";
  Appendf(text, "ssid=%s\n", inputs.ssid);
  // hostapd refuses a file whose code is not two capital letters, the
  // world's "00" among them: with no country it starts on the world rules.
  char country[3];
  if (CapitalCountryCode(inputs.country, country)) {
    Appendf(text, "country_code=%s\n", country);
    text += "ieee80211d=1\n";
  }
  text += "macaddr_acl=0\n";
  text += "auth_algs=1\n";
  Appendf(text, "channel=%d\n", channel);
  text += "ieee80211ax=1\n";
  text += "ieee80211be=1\n";
  text += "uapsd_advertisement_enabled=0\n";
  text += "obss_interval=0\n";
  text += "he_su_beamformer=0\n";
  text += "he_su_beamformee=0\n";
  text += "he_mu_beamformer=0\n";
  text += "eht_su_beamformer=0\n";
  text += "eht_su_beamformee=0\n";
  text += "eht_mu_beamformer=0\n";
  text +=
      "vht_capab=[-SU-BEAMFORMER][-SU-BEAMFORMEE][-MU-BEAMFORMER][-MU-BEAMFORMEE]"
      "[-SOUNDING-DIMENSION-2][-RX-ANTENNA-PATTERN][-TX-ANTENNA-PATTERN][MAX-MPDU-11454]"
      "[RXLDPC][SHORT-GI-80][TX-STBC-2BY1][RX-STBC-1][MAX-A-MPDU-LEN-EXP7]";
  text += inputs.use_160mhz != 0 ? "[VHT160][SHORT-GI-160]\n" : "\n";
  text += "he_twt_responder=0\n";
  text += "wmm_enabled=1\n";
  AppendWmmBlocks(text);
  text += "wpa=2\n";
  text += "rsn_pairwise=CCMP\n";
  text += "sae_pwe=2\n";
  Appendf(text, "wpa_passphrase=%s\n", inputs.password);
  Appendf(text, "sae_password=%s\n", inputs.password);
  text += "sae_require_mfp=1\n";
  text += "qos_map_set=46,6,34,5, 0,7, 8,15, 16,23, 24,31, 32,39, 40,47, 48,55, 56,63\n";

  switch (band) {
    case kBand5:
      Append5GhzSection(text, layout);
      break;
    case kBand6:
      Append6GhzSection(text, diagnostics, layout, inputs.country);
      break;
    case kBand24:
      Append24GhzSection(text);
      break;
    default:
      // The file is still completed: hostapd's own complaint is more useful
      // than no file.
      Appendf(diagnostics, "!!! error bad band %d , freq %d \n", band, inputs.frequency);
      break;
  }

  // Hiding the name is refused where the regulatory check forbids it.
  if (inputs.hidden_requested != 0 && inputs.noir_mode == 0 && inputs.hidden_ssid_blocked == 0) {
    text += "ignore_broadcast_ssid=1\n";
  }
  text += "ctrl_interface=/var/run/hostapd\n";
  text += "ap_max_inactivity=10\n";
  return text;
}

void WriteHostapdConfig(HostapdInputs inputs, RawChannel& channel, const CountryCodes& country,
                        const char* path) {
  int band = 0;
  int number = 0;
  (void)FrequencyToChannel(static_cast<uint32_t>(inputs.frequency), band, number);

  const UniqueFile file(std::fopen(path, "w"));
  if (file == nullptr) {
    ReportCallFailure(kReportModule, kFopenFailureLine, "CreateHostapdConfig", "fopen", errno);
    return;
  }
  std::fprintf(stderr, "CreateHostapdConfig: ssid:%s password:%s freq:%d band:%d channel:%d\n",
               inputs.ssid, inputs.password, inputs.frequency, band, number);
  std::fflush(stderr);

  char code[4];
  ResolveCountryCode(channel, country, code);
  inputs.country = code;

  std::string diagnostics;
  const std::string text = RenderHostapdConfig(inputs, diagnostics);
  std::fputs(diagnostics.c_str(), stderr);
  // Write errors are not acted on: hostapd's start-up check reports a bad file.
  (void)std::fwrite(text.data(), 1, text.size(), file.get());
}

}  // namespace ww
