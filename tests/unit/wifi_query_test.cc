// The interface query: the attribute mapping as plain values, the libnl
// handler over messages built in-process, whole exchanges against a stand-in
// for nl80211, the failure paths against the real kernel, and bandprobe's
// report lines.
#include "common/wifiquery/wifi_query.h"

#include <gtest/gtest.h>
#include <linux/genetlink.h>
#include <linux/netlink.h>
#include <net/if.h>
#include <netlink/genl/genl.h>
#include <netlink/msg.h>
#include <netlink/socket.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/util/nl_ptr.h"
#include "common/util/unique_fd.h"
#include "tools/probe/probe_report.h"

namespace ww {
namespace {

constexpr int kAttrIfindex = 3;
constexpr int kAttrIftype = 5;
constexpr int kAttrWiphyFreq = 38;
constexpr int kAttrSsid = 52;
constexpr int kAttrChannelWidth = 159;
constexpr uint8_t kCmdGetInterface = 5;
constexpr uint8_t kCmdNewInterface = 7;
constexpr uint32_t kIftypeStation = 2;
constexpr uint32_t kIftypeAp = 3;

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
  a.iftype = kIftypeStation;
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
using MessagePtr = NlMsgPtr;

MessagePtr Interface() {
  MessagePtr m(nlmsg_alloc());
  genlmsg_put(m.get(), 0, 0, 0x1c, 0, 0, kCmdNewInterface, 0);
  return m;
}

TEST(WifiInfoHandler, ReadsEveryAttributeOfAnAnswer) {
  MessagePtr m = Interface();
  nla_put_u32(m.get(), kAttrIfindex, 4);
  nla_put_u32(m.get(), kAttrIftype, kIftypeAp);
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
  nla_put_u32(m.get(), kAttrIftype, kIftypeStation);
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

bool Readable(nl_sock* socket, int timeout_ms) {
  pollfd p{nl_socket_get_fd(socket), POLLIN, 0};
  return ::poll(&p, 1, timeout_ms) == 1 && (p.revents & POLLIN) != 0;
}

// Against the real kernel: the machine may have no wireless stack at all, so
// only what fails the same way with or without nl80211 is checked here.
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

TEST(WifiQueryInit, AKnownFamilyIdIsTakenAsItIs) {
  WifiQueryContext ctx{};
  ASSERT_EQ(InitWifiQuery(ctx, 0x55), 0);
  EXPECT_EQ(ctx.family, 0x55);
  ReleaseWifiQuery(ctx);
}

TEST_F(WifiQueryTest, UnknownInterfaceFailsSilentlyAndLeavesTheRecord) {
  // The second name is longer than the kernel's name field.
  for (const char* name : {"ww-none0", "ww-no-such-interface-at-all"}) {
    WifiInfo out{};
    out.frequency = 1234;
    std::strcpy(out.ssid, "kept");
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(GetWifiInfo(ctx_, name, out), -1) << name;
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "") << name;
    EXPECT_EQ(out.frequency, 1234u);
    EXPECT_STREQ(out.ssid, "kept");
  }
}

TEST(GetInterfaceIndex, FindsOnlyExistingInterfaces) {
  EXPECT_EQ(GetInterfaceIndex("lo"), static_cast<int>(if_nametoindex("lo")));
  EXPECT_EQ(GetInterfaceIndex("ww-no-such-interface-at-all"), -1);
  EXPECT_EQ(GetInterfaceIndex(""), -1);

  // On a socket the caller has open, as a netlink one of a query context.
  const UniqueFd netlink(::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE));
  ASSERT_TRUE(netlink.Valid());
  EXPECT_EQ(GetInterfaceIndex("lo", netlink.Get()), static_cast<int>(if_nametoindex("lo")));
  EXPECT_EQ(GetInterfaceIndex("ww-no-such-interface-at-all", netlink.Get()), -1);
}

TEST_F(WifiQueryTest, NonWirelessInterfaceTimesOutOnTheFirstAnswer) {
  WifiInfo out{};
  out.band = 9;
  ::testing::internal::CaptureStderr();
  const int result = GetWifiInfo(ctx_, "lo", out);
  const std::string log = ::testing::internal::GetCapturedStderr();
  EXPECT_LT(result, 0);
  // The refusal is an error answer, so libnl's failure is reported first.
  EXPECT_EQ(log.rfind("[bandprobe:53 in NLRecvmsgsWithTimeout] nl_recvmsgs: ", 0), 0u) << log;
  const std::string last = "**** nl timeout in GetWifiInfo 1 for lo\n";
  ASSERT_GE(log.size(), last.size());
  EXPECT_EQ(log.substr(log.size() - last.size()), last) << log;
  EXPECT_EQ(out.band, 9);
  EXPECT_FALSE(Readable(ctx_.socket, 0));  // nothing of this query is left over
}

TEST_F(WifiQueryTest, NothingToReceiveTimesOutAfterTwoHundredMilliseconds) {
  const auto start = std::chrono::steady_clock::now();
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(NLRecvmsgsWithTimeout(ctx_.socket, ctx_.callbacks), -1);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(190));
  EXPECT_LT(waited, std::chrono::milliseconds(2000));
}

