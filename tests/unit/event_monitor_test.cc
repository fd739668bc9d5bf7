// The meaning of nl80211 and route events, as pure functions.
#include "daemon/netlink/event_monitor.h"

#include <gtest/gtest.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <netlink/genl/genl.h>
#include <netlink/msg.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include <cstring>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "common/util/nl_ptr.h"
#include "common/util/unique_fd.h"
#include "tests/unit/test_daemon.h"

namespace ww {
namespace {

constexpr uint8_t kConnect = 46;
constexpr uint8_t kNewStation = 19;
constexpr uint8_t kDelStation = 20;
const uint8_t kAp[6] = {0x00, 0x11, 0x22, 0xaa, 0xbb, 0xcc};

using Kind = Nl80211EventAction::Kind;

TEST(MapNl80211Event, FirstConnectIsAChangeAndTheSameApIsNot) {
  MacAddress last{};
  Nl80211EventAction a = MapNl80211Event(kConnect, "wlan0", kAp, last);
  EXPECT_EQ(a.kind, Kind::kConnect);
  EXPECT_TRUE(a.bssid_changed);
  EXPECT_EQ(a.log, "connected to AP MAC: 00:11:22:aa:bb:cc CHANGED \n");
  std::copy(std::begin(kAp), std::end(kAp), last.begin());
  a = MapNl80211Event(kConnect, "wlan0", kAp, last);
  EXPECT_FALSE(a.bssid_changed);
  EXPECT_EQ(a.log, "connected to AP MAC: 00:11:22:aa:bb:cc\n");
  // An all-zero address equals the starting value.
  const uint8_t zero[6] = {};
  EXPECT_FALSE(MapNl80211Event(kConnect, "wlan0", zero, MacAddress{}).bssid_changed);
}

TEST(MapNl80211Event, StationsOnOurAccessPointOnly) {
  const MacAddress last{};
  Nl80211EventAction a = MapNl80211Event(kNewStation, "wlanap", kAp, last);
  EXPECT_EQ(a.kind, Kind::kNewStation);
  EXPECT_EQ(a.log, "new station on softap: 00:11:22:aa:bb:cc\n");
  a = MapNl80211Event(kDelStation, "wlanap", kAp, last);
  EXPECT_EQ(a.kind, Kind::kDelStation);
  EXPECT_EQ(a.log, "del station on softap: 00:11:22:aa:bb:cc\n");
}

TEST(MapNl80211Event, OtherInterfacesCommandsAndMissingAddressesDoNothing) {
  const MacAddress last{};
  for (const auto& [command, name] :
       std::vector<std::pair<uint8_t, const char*>>{{kConnect, "wlanap"},
                                                    {kNewStation, "wlan0"},
                                                    {kDelStation, "wlan1"},
                                                    {kConnect, ""},
                                                    {7, "wlan0"},
                                                    {kNewStation, "wlanap0"},
                                                    {kDelStation, "wlanap1"}}) {
    const Nl80211EventAction a = MapNl80211Event(command, name, kAp, last);
    EXPECT_EQ(a.kind, Kind::kNone) << name;
    EXPECT_EQ(a.log, "") << name;
  }
  EXPECT_EQ(MapNl80211Event(kConnect, "wlan0", nullptr, last).kind, Kind::kNone);
  EXPECT_EQ(MapNl80211Event(kNewStation, "wlanap", nullptr, last).kind, Kind::kNone);
}

TEST(MapStationMoveEvent, TheStationsMovesOnly) {
  using MoveKind = StationMoveAction::Kind;
  struct Row {
    uint8_t command;
    const char* ifname;
    uint32_t frequency;
    MoveKind kind;
    int32_t target;
    const char* log;
  };
  for (const Row& r : std::vector<Row>{
           {110, "wlan0", 2462, MoveKind::kStarted, 2462, "station switching to freq 2462\n"},
           {88, "wlan0", 2462, MoveKind::kDone, 2462, "station switched to freq 2462\n"},
           {48, "wlan0", 0, MoveKind::kLost, 0, ""},
           {34, "wlan0", 0, MoveKind::kScanned, 0, ""},
           {34, "wlanap", 0, MoveKind::kNone, 0, ""},
           // A start without a usable frequency places nothing.
           {110, "wlan0", 0, MoveKind::kNone, 0, ""},
           {110, "wlan0", 0xffffffff, MoveKind::kNone, 0, ""},
           // hostapd's own switch on the access point.
           {110, "wlanap", 2462, MoveKind::kNone, 0, ""},
           {88, "wlanap", 2462, MoveKind::kNone, 0, ""},
           {kConnect, "wlan0", 2462, MoveKind::kNone, 0, ""},
       }) {
    const StationMoveAction a = MapStationMoveEvent(r.command, r.ifname, r.frequency);
    EXPECT_EQ(a.kind, r.kind) << int{r.command} << r.ifname << r.frequency;
    if (a.kind != MoveKind::kNone) {
      EXPECT_EQ(a.frequency, r.target) << int{r.command};
    }
    EXPECT_EQ(a.log, r.log) << int{r.command};
  }
}

TEST(IsNewDefaultRoute, DefaultRoutesOfBothFamiliesOnly) {
  EXPECT_TRUE(IsNewDefaultRoute(RTM_NEWROUTE, AF_INET, false));
  EXPECT_TRUE(IsNewDefaultRoute(RTM_NEWROUTE, AF_INET6, false));
  EXPECT_FALSE(IsNewDefaultRoute(RTM_NEWROUTE, AF_INET, true));  // a prefix
  EXPECT_FALSE(IsNewDefaultRoute(RTM_DELROUTE, AF_INET, false));
  EXPECT_FALSE(IsNewDefaultRoute(RTM_NEWROUTE, AF_BRIDGE, false));
  EXPECT_FALSE(IsNewDefaultRoute(RTM_NEWLINK, AF_INET, false));
}

// Handlers over messages built in-process.
using MessagePtr = NlMsgPtr;

MessagePtr Route(int type, uint8_t family, bool with_destination) {
  MessagePtr m(nlmsg_alloc_simple(type, 0));
  rtmsg header{};
  header.rtm_family = family;
  header.rtm_dst_len = with_destination ? 24 : 0;
  header.rtm_table = RT_TABLE_MAIN;
  header.rtm_type = RTN_UNICAST;
  nlmsg_append(m.get(), &header, sizeof header, NLMSG_ALIGNTO);
  if (with_destination) {
    const uint8_t dst[4] = {192, 0, 2, 0};
    nla_put(m.get(), RTA_DST, sizeof dst, dst);
  }
  const uint32_t oif = 1;
  nla_put(m.get(), RTA_OIF, sizeof oif, &oif);
  return m;
}

TEST(HandleRouteEvent, ANewDefaultRouteWakesThePass) {
  testing::TestDaemon daemon;
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(HandleRouteEvent(Route(RTM_NEWROUTE, AF_INET, false).get(), &daemon.events), NL_OK);
  EXPECT_EQ(HandleRouteEvent(Route(RTM_NEWROUTE, AF_INET, true).get(), &daemon.events), NL_OK);
  EXPECT_EQ(HandleRouteEvent(Route(RTM_DELROUTE, AF_INET, false).get(), &daemon.events), NL_OK);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "Default route added\n");
  EXPECT_EQ(daemon.state.wake_semaphore.Value(), 1);
}

// A default route with a multipath attribute of the given next-hop bytes.
MessagePtr MultipathRoute(const std::vector<uint8_t>& hops) {
  MessagePtr m = Route(RTM_NEWROUTE, AF_INET, false);
  nla_put(m.get(), RTA_MULTIPATH, static_cast<int>(hops.size()), hops.data());
  return m;
}

// libnl's route parser never ends on a next hop of length 0 (it steps by
// it) and reads past the attribute when an aligned step overshoots; such a
// message is refused before it reaches the parser.
TEST(HandleRouteEvent, MultipathNextHopsThatCannotBeWalkedAreRefused) {
  const std::vector<uint8_t> good = {8, 0, 0, 0, 1, 0, 0, 0,   // one hop, no attributes
                                     8, 0, 0, 0, 2, 0, 0, 0};  // and another
  const std::vector<uint8_t> zero(16, 0);                      // a hop of length 0
  const std::vector<uint8_t> short_hop = {4, 0, 0, 0, 1, 0, 0, 0};
  // A hop of 9 bytes in 9: its aligned step (12) runs past the attribute.
  const std::vector<uint8_t> overshoot = {9, 0, 0, 0, 1, 0, 0, 0, 0};
  // A hop longer than what is left simply ends the walk, as in libnl.
  const std::vector<uint8_t> long_hop = {64, 0, 0, 0, 1, 0, 0, 0};
  const auto walkable = [](const MessagePtr& m) {
    const nlmsghdr* h = nlmsg_hdr(m.get());
    return MultipathIsWalkable(reinterpret_cast<const uint8_t*>(h), h->nlmsg_len);
  };
  EXPECT_TRUE(walkable(Route(RTM_NEWROUTE, AF_INET, true)));
  EXPECT_TRUE(walkable(MultipathRoute(good)));
  EXPECT_TRUE(walkable(MultipathRoute(long_hop)));
  EXPECT_FALSE(walkable(MultipathRoute(zero)));
  EXPECT_FALSE(walkable(MultipathRoute(short_hop)));
  EXPECT_FALSE(walkable(MultipathRoute(overshoot)));
  MessagePtr via = Route(RTM_NEWROUTE, AF_INET, false);
  nla_put(via.get(), RTA_VIA, 1, "x");
  EXPECT_FALSE(walkable(via));
  // Cut messages and garbage lengths are walked within their bytes.
  const std::vector<uint8_t> tiny = {4, 0};
  EXPECT_TRUE(MultipathIsWalkable(tiny.data(), tiny.size()));

  testing::TestDaemon daemon;
  ::testing::internal::CaptureStdout();
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(HandleRouteEvent(MultipathRoute(zero).get(), &daemon.events), NL_STOP);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Error parsing route message.\n");
  EXPECT_EQ(HandleRouteEvent(MultipathRoute(good).get(), &daemon.events), NL_OK);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "Default route added\n");
}

