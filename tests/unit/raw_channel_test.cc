// The raw nl80211 channel against a fake kernel: the family lookup, the
// sequence numbering and the reading discipline.
#include "daemon/netlink/raw_channel.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/time.h>

#include <string>
#include <vector>

#include "tests/unit/fake_kernel.h"

namespace ww {
namespace {

using testing::Block;
using testing::BlockBuilder;
using testing::FakeKernel;

constexpr uint16_t kFamily = 0x1c;

// The controller's answer naming nl80211 with id 0x1c.
BlockBuilder& FamilyMessage(BlockBuilder& b) {
  return b.Message(16, 1, 1).AttrString(2, "nl80211").AttrU16(1, kFamily).AttrU32(3, 1);
}

class RawChannelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    kernel_.Attach(channel_);
    channel_.request_port_id = 0x7C001234;
  }
  void TearDown() override { channel_.socket_fd = -1; }  // the fake kernel closes it

  // Runs the family lookup and returns what it printed.
  std::string LookUp() {
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(LookUpNl80211Family(channel_), 0);
    return ::testing::internal::GetCapturedStdout();
  }

  FakeKernel kernel_;
  RawChannel channel_;
};

TEST_F(RawChannelTest, FamilyRequestIsExactlyThe32ByteLayout) {
  BlockBuilder answer;
  FamilyMessage(answer).Ack(1);
  kernel_.Answer({{answer.Build()}});
  LookUp();
  ASSERT_EQ(kernel_.Requests().size(), 1u);
  const Block expected = {32,   0,    0,   0,     // length
                          16,   0,                // GENL_ID_CTRL
                          5,    0,                // NLM_F_REQUEST | NLM_F_ACK
                          1,    0,    0,   0,     // sequence 1
                          0x34, 0x12, 0,   0x7C,  // request port id
                          3,    1,    0,   0,     // CTRL_CMD_GETFAMILY, version 1
                          12,   0,    2,   0,     // attribute: length 12, CTRL_ATTR_FAMILY_NAME
                          'n',  'l',  '8', '0',  '2', '1', '1', 0};
  EXPECT_EQ(kernel_.Requests()[0], expected);
  EXPECT_EQ(channel_.sequence, 1u);
}

TEST_F(RawChannelTest, FamilyAndAckInOneBlockRecordTheIdAndEndTheExchange) {
  BlockBuilder answer;
  FamilyMessage(answer).Ack(1);
  kernel_.Answer({{answer.Build()}});
  const std::string out = LookUp();
  EXPECT_EQ(channel_.family_id, kFamily);
  EXPECT_EQ(out,
            "TYPE: 16 (0) 84\n"
            "NL80211 Reply (48)\n"
            "MSG: 16 / 48\n"
            "   CONTROL: 2:8: 6e6c3830\n"
            "   CONTROL: 1:2: 1c000000\n"
            "Got nl80211 type 28\n"
            "   CONTROL: 3:4: 01000000\n"
            "TYPE: 2 (48) 36\n");
}

TEST_F(RawChannelTest, UnknownFamilyEndsWithTheErrorAndLeavesTheIdZero) {
  BlockBuilder answer;
  answer.Ack(1);
  kernel_.Answer({{answer.Build()}});
  EXPECT_EQ(LookUp(), "TYPE: 2 (0) 36\n");
  EXPECT_EQ(channel_.family_id, 0u);
}

TEST_F(RawChannelTest, BlockCutInsideAMessageIsLeftAndTheNextBlockRead) {
  BlockBuilder first;
  FamilyMessage(first);
  Block cut = first.Build();
  // A second message that claims 64 bytes but brings 16.
  const Block partial = {64, 0, 0, 0, 16, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0};
  cut.insert(cut.end(), partial.begin(), partial.end());
  BlockBuilder ack;
  ack.Ack(1);
  kernel_.Answer({{cut, ack.Build()}});
  const std::string out = LookUp();
  EXPECT_EQ(channel_.family_id, kFamily);
  EXPECT_NE(out.find("TYPE: 2 (0) 36\n"), std::string::npos) << out;
  EXPECT_EQ(out.find("TYPE: 16 (48)"), std::string::npos) << out;
}

