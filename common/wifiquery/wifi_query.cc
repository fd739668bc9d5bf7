#include "common/wifiquery/wifi_query.h"

#include <netlink/handlers.h>
#include <netlink/socket.h>

#include <cstring>

namespace ww {

// The libnl connection and the nl80211 query arrive with the interface query
// work; a context without a socket is valid and simply answers nothing yet.
int InitWifiQuery(WifiQueryContext& ctx) {
  std::memset(&ctx, 0, sizeof ctx);
  return 0;
}

void ReleaseWifiQuery(WifiQueryContext& ctx) {
  if (ctx.callbacks != nullptr) {
    nl_cb_put(ctx.callbacks);
  }
  if (ctx.socket != nullptr) {
    nl_socket_free(ctx.socket);
  }
  std::memset(&ctx, 0, sizeof ctx);
}

}  // namespace ww
