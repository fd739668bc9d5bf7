// The two interfaces the daemon works with on the one radio.
#pragma once

namespace ww {

inline constexpr const char* kStationInterface = "wlan0";
inline constexpr const char* kApInterface = "wlanap";

}  // namespace ww