TEST_F(RawChannelTest, ZeroLengthAttributeEndsTheAttributeWalk) {
  BlockBuilder first;
  first.Message(16, 1, 1).Raw({0, 0, 1, 0, 0x1c, 0, 0, 0}).AttrU16(1, kFamily).Ack(1);
  kernel_.Answer({{first.Build()}});
  const std::string out = LookUp();
  EXPECT_EQ(channel_.family_id, 0u);
  EXPECT_EQ(out.find("CONTROL"), std::string::npos) << out;
}

TEST_F(RawChannelTest, ShortBlocksAndNonControlMessagesAreReadPast) {
  const Block tiny = {1, 2, 3};
  BlockBuilder other;
  other.Message(kFamily, 1, 7).AttrU16(1, 0x55);
  BlockBuilder rest;
  FamilyMessage(rest).Ack(1);
  kernel_.Answer({{tiny, other.Build(), rest.Build()}});
  const std::string out = LookUp();
  // Attributes of a message that is not the controller's are not looked at.
  EXPECT_EQ(channel_.family_id, kFamily);
  EXPECT_EQ(out.find("Got nl80211 type 85"), std::string::npos);
}

// A kernel always ends the answer; a socket that never does must not hold
// the daemon's start-up for ever.
TEST_F(RawChannelTest, AnAnswerThatNeverComesEndsTheLookupWithAnError) {
  const timeval quick{0, 20000};
  ASSERT_EQ(setsockopt(channel_.socket_fd, SOL_SOCKET, SO_RCVTIMEO, &quick, sizeof quick), 0);
  kernel_.Answer({{}});
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(LookUpNl80211Family(channel_), kOpenNoAnswer);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "Error: The kernel did not end its nl80211 family answer.\n");
}

TEST_F(RawChannelTest, AnAnswerThatNeverEndsEndsTheLookupWithAnError) {
  const timeval quick{0, 20000};
  ASSERT_EQ(setsockopt(channel_.socket_fd, SOL_SOCKET, SO_RCVTIMEO, &quick, sizeof quick), 0);
  BlockBuilder family;
  FamilyMessage(family);
  kernel_.Answer({std::vector<Block>(100, family.Build())});
  ::testing::internal::CaptureStdout();
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(LookUpNl80211Family(channel_), kOpenNoAnswer);
  (void)::testing::internal::GetCapturedStderr();
  const std::string out = ::testing::internal::GetCapturedStdout();
  // 64 blocks read, the rest left.
  size_t blocks = 0;
  for (size_t at = out.find("TYPE: 16 (0)"); at != std::string::npos;
       at = out.find("TYPE: 16 (0)", at + 1)) {
    ++blocks;
  }
  EXPECT_EQ(blocks, 64u);
  EXPECT_EQ(channel_.family_id, kFamily);
}

class ExchangeTest : public RawChannelTest {
 protected:
  void SetUp() override {
    RawChannelTest::SetUp();
    channel_.family_id = kFamily;
    channel_.sequence = 1;
  }
  // Runs one dump exchange and returns the commands of the messages seen.
  std::vector<int> Exchange(bool all_types = false, int stop_after = -1) {
    nl::RequestBuilder request(0, 0x305, 31, 0);
    std::vector<int> seen;
    RunExchange(
        channel_, request,
        [&](const nl::Message& m) {
          seen.push_back(m.bytes[16]);
          return static_cast<int>(seen.size()) == stop_after ? Visit::kStop : Visit::kContinue;
        },
        all_types);
    return seen;
  }
};

TEST_F(ExchangeTest, RequestsCarryTheNextSequenceTheFamilyAndThePortId) {
  BlockBuilder a;
  a.Message(kFamily, 2, 31).Done(2);
  BlockBuilder b;
  b.Message(kFamily, 3, 31).Done(3);
  kernel_.Answer({{a.Build()}, {b.Build()}});
  Exchange();
  Exchange();
  const std::vector<Block>& requests = kernel_.Requests();
  ASSERT_EQ(requests.size(), 2u);
  const Block expected_first = {20, 0, 0,    0,    kFamily, 0,    0x05, 0x03, 2, 0,
                                0,  0, 0x34, 0x12, 0,       0x7C, 31,   0,    0, 0};
  EXPECT_EQ(requests[0], expected_first);
  EXPECT_EQ(requests[1][8], 3);
  EXPECT_EQ(channel_.sequence, 3u);
}

