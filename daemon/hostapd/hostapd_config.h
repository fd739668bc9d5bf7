// The one writer of hostapd's configuration file.
#pragma once

#include <string>

namespace ww {

struct CountryCodes;
struct RawChannel;

// Everything the configuration follows from, as plain values.
struct HostapdInputs {
  int frequency = 0;  // MHz, the access point's channel
  const char* ssid = "";
  const char* password = "";
  int use_160mhz = 0;
  int hidden_requested = 0;
  int noir_mode = 0;
  int hidden_ssid_blocked = 0;
  const char* country = "00";  // NUL-terminated two-character code
};

// Where the configuration puts the access point on `frequency`: 20 MHz on
// 2.4 GHz, 80 MHz on 5 GHz, 80 or 160 MHz on 6 GHz.
struct ChannelLayout {
  int band = 0;  // 0 for a frequency in no band
  int channel = 0;
  int width_mhz = 0;
  int centre_channel = 0;  // of the whole width
  // Where the secondary 20 MHz channel lies: +1 above, -1 below, 0 none.
  int secondary = 0;
};
ChannelLayout LayoutFor(int frequency, bool use_160mhz);

// The whole file text. Lines meant for standard error while writing (bad
// band, a 6 GHz channel that does not fit the width) are appended, in order,
// to `diagnostics`.
std::string RenderHostapdConfig(const HostapdInputs& inputs, std::string& diagnostics);

// Writes the configuration for `inputs` (their country aside: the current
// country code is resolved here), replacing the file at `path`. Operational
// thread only.
void WriteHostapdConfig(HostapdInputs inputs, RawChannel& channel, const CountryCodes& country,
                        const char* path);

}  // namespace ww