// Stands in for nl80211: a second generic-netlink socket that the query
// socket is pointed at. One user socket may send to another only with
// CAP_NET_ADMIN, so these tests are skipped without it.
class FakeNl80211 {
 public:
  // False when this process may not send between user sockets.
  bool Open() {
    fd_.Reset(::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_GENERIC));
    sockaddr_nl self{};
    self.nl_family = AF_NETLINK;
    socklen_t length = sizeof self;
    if (!fd_.Valid() || ::bind(fd_.Get(), reinterpret_cast<sockaddr*>(&self), sizeof self) != 0 ||
        ::getsockname(fd_.Get(), reinterpret_cast<sockaddr*>(&self), &length) != 0) {
      return false;
    }
    port_ = self.nl_pid;
    if (!SendNoopTo(port_)) {
      return false;
    }
    char scratch[64];
    return ::recv(fd_.Get(), scratch, sizeof scratch, 0) == static_cast<ssize_t>(sizeof(nlmsghdr));
  }

  uint32_t Port() const { return port_; }

  // Waits at most two seconds for one request; its bytes, or empty.
  std::vector<uint8_t> TakeRequest() {
    pollfd p{fd_.Get(), POLLIN, 0};
    std::vector<uint8_t> bytes(4096);
    if (::poll(&p, 1, 2000) != 1) {
      return {};
    }
    sockaddr_nl from{};
    socklen_t length = sizeof from;
    const ssize_t got = ::recvfrom(fd_.Get(), bytes.data(), bytes.size(), 0,
                                   reinterpret_cast<sockaddr*>(&from), &length);
    bytes.resize(got > 0 ? static_cast<size_t>(got) : 0);
    client_ = from.nl_pid;
    return bytes;
  }

  // Sends `answer` to the last client under `sequence`.
  void SendAnswer(nl_msg* answer, uint32_t sequence) {
    nlmsghdr* header = nlmsg_hdr(answer);
    header->nlmsg_seq = sequence;
    EXPECT_TRUE(SendTo(client_, header, header->nlmsg_len));
  }

  // A message that carries nothing, to the socket with port `port`.
  void SendNoop(uint32_t port) { EXPECT_TRUE(SendNoopTo(port)); }

  // The acknowledgement that ends a single answer, or with a negative
  // `error` the refusal of the request.
  void SendAck(uint32_t sequence, int32_t error = 0) {
    struct {
      nlmsghdr header;
      nlmsgerr error;
    } ack{};
    ack.header.nlmsg_len = sizeof ack;
    ack.header.nlmsg_type = NLMSG_ERROR;
    ack.header.nlmsg_seq = sequence;
    ack.error.error = error;
    ack.error.msg.nlmsg_seq = sequence;
    EXPECT_TRUE(SendTo(client_, &ack, sizeof ack));
  }

 private:
  bool SendNoopTo(uint32_t port) {
    nlmsghdr noop{};
    noop.nlmsg_len = sizeof noop;
    noop.nlmsg_type = NLMSG_NOOP;
    return SendTo(port, &noop, sizeof noop);
  }

  bool SendTo(uint32_t port, const void* data, size_t length) {
    sockaddr_nl to{};
    to.nl_family = AF_NETLINK;
    to.nl_pid = port;
    return ::sendto(fd_.Get(), data, length, 0, reinterpret_cast<sockaddr*>(&to), sizeof to) ==
           static_cast<ssize_t>(length);
  }

  UniqueFd fd_;
  uint32_t port_ = 0;
  uint32_t client_ = 0;
};

