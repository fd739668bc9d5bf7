// The daemon's own generic-netlink channel for hand-built nl80211 requests.
#pragma once

namespace ww {

// Opens the channel and learns the nl80211 family id. 0 when the controller
// exchange ended (even if the family is unknown), -4 when the socket cannot be
// created, -5 when it cannot be bound. Main thread, before other threads.
int OpenNL80211Channel();

}  // namespace ww
