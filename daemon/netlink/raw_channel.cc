#include "daemon/netlink/raw_channel.h"

namespace ww {

// The raw channel itself arrives with the nl80211 request work.
int OpenNL80211Channel() {
  return 0;
}

}  // namespace ww