uint32_t SequenceOf(const std::vector<uint8_t>& request) {
  nlmsghdr header{};
  std::memcpy(&header, request.data(), std::min(request.size(), sizeof header));
  return header.nlmsg_seq;
}

class WifiQueryExchangeTest : public WifiQueryTest {
 protected:
  static constexpr int kFamily = 0x23;

  void SetUp() override {
    WifiQueryTest::SetUp();
    if (!kernel_.Open()) {
      GTEST_SKIP() << "sending between netlink user sockets needs CAP_NET_ADMIN";
    }
    nl_socket_set_peer_port(ctx_.socket, kernel_.Port());
    ctx_.family = kFamily;
  }

  // Runs GetWifiInfo on "lo" while the stand-in answers the request with
  // `answer` (none when null) and, if `ack`, the acknowledgement.
  int Query(nl_msg* answer, bool ack, WifiInfo& out, bool own_socket = false) {
    std::thread server([&] {
      request_ = kernel_.TakeRequest();
      if (answer != nullptr) {
        kernel_.SendAnswer(answer, SequenceOf(request_));
      }
      if (ack) {
        kernel_.SendAck(SequenceOf(request_), ack_error_);
      }
    });
    ::testing::internal::CaptureStderr();
    const int result =
        own_socket ? GetWifiInfoOnOwnSocket(ctx_, "lo", out) : GetWifiInfo(ctx_, "lo", out);
    log_ = ::testing::internal::GetCapturedStderr();
    server.join();
    return result;
  }

  FakeNl80211 kernel_;
  int32_t ack_error_ = 0;  // what Query's acknowledgements carry
  std::vector<uint8_t> request_;
  std::string log_;
};

TEST_F(WifiQueryExchangeTest, AnswerAndAcknowledgementFillTheCallersRecord) {
  MessagePtr answer = Interface();
  nla_put_u32(answer.get(), kAttrIftype, kIftypeAp);
  nla_put_u32(answer.get(), kAttrWiphyFreq, 5955);
  nla_put_u32(answer.get(), kAttrChannelWidth, 5);
  nla_put(answer.get(), kAttrSsid, 8, "probe-ap");
  WifiInfo out{};
  EXPECT_FALSE(ctx_.settled);
  EXPECT_EQ(Query(answer.get(), true, out), 0);
  EXPECT_EQ(log_, "");
  // Answer and acknowledgement read: the next query sends without a drain.
  EXPECT_TRUE(ctx_.settled);
  EXPECT_EQ(out.frequency, 5955u);
  EXPECT_EQ(out.channel, 1u);
  EXPECT_EQ(out.band, 6);
  EXPECT_EQ(out.width, 160);
  EXPECT_EQ(out.is_ap, 1);
  EXPECT_EQ(out.connected, 0);
  EXPECT_STREQ(out.ssid, "probe-ap");

  // The request: header, generic header, and the index as the one attribute.
  ASSERT_EQ(request_.size(), 28u);
  nlmsghdr header{};
  genlmsghdr genl{};
  std::memcpy(&header, request_.data(), sizeof header);
  std::memcpy(&genl, request_.data() + 16, sizeof genl);
  EXPECT_EQ(header.nlmsg_len, 28u);
  EXPECT_EQ(header.nlmsg_type, kFamily);
  EXPECT_EQ(header.nlmsg_flags, NLM_F_REQUEST | NLM_F_ACK);
  EXPECT_EQ(genl.cmd, kCmdGetInterface);
  EXPECT_EQ(genl.version, 0);
  uint16_t attribute[2] = {};
  uint32_t index = 0;
  std::memcpy(attribute, request_.data() + 20, sizeof attribute);
  std::memcpy(&index, request_.data() + 24, sizeof index);
  EXPECT_EQ(attribute[0], 8);
  EXPECT_EQ(attribute[1], kAttrIfindex);
  EXPECT_EQ(index, if_nametoindex("lo"));
}

