// The interface query: the attribute mapping as plain values, the libnl
// handler over messages built in-process, and the failure paths that need
// no wireless hardware.
#include "common/wifiquery/wifi_query.h"

#include <gtest/gtest.h>
#include <net/if.h>
#include <netlink/genl/genl.h>
#include <netlink/msg.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <string>

namespace ww {
namespace {

constexpr int kAttrIftype = 5;
constexpr int kAttrWiphyFreq = 38;
constexpr int kAttrSsid = 52;
constexpr int kAttrChannelWidth = 159;

TEST(WidthFromCode, KnownCodesAndTheRest) {
  const int32_t expected[] = {20, 20, 40, 80, 160, 160, 5, 10};
  for (uint32_t code = 0; code < 8; ++code) {
    EXPECT_EQ(WidthFromCode(code), expected[code]) << code;
  }
  EXPECT_EQ(WidthFromCode(8), -1);
  EXPECT_EQ(WidthFromCode(0xffffffff), -1);
}

struct Answer {
  uint32_t frequency = 0;
  uint32_t width = 0;
  uint32_t iftype = 0;
  std::string ssid;
  bool has_frequency = false;
  bool has_width = false;
  bool has_iftype = false;
  bool has_ssid = false;
};

WifiInfo Apply(const Answer& a, WifiInfo info = {}) {
  InterfaceAttributes attributes{};
  attributes.frequency = a.has_frequency ? &a.frequency : nullptr;
  attributes.width_code = a.has_width ? &a.width : nullptr;
  attributes.iftype = a.has_iftype ? &a.iftype : nullptr;
  if (a.has_ssid) {
    attributes.ssid = reinterpret_cast<const uint8_t*>(a.ssid.data());
    attributes.ssid_length = a.ssid.size();
  }
  ApplyInterfaceAttributes(attributes, info);
  return info;
}

Answer Frequency(uint32_t mhz) {
  Answer a;
  a.frequency = mhz;
  a.has_frequency = true;
  return a;
}

TEST(ApplyInterfaceAttributes, FrequencyGivesBandAndChannel) {
  struct Case {
    uint32_t mhz;
    int32_t band;
    uint32_t channel;
  };
  for (const Case& c : {Case{2412, 2, 1}, Case{2472, 2, 13}, Case{2484, 2, 14}, Case{5180, 5, 36},
                        Case{5895, 5, 179}, Case{5955, 6, 1}, Case{7115, 6, 233}, Case{5935, 0, 0},
                        Case{0, 0, 0}, Case{2400, 0, 0}}) {
    const WifiInfo info = Apply(Frequency(c.mhz));
    EXPECT_EQ(info.frequency, c.mhz);
    EXPECT_EQ(info.band, c.band) << c.mhz;
    EXPECT_EQ(info.channel, c.channel) << c.mhz;
  }
}

TEST(ApplyInterfaceAttributes, AccessPointsAreNeverConnected) {
  for (const uint32_t type : {3u, 9u}) {
    Answer a;
    a.iftype = type;
    a.has_iftype = true;
    a.ssid = "net";
    a.has_ssid = true;
    const WifiInfo info = Apply(a);
    EXPECT_EQ(info.is_ap, 1) << type;
    EXPECT_EQ(info.connected, 0) << type;
    EXPECT_STREQ(info.ssid, "net");
  }
}

TEST(ApplyInterfaceAttributes, StationIsConnectedWhenItHasAnSsid) {
  Answer a;
  a.iftype = 2;
  a.has_iftype = true;
  EXPECT_EQ(Apply(a).connected, 0);
  EXPECT_EQ(Apply(a).ssid[0], '\0');
  a.ssid = "upstream";
  a.has_ssid = true;
  EXPECT_EQ(Apply(a).connected, 1);
  EXPECT_EQ(Apply(a).is_ap, 0);
}

TEST(ApplyInterfaceAttributes, WithoutTypeTheRolesKeepTheirValues) {
  WifiInfo before{};
  before.is_ap = 1;
  before.connected = 1;
  Answer a;
  a.ssid = "x";
  a.has_ssid = true;
  const WifiInfo info = Apply(a, before);
  EXPECT_EQ(info.is_ap, 1);
  EXPECT_EQ(info.connected, 1);
}

TEST(ApplyInterfaceAttributes, SsidIsCutAtThirtyTwoBytesAndTerminated) {
  Answer a;
  a.has_ssid = true;
  a.ssid = std::string(40, 'S');
  WifiInfo info{};
  std::memset(info.ssid, 'x', sizeof info.ssid);
  info = Apply(a, info);
  EXPECT_EQ(std::string(info.ssid), std::string(32, 'S'));
  a.ssid = std::string("a\0b", 3);  // SSIDs are bytes; the text ends at the NUL
  EXPECT_EQ(std::memcmp(Apply(a).ssid, "a\0b\0", 4), 0);
}

// Messages as the kernel would send them, built with libnl.
struct MessageDeleter {
  void operator()(nl_msg* m) const { nlmsg_free(m); }
};
using MessagePtr = std::unique_ptr<nl_msg, MessageDeleter>;

MessagePtr Interface() {
  MessagePtr m(nlmsg_alloc());
  genlmsg_put(m.get(), 0, 0, 0x1c, 0, 0, 7, 0);
  return m;
}

TEST(WifiInfoHandler, ReadsEveryAttributeOfAnAnswer) {
  MessagePtr m = Interface();
  nla_put_u32(m.get(), 3, 4);
  nla_put_u32(m.get(), kAttrIftype, 3);
  nla_put_u32(m.get(), kAttrWiphyFreq, 5955);
  nla_put_u32(m.get(), kAttrChannelWidth, 5);
  const std::string ssid(34, 'N');
  nla_put(m.get(), kAttrSsid, static_cast<int>(ssid.size()), ssid.data());
  WifiInfo info{};
  EXPECT_EQ(WifiInfoHandler(m.get(), &info), NL_SKIP);
  EXPECT_EQ(info.frequency, 5955u);
  EXPECT_EQ(info.band, 6);
  EXPECT_EQ(info.channel, 1u);
  EXPECT_EQ(info.width, 160);
  EXPECT_EQ(info.is_ap, 1);
  EXPECT_EQ(info.connected, 0);
  EXPECT_EQ(std::string(info.ssid), std::string(32, 'N'));
}

TEST(WifiInfoHandler, AnUnassociatedStationReadsAllZero) {
  MessagePtr m = Interface();
  nla_put_u32(m.get(), kAttrIftype, 2);
  WifiInfo info{};
  EXPECT_EQ(WifiInfoHandler(m.get(), &info), NL_SKIP);
  EXPECT_EQ(info.frequency, 0u);
  EXPECT_EQ(info.band, 0);
  EXPECT_EQ(info.channel, 0u);
  EXPECT_EQ(info.width, 0);
  EXPECT_EQ(info.connected, 0);
  EXPECT_EQ(info.ssid[0], '\0');
}

TEST(WifiInfoHandler, ShortValuesAreIgnoredRatherThanOverread) {
  MessagePtr m = Interface();
  const uint8_t one = 3;
  nla_put(m.get(), kAttrIftype, 1, &one);
  nla_put(m.get(), kAttrWiphyFreq, 1, &one);
  nla_put(m.get(), kAttrChannelWidth, 1, &one);
  WifiInfo info{};
  info.is_ap = 7;
  EXPECT_EQ(WifiInfoHandler(m.get(), &info), NL_SKIP);
  EXPECT_EQ(info.is_ap, 7);
  EXPECT_EQ(info.frequency, 0u);
  EXPECT_EQ(info.width, 0);
}

TEST(WifiInfoFinishHandler, ClearsTheDoneFlag) {
  MessagePtr m = Interface();
  int32_t done = 5;
  EXPECT_EQ(WifiInfoFinishHandler(m.get(), &done), NL_SKIP);
  EXPECT_EQ(done, 0);
}

class WifiQueryTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(InitWifiQuery(ctx_), 0); }
  void TearDown() override { ReleaseWifiQuery(ctx_); }
  WifiQueryContext ctx_{};
};

