// Moving a running access point with hostapd's channel switch announcement:
// the command text and the completion event, as pure functions, and the
// exchange over hostapd's control socket.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

#include "daemon/hostapd/hostapd_config.h"

namespace ww {

// Beacons announcing the switch before it happens: about half a second at
// the usual 100 TU interval, time for a dozing phone to hear one.
inline constexpr int kSwitchBeacons = 5;

// How long a switch may take, from the command to hostapd's completion
// event, before the pass falls back to a restart.
inline constexpr std::chrono::milliseconds kSwitchDeadline{3000};

// hostapd's CHAN_SWITCH command that moves the access point to `target`
// (LayoutFor of the configuration written for it): its frequency, its
// centre frequency, width and secondary channel, and the PHY modes the
// configuration enables. Empty for a layout in no band.
std::string ChanSwitchCommand(const ChannelLayout& target, int beacons = kSwitchBeacons);

// The frequency of an "AP-CSA-FINISHED freq=F ..." event (with or without its
// "<N>" level prefix); nullopt for any other message.
std::optional<int> CsaFinishedFrequency(std::string_view message);

// What a switch came to, for the pass's log line.
enum class SwitchResult {
  kSwitched,
  kNoControlSocket,  // hostapd does not answer on its control socket
  kRefused,          // hostapd answered the command with other than OK
  kTimedOut,         // no completion event before the deadline
  kOtherFrequency,   // completed on another frequency than asked
};
const char* SwitchResultText(SwitchResult result);

// Sends `command` to hostapd's control socket `control_path` and waits, up to
// `deadline` on the monotonic clock, for the completion event on
// `frequency`. Nothing is left open.
SwitchResult SwitchChannel(const char* control_path, const std::string& command, int frequency,
                           std::chrono::milliseconds deadline = kSwitchDeadline);

}  // namespace ww