// Runs `body` with the index of an interface named `name`, on a thread of its
// own in a network namespace of its own whose loopback interface is renamed
// so. False when this process may not make one; the namespace goes with the
// thread.
bool WithInterfaceNamed(const char* name, const std::function<void(int index)>& body) {
  bool made = false;
  std::thread thread([&] {
    if (::unshare(CLONE_NEWNET) != 0) {
      return;
    }
    const UniqueFd fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    ifreq rename{};
    std::strncpy(rename.ifr_name, "lo", sizeof rename.ifr_name - 1);
    std::strncpy(rename.ifr_newname, name, sizeof rename.ifr_newname - 1);
    if (!fd.Valid() || ::ioctl(fd.Get(), SIOCSIFNAME, &rename) != 0) {
      return;
    }
    made = true;
    body(static_cast<int>(if_nametoindex(name)));
  });
  thread.join();
  return made;
}

TEST(HandleNl80211Event, AStationLeavingOurAccessPointLowersTheCount) {
  testing::TestDaemon daemon;
  daemon.state.stations.store(3);
  const bool made = WithInterfaceNamed("wlanap", [&daemon](int index) {
    MessagePtr m(nlmsg_alloc());
    genlmsg_put(m.get(), 0, 0, 0x1c, 0, 0, kDelStation, 0);
    nla_put_u32(m.get(), 3, static_cast<uint32_t>(index));
    nla_put(m.get(), 6, sizeof kAp, kAp);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(HandleNl80211Event(m.get(), &daemon.events), NL_OK);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "del station on softap: 00:11:22:aa:bb:cc\n");
  });
  if (!made) {
    GTEST_SKIP() << "a network namespace of its own needs CAP_SYS_ADMIN";
  }
  EXPECT_EQ(daemon.state.stations.load(), 2);
}

TEST(HandleNl80211Event, AnIndexWithoutANameIsIgnored) {
  testing::TestDaemon daemon;
  MessagePtr m(nlmsg_alloc());
  genlmsg_put(m.get(), 0, 0, 0x1c, 0, 0, kNewStation, 0);
  nla_put_u32(m.get(), 3, 0x7ffffff0);
  nla_put(m.get(), 6, sizeof kAp, kAp);
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(HandleNl80211Event(m.get(), &daemon.events), NL_OK);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "Could not get interface name from index: 2147483632\n");
  EXPECT_EQ(daemon.state.stations.load(), 0);
}

}  // namespace
}  // namespace ww