TEST_F(WifiQueryTest, InitConnectsAndReleaseZeroes) {
  EXPECT_NE(ctx_.socket, nullptr);
  EXPECT_NE(ctx_.callbacks, nullptr);
  ReleaseWifiQuery(ctx_);
  EXPECT_EQ(ctx_.socket, nullptr);
  EXPECT_EQ(ctx_.callbacks, nullptr);
  ReleaseWifiQuery(ctx_);  // twice is harmless
}

TEST_F(WifiQueryTest, UnknownInterfaceFailsSilentlyAndLeavesTheRecord) {
  WifiInfo out{};
  out.frequency = 1234;
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(GetWifiInfo(ctx_, "ww-none0", out), -1);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(out.frequency, 1234u);
}

TEST(GetInterfaceIndex, LooksUpByTheFirstSixteenBytes) {
  EXPECT_EQ(GetInterfaceIndex("lo"), static_cast<int>(if_nametoindex("lo")));
  EXPECT_EQ(GetInterfaceIndex("ww-no-such-interface-at-all"), -1);
  EXPECT_EQ(GetInterfaceIndex(""), -1);
}

TEST_F(WifiQueryTest, NonWirelessInterfaceTimesOutOnTheFirstAnswer) {
  WifiInfo out{};
  out.band = 9;
  ::testing::internal::CaptureStderr();
  const int result = GetWifiInfo(ctx_, "lo", out);
  const std::string log = ::testing::internal::GetCapturedStderr();
  EXPECT_LT(result, 0);
  EXPECT_NE(log.find("**** nl timeout in GetWifiInfo 1 for lo\n"), std::string::npos) << log;
  EXPECT_EQ(out.band, 9);
}

TEST_F(WifiQueryTest, NothingToReceiveTimesOutAfterTwoHundredMilliseconds) {
  const auto start = std::chrono::steady_clock::now();
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(NLRecvmsgsWithTimeout(ctx_.socket, ctx_.callbacks), -1);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(190));
  EXPECT_LT(waited, std::chrono::milliseconds(2000));
  DrainWifiQuerySocket(ctx_.socket);  // nothing queued: returns at once
}

}  // namespace
}  // namespace ww
