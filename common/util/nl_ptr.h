// Owners of libnl objects, so every path frees them.
#pragma once

#include <netlink/msg.h>
#include <netlink/socket.h>

#include <memory>

namespace ww {

struct NlMsgDeleter {
  void operator()(nl_msg* m) const { nlmsg_free(m); }
};
using NlMsgPtr = std::unique_ptr<nl_msg, NlMsgDeleter>;

struct NlSockDeleter {
  void operator()(nl_sock* s) const { nl_socket_free(s); }
};
using NlSockPtr = std::unique_ptr<nl_sock, NlSockDeleter>;

}  // namespace ww
