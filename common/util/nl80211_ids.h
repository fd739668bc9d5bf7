// The nl80211 command and attribute numbers, for the raw requests, the event
// monitor and the interface query. Raw answers compare attributes by their
// low 8 bits, so they are kept as bytes.
#pragma once

#include <cstdint>

namespace ww::nl80211 {

inline constexpr uint8_t kCmdGetInterface = 5;
inline constexpr uint8_t kCmdNewStation = 19;
inline constexpr uint8_t kCmdDelStation = 20;
inline constexpr uint8_t kCmdReqSetReg = 27;
inline constexpr uint8_t kCmdGetReg = 31;
inline constexpr uint8_t kCmdGetScan = 32;
inline constexpr uint8_t kCmdNewScanResults = 34;
inline constexpr uint8_t kCmdConnect = 46;
inline constexpr uint8_t kCmdDisconnect = 48;
inline constexpr uint8_t kCmdGetSurvey = 50;
inline constexpr uint8_t kCmdChSwitchNotify = 88;
inline constexpr uint8_t kCmdChSwitchStartedNotify = 110;

inline constexpr uint8_t kAttrWiphy = 1;
inline constexpr uint8_t kAttrIfindex = 3;
inline constexpr uint8_t kAttrIfname = 4;
inline constexpr uint8_t kAttrIftype = 5;
inline constexpr uint8_t kAttrMac = 6;
inline constexpr uint8_t kAttrRegAlpha2 = 33;
inline constexpr uint8_t kAttrRegRules = 34;
inline constexpr uint8_t kAttrWiphyFreq = 38;
inline constexpr uint8_t kAttrBss = 47;
inline constexpr uint8_t kAttrSsid = 52;
inline constexpr uint8_t kAttrSurveyInfo = 84;
inline constexpr uint8_t kAttrDfsRegion = 146;
inline constexpr uint8_t kAttrChannelWidth = 159;

}  // namespace ww::nl80211
