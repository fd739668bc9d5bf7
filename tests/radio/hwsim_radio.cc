// Creates one simulated radio over the mac80211_hwsim generic-netlink family,
// with the options the radio scenarios need:
//   hwsim_radio [--channels N] [--alpha2 CC] [--no-vif]
// A radio with a country hint gets its own per-phy regulatory domain. Prints
// the new radio's id; exit status 1 on any failure.
#include <netlink/genl/ctrl.h>
#include <netlink/genl/genl.h>
#include <netlink/msg.h>
#include <netlink/socket.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "common/util/nl_ptr.h"

namespace {

constexpr uint8_t kCmdNewRadio = 4;
constexpr int kAttrChannels = 9;
constexpr int kAttrRegAlpha2 = 11;
constexpr int kAttrNoVif = 18;

int Fail(const char* what) {
  std::fprintf(stderr, "hwsim_radio: %s\n", what);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  uint32_t channels = 1;
  std::string alpha2;
  bool no_vif = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--channels" && i + 1 < argc) {
      channels = static_cast<uint32_t>(std::strtoul(argv[++i], nullptr, 10));
    } else if (arg == "--alpha2" && i + 1 < argc) {
      alpha2 = argv[++i];
    } else if (arg == "--no-vif") {
      no_vif = true;
    } else {
      return Fail("usage: hwsim_radio [--channels N] [--alpha2 CC] [--no-vif]");
    }
  }
  const ww::NlSockPtr sock(nl_socket_alloc());
  if (!sock || genl_connect(sock.get()) != 0) {
    return Fail("cannot connect to generic netlink");
  }
  const int family = genl_ctrl_resolve(sock.get(), "MAC80211_HWSIM");
  if (family < 0) {
    return Fail("mac80211_hwsim is not loaded");
  }
  const ww::NlMsgPtr msg(nlmsg_alloc());
  if (!msg ||
      genlmsg_put(msg.get(), NL_AUTO_PORT, NL_AUTO_SEQ, family, 0, 0, kCmdNewRadio, 1) == nullptr) {
    return Fail("cannot build the request");
  }
  nla_put_u32(msg.get(), kAttrChannels, channels);
  if (!alpha2.empty()) {
    nla_put(msg.get(), kAttrRegAlpha2, 2, alpha2.data());
  }
  if (no_vif) {
    nla_put_flag(msg.get(), kAttrNoVif);
  }
  if (nl_send_auto(sock.get(), msg.get()) < 0) {
    return Fail("cannot send the request");
  }
  // The kernel answers with the new radio's id as the acknowledgement's
  // error field (a positive number) or a negative error; libnl would take
  // any id but 0 for an error number, so read the field here.
  int result = -ENODATA;
  nl_socket_modify_err_cb(
      sock.get(), NL_CB_CUSTOM,
      [](sockaddr_nl* /*peer*/, nlmsgerr* error, void* arg) -> int {
        *static_cast<int*>(arg) = error->error;
        return NL_STOP;
      },
      &result);
  const int received = nl_recvmsgs_default(sock.get());
  if (result == -ENODATA) {
    // Radio 0 comes back as a plain acknowledgement.
    if (received < 0) {
      return Fail("no answer from the kernel");
    }
    result = 0;
  }
  if (result < 0) {
    std::fprintf(stderr, "hwsim_radio: %s\n", std::strerror(-result));
    return 1;
  }
  std::printf("%d\n", result);
  return 0;
}