TEST_F(ExchangeTest, EveryFamilyMessageOfEveryQueuedBlockIsSeen) {
  BlockBuilder first;
  first.Message(kFamily, 2, 1).Message(kFamily, 2, 2);
  BlockBuilder second;
  second.Message(kFamily, 2, 3).Message(0x42, 2, 9).Done(2);
  kernel_.Answer({{first.Build(), second.Build()}});
  EXPECT_EQ(Exchange(), (std::vector<int>{1, 2, 3}));
}

TEST_F(ExchangeTest, OtherTypesAreSeenOnlyWhenAsked) {
  BlockBuilder answer;
  answer.Message(0x42, 2, 9).Message(kFamily, 2, 1).Ack(2);
  kernel_.Answer({{answer.Build()}});
  EXPECT_EQ(Exchange(/*all_types=*/true), (std::vector<int>{9, 1}));
}

TEST_F(ExchangeTest, AnswersLeftByAnEarlierExchangeAreDropped) {
  BlockBuilder first;
  first.Message(kFamily, 2, 1).Message(kFamily, 2, 2);
  BlockBuilder leftover;
  leftover.Message(kFamily, 2, 3).Done(2);
  BlockBuilder second;
  second.Message(kFamily, 3, 4).Done(3);
  kernel_.Answer({{first.Build(), leftover.Build()}, {second.Build()}});
  // The first reader stops after its first message, leaving a block queued.
  EXPECT_EQ(Exchange(false, 1), (std::vector<int>{1}));
  EXPECT_FALSE(channel_.drained);
  EXPECT_EQ(Exchange(), (std::vector<int>{4}));
}

// The kernel answers before the send returns, so after an exchange that read
// until nothing was queued the next one sends without a receive ahead of it:
// whatever reaches the socket between the two is the next reader's, as with
// any message that arrives during an exchange.
TEST_F(ExchangeTest, AfterAnAnswerReadToItsEndTheNextExchangeReceivesNothingAhead) {
  BlockBuilder first;
  first.Message(kFamily, 2, 1).Done(2);
  BlockBuilder second;
  second.Message(kFamily, 3, 4).Done(3);
  kernel_.Answer({{first.Build()}, {second.Build()}});
  EXPECT_EQ(Exchange(), (std::vector<int>{1}));
  EXPECT_TRUE(channel_.drained);
  BlockBuilder between;
  between.Message(kFamily, 9, 7);
  kernel_.Queue(between.Build());
  EXPECT_EQ(Exchange(), (std::vector<int>{7, 4}));
}

TEST_F(ExchangeTest, AnswersLeftByTheFamilyLookupAreDropped) {
  BlockBuilder family;
  FamilyMessage(family).Ack(1);
  BlockBuilder leftover;
  leftover.Message(kFamily, 1, 5).Done(1);
  BlockBuilder answer;
  answer.Message(kFamily, 2, 6).Done(2);
  kernel_.Answer({{family.Build(), leftover.Build()}, {answer.Build()}});
  channel_.drained = true;  // as after an earlier exchange read to its end
  (void)LookUp();
  EXPECT_FALSE(channel_.drained);
  EXPECT_EQ(Exchange(), (std::vector<int>{6}));
}

TEST(RawChannelKernel, OpeningTwiceRestartsTheSequence) {
  RawChannel channel;
  ::testing::internal::CaptureStdout();
  ASSERT_EQ(OpenNL80211Channel(channel), 0);
  EXPECT_EQ(channel.sequence, 1u);
  const uint32_t family = channel.family_id;
  nl::RequestBuilder request(0, 0x305, 31, 0);
  RunExchange(channel, request, [](const nl::Message&) { return Visit::kContinue; });
  EXPECT_EQ(channel.sequence, 2u);
  ASSERT_EQ(OpenNL80211Channel(channel), 0);
  ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(channel.sequence, 1u);
  EXPECT_EQ(channel.family_id, family);
  EXPECT_EQ(channel.request_port_id, static_cast<uint32_t>(getpid()) | 0x7C000000u);
  close(channel.socket_fd);
}

}  // namespace
}  // namespace ww
