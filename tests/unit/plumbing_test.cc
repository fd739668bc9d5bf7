// The access-point interface's creation steps and the default-route watch,
// with the shell recorded instead of run.
#include "daemon/lifecycle/plumbing.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "daemon/lifecycle/operational_thread.h"
#include "tests/unit/test_daemon.h"

namespace ww {
namespace {

constexpr const char* kAdd = "iw dev wlan0 interface add wlanap type __ap";

const char kRouteHeader[] =
    "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n";

std::string Route(const char* iface, const char* destination, int metric) {
  return std::string(iface) + "\t" + destination + "\t0100A8C0\t0003\t0\t0\t" +
         std::to_string(metric) + "\t00000000\t0\t0\t0\n";
}

TEST(InterfaceExists, ComparesWholeNames) {
  EXPECT_TRUE(InterfaceExists("lo"));
  EXPECT_FALSE(InterfaceExists("l"));
  EXPECT_FALSE(InterfaceExists("ww-none0"));
}

TEST(MacFromRandom, UnicastAndLocallyAdministered) {
  const uint8_t all_ones[8] = {0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff};
  uint8_t mac[6];
  MacFromRandom(all_ones, mac);
  EXPECT_EQ(mac[0], 0xfe);
  EXPECT_EQ(mac[5], 0xff);
  const uint8_t zeros[8] = {};
  MacFromRandom(zeros, mac);
  EXPECT_EQ(mac[0], 0x02);
}

TEST(BestDefaultRoute, LowestMetricWins) {
  const std::string table = kRouteHeader + Route("wlan0", "00000000", 600) +
                            Route("eth0", "0000A8C0", 0) + Route("usb0", "00000000", 100);
  char iface[128] = "unchanged";
  EXPECT_TRUE(BestDefaultRoute(table.c_str(), iface, sizeof iface));
  EXPECT_STREQ(iface, "usb0");
  // Equal metrics: the first one listed stays.
  const std::string tie =
      kRouteHeader + Route("wlan0", "00000000", 100) + Route("usb0", "00000000", 100);
  EXPECT_TRUE(BestDefaultRoute(tie.c_str(), iface, sizeof iface));
  EXPECT_STREQ(iface, "wlan0");
  const std::string none = kRouteHeader + Route("eth0", "0000A8C0", 0);
  std::strcpy(iface, "unchanged");
  EXPECT_FALSE(BestDefaultRoute(none.c_str(), iface, sizeof iface));
  EXPECT_STREQ(iface, "unchanged");
  EXPECT_FALSE(BestDefaultRoute("", iface, sizeof iface));
}

class PlumbingTest : public ::testing::Test {
 protected:
  std::string Log(const std::function<void()>& action) {
    ::testing::internal::CaptureStderr();
    action();
    return ::testing::internal::GetCapturedStderr();
  }
  testing::TestDaemon daemon_;
  OperationalVars vars_;
};

TEST_F(PlumbingTest, MasqueradesOncePerNewDefaultInterface) {
  daemon_.scratch.Write("route", kRouteHeader + Route("wlan0", "00000000", 600));
  EXPECT_EQ(Log([&] { WatchDefaultRoute(daemon_, vars_); }), "Setting default route: wlan0\n");
  EXPECT_EQ(Log([&] { WatchDefaultRoute(daemon_, vars_); }), "");
  // The route disappears: nothing changes.
  daemon_.scratch.Write("route", kRouteHeader);
  EXPECT_EQ(Log([&] { WatchDefaultRoute(daemon_, vars_); }), "");
  daemon_.scratch.Write("route", kRouteHeader + Route("usb0", "00000000", 100));
  daemon_.command_status = 256;
  EXPECT_EQ(Log([&] { WatchDefaultRoute(daemon_, vars_); }),
            "Setting default route: usb0\n"
            "Error 256 executing: firewall-cmd --zone=public --add-masquerade\n");
  EXPECT_EQ(daemon_.commands, std::vector<std::string>(2,
                                                       "firewall-cmd --zone=public "
                                                       "--add-masquerade"));
}

TEST_F(PlumbingTest, NewInterfaceIsAddedAddressedAndOpened) {
  const std::string random = daemon_.scratch.Write("random", "\x01\x23\x45\x67\x89\xab\xcd\xef");
  daemon_.paths.random_device = random.c_str();
  std::string log = Log([&] { CreateAccessPointInterface(daemon_, vars_); });
  EXPECT_EQ(daemon_.commands, (std::vector<std::string>{
                                  kAdd,
                                  "ip link set dev wlanap address 02:23:45:67:89:ab",
                                  "ip addr add 10.35.78.1/24 brd + dev wlanap",
                                  "iw dev wlanap set bitrates he-gi-5 1.6 he-ltf-5 2",
                                  "iw dev wlanap set bitrates he-gi-6 1.6 he-ltf-6 2",
                                  "ifconfig wlanap up",
                                  "firewall-cmd --zone=nm-shared --add-port=1024-65535/tcp "
                                  "--add-port=1024-65535/udp",
                                  "firewall-cmd --zone=nm-shared --add-interface=wlanap",
                              }));
  EXPECT_FALSE(vars_.pending_error);
  EXPECT_STREQ(daemon_.state.text, "Continuing Setup");
  EXPECT_NE(log.find("Got 0: ifconfig wlanap up\nSetting firewall zone nm-shared for wlanap\n"),
            std::string::npos);
}

TEST_F(PlumbingTest, AddRetriesWithForceDeletions) {
  int adds = 0;
  daemon_.hooks.run_command = [&](const char* command) {
    daemon_.commands.emplace_back(command);
    return std::string(command) == kAdd && ++adds <= 25 ? 256 : 0;
  };
  const std::string log = Log([&] { CreateAccessPointInterface(daemon_, vars_); });
  int deletions = 0;
  int warnings = 0;
  for (size_t at = 0; (at = log.find("Trying a force deletion.\n", at)) != std::string::npos;
       ++at) {
    ++deletions;
  }
  for (size_t at = 0; (at = log.find("Warning: could not", at)) != std::string::npos; ++at) {
    ++warnings;
  }
  EXPECT_EQ(adds, 26);
  EXPECT_EQ(deletions, 2);
  EXPECT_EQ(warnings, 25);
  EXPECT_FALSE(vars_.pending_error);
}

TEST_F(PlumbingTest, EveryFailedStepLeavesItsTextAndTheLastWins) {
  daemon_.command_status = 256;
  Log([&] { CreateAccessPointInterface(daemon_, vars_); });
  EXPECT_TRUE(vars_.pending_error);
  EXPECT_STREQ(vars_.error_text, "Error bringing interface up\n");
  EXPECT_EQ(daemon_.slept, std::chrono::milliseconds(200 * 200 + 100 + 200));
  int adds = 0;
  for (const std::string& c : daemon_.commands) {
    adds += c == kAdd ? 1 : 0;
  }
  EXPECT_EQ(adds, 200);
}

}  // namespace
}  // namespace ww
