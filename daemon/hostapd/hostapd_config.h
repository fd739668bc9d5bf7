// The one writer of hostapd's configuration file.
#pragma once

#include <string>

namespace ww {

struct Daemon;

inline constexpr const char* kHostapdConfPath = "/var/run/softap_hostapd.conf";

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

// The whole file text. Lines meant for standard error while writing (bad
// band, a 6 GHz channel that does not fit the width) are appended, in order,
// to `diagnostics`.
std::string RenderHostapdConfig(const HostapdInputs& inputs, std::string& diagnostics);

// Writes the configuration for `frequency` from the daemon's state and the
// current country code, replacing the file. Operational thread only.
void CreateHostapdConfig(Daemon& daemon, int frequency, const char* path = kHostapdConfPath);

}  // namespace ww
