// Netlink walkers and the request builder over crafted bytes, and a short
// fuzz-style run of every reader over random and mutated blocks (meant for
// the AddressSanitizer build: a fault there is an out-of-bounds read).
#include "common/util/nl_message.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "daemon/core/daemon.h"
#include "daemon/netlink/raw_channel.h"
#include "daemon/netlink/survey_report.h"
#include "daemon/regulatory/country_resolve.h"
#include "daemon/regulatory/country_survey.h"
#include "daemon/regulatory/six_ghz.h"
#include "tests/unit/fake_kernel.h"
#include "tests/unit/test_daemon.h"

namespace ww::nl {
namespace {

using ww::testing::Block;
using ww::testing::BlockBuilder;

std::vector<uint16_t> MessageTypes(const Block& block) {
  std::vector<uint16_t> types;
  MessageWalker walker(Bytes(block.data(), block.size()));
  while (const std::optional<Message> m = walker.Next()) {
    types.push_back(m->type);
  }
  return types;
}

std::vector<uint16_t> AttributeTypes(const Block& block) {
  std::vector<uint16_t> types;
  MessageWalker walker(Bytes(block.data(), block.size()));
  const std::optional<Message> m = walker.Next();
  if (!m) {
    return types;
  }
  AttributeWalker attributes = MessageAttributes(*m);
  while (const std::optional<Attribute> a = attributes.Next()) {
    types.push_back(a->type);
  }
  return types;
}

TEST(MessageWalker, WalksAlignedMessagesAndStopsAtABadLength) {
  BlockBuilder b;
  b.Message(20).Raw({1}).Message(21).Ack();
  Block block = b.Build();
  EXPECT_EQ(MessageTypes(block), (std::vector<uint16_t>{20, 21, 2}));

  // Length below the header, past the end, or a header that does not fit.
  Block short_length = block;
  short_length[0] = 15;
  EXPECT_TRUE(MessageTypes(short_length).empty());
  Block overlong = block;
  overlong[0] = static_cast<uint8_t>(block.size() + 1);
  EXPECT_TRUE(MessageTypes(overlong).empty());
  EXPECT_TRUE(MessageTypes(Block(15, 0)).empty());
  EXPECT_TRUE(MessageTypes(Block{}).empty());
  Block trailing = block;
  trailing.resize(block.size() + 10, 0xff);
  EXPECT_EQ(MessageTypes(trailing), (std::vector<uint16_t>{20, 21, 2}));
}

TEST(MessageWalker, RecordsOffsetAndRemainingBytes) {
  BlockBuilder b;
  b.Message(20).AttrU32(1, 7).Message(21);
  const Block block = b.Build();
  MessageWalker walker(Bytes(block.data(), block.size()));
  const std::optional<Message> first = walker.Next();
  const std::optional<Message> second = walker.Next();
  ASSERT_TRUE(first && second);
  EXPECT_EQ(first->length, 28u);
  EXPECT_EQ(first->remaining, 48u);
  EXPECT_EQ(second->offset, 28u);
  EXPECT_EQ(second->remaining, 20u);
  EXPECT_FALSE(walker.Next());
}

TEST(AttributeWalker, ZeroShortAndOverlongLengthsEndTheWalk) {
  BlockBuilder ok;
  ok.Message(20).AttrU32(1, 1).AttrString(2, "abc").AttrU16(0x8003, 5);
  EXPECT_EQ(AttributeTypes(ok.Build()), (std::vector<uint16_t>{1, 2, 0x8003}));

  BlockBuilder zero;
  zero.Message(20).AttrU32(1, 1).Raw({0, 0, 9, 0}).AttrU32(3, 3);
  EXPECT_EQ(AttributeTypes(zero.Build()), (std::vector<uint16_t>{1}));

  BlockBuilder tiny;
  tiny.Message(20).Raw({3, 0, 9, 0}).AttrU32(3, 3);
  EXPECT_TRUE(AttributeTypes(tiny.Build()).empty());

  BlockBuilder overlong;
  overlong.Message(20).AttrU32(1, 1).Raw({200, 0, 9, 0, 1, 2, 3, 4});
  EXPECT_EQ(AttributeTypes(overlong.Build()), (std::vector<uint16_t>{1}));

  // A message too short for the generic header has no attributes.
  BlockBuilder bare;
  bare.Message(20, 0, 0, false);
  EXPECT_TRUE(AttributeTypes(bare.Build()).empty());
}

TEST(AttributeWalker, TypedReadsCheckThePayloadSize) {
  BlockBuilder b;
  b.Message(20).Attr(1, {7}).AttrU16(2, 0x1234).AttrU32(3, 0xdeadbeef);
  const Block block = b.Build();
  MessageWalker walker(Bytes(block.data(), block.size()));
  const std::optional<Message> m = walker.Next();
  ASSERT_TRUE(m);
  AttributeWalker attributes = MessageAttributes(*m);
  const std::optional<Attribute> one = attributes.Next();
  const std::optional<Attribute> two = attributes.Next();
  const std::optional<Attribute> four = attributes.Next();
  ASSERT_TRUE(one && two && four);
  EXPECT_EQ(one->U8(), 7);
  EXPECT_FALSE(one->U16());
  EXPECT_EQ(two->U16(), 0x1234);
  EXPECT_FALSE(two->U32());
  EXPECT_EQ(four->U32(), 0xdeadbeefu);
  EXPECT_EQ((Attribute{0x8022, {}}.LowType()), 0x22);
}

TEST(RequestBuilder, BuildsHeaderAndPaddedAttributes) {
  RequestBuilder r(0x1c, 0x5, 26, 0);
  r.PutU32(3, 7);
  r.PutBytes(33, "DE", 3);
  r.SetSequence(9);
  r.SetPort(0x7C000001);
  const Bytes data = r.Data();
  const Block expected = {36, 0, 0, 0, 0x1c, 0, 5, 0, 9, 0, 0, 0, 1,  0, 0,   0x7C, 26, 0,
                          0,  0, 8, 0, 3,    0, 7, 0, 0, 0, 7, 0, 33, 0, 'D', 'E',  0,  0};
  EXPECT_EQ(Block(data.begin(), data.end()), expected);
  EXPECT_TRUE(r.Ok());
}

TEST(RequestBuilder, AnAttributeThatDoesNotFitIsRefusedAndSticks) {
  RequestBuilder r(1, 0, 1, 0);
  const std::string big(RequestBuilder::kCapacity, 'x');
  r.PutBytes(1, big.data(), big.size());
  EXPECT_FALSE(r.Ok());
  EXPECT_EQ(r.Data().size(), kFirstAttributeOffset);
  r.PutU32(2, 1);
  EXPECT_EQ(r.Data().size(), kFirstAttributeOffset);
}

// Realistic blocks to mutate: a controller answer and a regulatory dump.
std::vector<Block> Seeds() {
  BlockBuilder control;
  control.Message(16, 1, 1).AttrString(2, "nl80211").AttrU16(1, 0x1c).Ack(1);
  BlockBuilder dump;
  dump.Message(0x1c, 2, 31)
      .AttrString(33, "US")
      .Attr(34 | 0x8000, {20, 0, 1, 0, 1, 0, 0, 0, 8, 0, 2, 0, 0, 0, 0, 0})
      .Message(0x1c, 2, 31)
      .AttrString(33, "DE")
      .AttrU32(1, 0)
      .Done(2);
  // A rule list, an interface, a scan entry with elements, a survey entry.
  BlockBuilder rule = BlockBuilder::Nested();
  rule.AttrU32(1, 0x80).AttrU32(2, 5945000).AttrU32(3, 6425000).AttrU32(4, 160000);
  BlockBuilder rules = BlockBuilder::Nested();
  rules.Attr(0x8000, rule.Payload()).Attr(0x8001, rule.Payload());
  BlockBuilder bss = BlockBuilder::Nested();
  bss.Attr(6, {0, 2, 'a', 'b', 7, 3, 'D', 'E', ' '}).Attr(11, {7, 2, 'F', 'R'});
  BlockBuilder survey = BlockBuilder::Nested();
  survey.AttrU32(1, 2412).Attr(2, {0xa1}).Attr(3, {}).Attr(4, {100, 0, 0, 0, 0, 0, 0, 0});
  BlockBuilder wireless;
  wireless.Message(0x1c, 2, 7)
      .AttrString(4, "wlan0")
      .AttrU32(1, 0)
      .Message(0x1c, 2, 31)
      .AttrU32(1, 0)
      .AttrString(33, "DE")
      .Attr(146, {1})
      .Attr(34 | 0x8000, rules.Payload())
      .Message(0x1c, 2, 34)
      .Attr(47 | 0x8000, bss.Payload())
      .Message(0x1c, 2, 50)
      .AttrString(4, "wlan0")
      .Attr(84 | 0x8000, survey.Payload())
      .Done(2);
  return {control.Build(), dump.Build(), wireless.Build()};
}

Block Mutate(const Block& seed, std::mt19937& rng) {
  Block b = seed;
  std::uniform_int_distribution<int> op(0, 3);
  const int edits = 1 + static_cast<int>(rng() % 4);
  for (int i = 0; i < edits && !b.empty(); ++i) {
    const size_t at = rng() % b.size();
    switch (op(rng)) {
      case 0:
        b[at] = static_cast<uint8_t>(rng());
        break;
      case 1:
        b.resize(at);
        break;
      case 2:
        b.insert(b.begin() + static_cast<long>(at), static_cast<uint8_t>(rng()));
        break;
      default:
        b[at] = static_cast<uint8_t>(b[at] ^ (1u << (rng() % 8)));
        break;
    }
  }
  return b;
}

Block Random(std::mt19937& rng) {
  Block b(rng() % 200);
  for (uint8_t& byte : b) {
    byte = static_cast<uint8_t>(rng());
  }
  return b;
}

// Walks everything a reader could: messages, their attributes, and every
// attribute's payload as a nested area.
size_t WalkAll(const Block& block) {
  size_t seen = 0;
  MessageWalker messages(Bytes(block.data(), block.size()));
  while (const std::optional<Message> m = messages.Next()) {
    AttributeWalker attributes = MessageAttributes(*m);
    while (const std::optional<Attribute> a = attributes.Next()) {
      seen += a->payload.size() + a->U32().value_or(0) % 2;
      AttributeWalker nested(a->payload);
      while (const std::optional<Attribute> n = nested.Next()) {
        seen += n->payload.size();
      }
    }
  }
  return seen;
}

TEST(NetlinkFuzz, WalkersSurviveRandomAndMutatedBlocks) {
  std::mt19937 rng(20261208);
  const std::vector<Block> seeds = Seeds();
  for (int i = 0; i < 20000; ++i) {
    const Block block = i % 4 == 0 ? Random(rng) : Mutate(seeds[i % seeds.size()], rng);
    WalkAll(block);
  }
}

TEST(NetlinkFuzz, ChannelReadersSurviveRandomAndMutatedAnswers) {
  std::mt19937 rng(42);
  const std::vector<Block> seeds = Seeds();
  for (int i = 0; i < 300; ++i) {
    ww::testing::FakeKernel kernel;
    ww::testing::TestDaemon daemon;
    kernel.Attach(daemon.nl80211);
    daemon.nl80211.family_id = 0x1c;
    BlockBuilder ack;
    ack.Ack();
    // Every answer ends with an acknowledgement so each reader finishes.
    const Block noise = i % 3 == 0 ? Random(rng) : Mutate(seeds[i % seeds.size()], rng);
    std::vector<std::vector<Block>> answers(6, {noise, ack.Build()});
    kernel.Answer(answers);
    ::testing::internal::CaptureStdout();
    LookUpNl80211Family(daemon.nl80211);
    ::testing::internal::GetCapturedStdout();
    char buffer[4] = {};
    GetRegulatoryDomain(daemon.nl80211, buffer);
    uint32_t phy = 0;
    (void)FindWlan0Phy(daemon.nl80211, &phy);
    PhyRegulatory domain{};
    (void)GetPhyRegulatoryRules(daemon.nl80211, phy, domain);
    CountryTally tally;
    TallyScanCountries(daemon.nl80211, 3, tally);
    ww::testing::MemoryStream report;
    ReportChannelSurvey(daemon.nl80211, 3, report.Out());
    daemon.nl80211.socket_fd = -1;
  }
}

}  // namespace
}  // namespace ww::nl