TEST_F(WifiQueryExchangeTest, TheDaemonsVariantAsksTheIndexOnTheContextsSocket) {
  MessagePtr answer = Interface();
  nla_put_u32(answer.get(), kAttrIftype, kIftypeStation);
  nla_put_u32(answer.get(), kAttrWiphyFreq, 2412);
  WifiInfo out{};
  EXPECT_EQ(Query(answer.get(), true, out, true), 0);
  EXPECT_EQ(log_, "");
  EXPECT_EQ(out.channel, 1u);
  uint32_t index = 0;
  ASSERT_EQ(request_.size(), 28u);
  std::memcpy(&index, request_.data() + 24, sizeof index);
  EXPECT_EQ(index, if_nametoindex("lo"));

  out.band = 9;
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(GetWifiInfoOnOwnSocket(ctx_, "ww-no-such-interface-at-all", out), -1);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(out.band, 9);
}

TEST_F(WifiQueryExchangeTest, EachSilenceTimesOutOnItsOwnReceive) {
  MessagePtr answer = Interface();
  nla_put_u32(answer.get(), kAttrWiphyFreq, 2412);
  struct Case {
    nl_msg* answer;
    const char* log;
  };
  for (const Case& c : {Case{nullptr, "**** nl timeout in GetWifiInfo 1 for lo\n"},
                        Case{answer.get(), "**** nl timeout in GetWifiInfo 2 for lo\n"}}) {
    WifiInfo out{};
    out.band = 9;
    const auto start = std::chrono::steady_clock::now();
    ctx_.settled = true;  // as after an earlier complete query
    EXPECT_EQ(Query(c.answer, false, out), -1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2000));
    EXPECT_EQ(log_, c.log);
    // What did not come may still come: the next query drains first.
    EXPECT_FALSE(ctx_.settled);
    EXPECT_EQ(out.band, 9);
    EXPECT_EQ(out.frequency, 0u);
  }
}

TEST_F(WifiQueryExchangeTest, ALateAcknowledgementIsDroppedAndTheNextQuerySucceeds) {
  MessagePtr first = Interface();
  nla_put_u32(first.get(), kAttrIftype, kIftypeStation);
  nla_put_u32(first.get(), kAttrWiphyFreq, 2437);
  nla_put_u32(first.get(), kAttrChannelWidth, 1);
  nla_put(first.get(), kAttrSsid, 2, "up");
  WifiInfo out{};
  ASSERT_EQ(Query(first.get(), false, out), -1);
  ASSERT_EQ(log_, "**** nl timeout in GetWifiInfo 2 for lo\n");
  ASSERT_FALSE(ctx_.settled);
  kernel_.SendAck(SequenceOf(request_));
  ASSERT_TRUE(Readable(ctx_.socket, 1000));

  // The station has since lost its network: nothing of the first answer may
  // show through, and the late acknowledgement must not be taken for this
  // query's.
  MessagePtr second = Interface();
  nla_put_u32(second.get(), kAttrIftype, kIftypeStation);
  nla_put_u32(second.get(), kAttrWiphyFreq, 5180);
  EXPECT_EQ(Query(second.get(), true, out), 0);
  EXPECT_EQ(log_, "");
  EXPECT_EQ(out.frequency, 5180u);
  EXPECT_EQ(out.channel, 36u);
  EXPECT_EQ(out.band, 5);
  EXPECT_EQ(out.width, 0);
  EXPECT_EQ(out.connected, 0);
  EXPECT_EQ(out.ssid[0], '\0');
  EXPECT_FALSE(Readable(ctx_.socket, 0));
}

TEST_F(WifiQueryExchangeTest, AQueryThatReadAStaleMessageIsNotSettled) {
  MessagePtr answer = Interface();
  nla_put_u32(answer.get(), kAttrWiphyFreq, 2412);
  WifiInfo out{};
  ASSERT_EQ(Query(nullptr, false, out), -1);
  ASSERT_EQ(log_, "**** nl timeout in GetWifiInfo 1 for lo\n");
  // The answer and its acknowledgement come after the query gave up.
  const uint32_t late = SequenceOf(request_);
  kernel_.SendAnswer(answer.get(), late);
  kernel_.SendAck(late);
  ASSERT_TRUE(Readable(ctx_.socket, 1000));

  // The drain drops the late answer; the late acknowledgement is read in
  // place of this query's answer, so this query's own acknowledgement is
  // left queued.
  EXPECT_EQ(Query(answer.get(), true, out), 0);
  EXPECT_FALSE(ctx_.settled);

  // Hence the next query drains it, and the kernel's refusal is read as the
  // answer it is.
  ack_error_ = -ENODEV;
  EXPECT_LT(Query(nullptr, true, out), 0);
  const std::string last = "**** nl timeout in GetWifiInfo 1 for lo\n";
  ASSERT_GE(log_.size(), last.size());
  EXPECT_EQ(log_.substr(log_.size() - last.size()), last) << log_;
  EXPECT_FALSE(Readable(ctx_.socket, 0));
}

TEST_F(WifiQueryExchangeTest, DrainDropsAtMostOneDatagram) {
  const int fd = nl_socket_get_fd(ctx_.socket);
  // Were the drain to block, this bounds it and the time below shows it.
  const timeval bound{1, 0};
  ASSERT_EQ(::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &bound, sizeof bound), 0);
  const auto start = std::chrono::steady_clock::now();
  DrainWifiQuerySocket(ctx_.socket);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));

  // Two datagrams, as a late answer and its acknowledgement would be.
  const uint32_t port = nl_socket_get_local_port(ctx_.socket);
  kernel_.SendNoop(port);
  kernel_.SendNoop(port);
  ASSERT_TRUE(Readable(ctx_.socket, 1000));
  DrainWifiQuerySocket(ctx_.socket);
  EXPECT_TRUE(Readable(ctx_.socket, 0));
  DrainWifiQuerySocket(ctx_.socket);
  EXPECT_FALSE(Readable(ctx_.socket, 0));
}

TEST(ProbeReport, AccessPointAndIdleStation) {
  struct Case {
    WifiInfo info;
    const char* expected;
  };
  WifiInfo ap{};
  ap.frequency = 5180;
  ap.channel = 36;
  ap.band = 5;
  ap.is_ap = 1;
  ap.width = 80;
  std::strcpy(ap.ssid, "Lobby AP");
  const WifiInfo idle{};
  for (const Case& c : {Case{ap,
                             "Interface:\twlanap\n"
                             "SSID:\t\tLobby AP\n"
                             "Band:\t\t5\n"
                             "Frequency:\t5180 MHz\n"
                             "Channel:\t36\n"
                             "Connected:\tNo\n"
                             "AP?:\t\tYes\n"},
                        Case{idle,
                             "Interface:\twlanap\n"
                             "SSID:\t\t\n"
                             "Band:\t\t0\n"
                             "Frequency:\t0 MHz\n"
                             "Channel:\t0\n"
                             "Connected:\tNo\n"
                             "AP?:\t\tNo\n"}}) {
    char* text = nullptr;
    size_t size = 0;
    std::FILE* out = open_memstream(&text, &size);
    ASSERT_NE(out, nullptr);
    PrintWifiInfo(out, "wlanap", c.info);
    std::fclose(out);
    EXPECT_EQ(std::string(text, size), c.expected);
    std::free(text);
  }
}

}  // namespace
}  // namespace ww
