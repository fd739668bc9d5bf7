// The 6 GHz and NO-IR check against a fake kernel: the phy of wlan0, its own
// rules, the flags and every line written.
#include "daemon/regulatory/six_ghz.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "daemon/core/daemon.h"
#include "tests/unit/fake_kernel.h"
#include "tests/unit/test_daemon.h"

namespace ww {
namespace {

using testing::Block;
using testing::BlockBuilder;

using testing::kFamily;
using testing::Rule;
using testing::RuleList;
constexpr uint16_t kAttrWiphy = 1;
constexpr uint16_t kAttrIfname = 4;
constexpr uint16_t kAttrAlpha2 = 33;
constexpr uint16_t kAttrRegRules = 34 | 0x8000;
constexpr uint16_t kAttrDfsRegion = 146;

constexpr uint32_t kNoIr = 0x80;

const char kSixGhzNote[] = "NOTE: 6GHz rule: ";
const char kNoIrLine[] =
    "NOTE: Discovered NO-IR / PASSIVE-SCAN in this reg domain.  Enter NOIR mode\n";
const char kNoSixGhz[] =
    "WARNING: Could not find 6GHz line in regulatory domain.  Assuming no 6GHz support.\n";

Block Interfaces(std::initializer_list<std::pair<const char*, uint32_t>> names) {
  BlockBuilder b;
  for (const auto& [name, phy] : names) {
    b.Message(kFamily, 2, 7).AttrU32(3, 9).AttrString(kAttrIfname, name).AttrU32(kAttrWiphy, phy);
  }
  b.Done(2);
  return b.Build();
}

// A regulatory dump: the global domain, then phy 0's own domain.
Block Domains(uint32_t phy, const char* code, const std::vector<Rule>& rules) {
  BlockBuilder b;
  b.Message(kFamily, 3, 31).AttrString(kAttrAlpha2, "00").Attr(kAttrRegRules, RuleList({}));
  b.Message(kFamily, 3, 31)
      .AttrString(kAttrAlpha2, code)
      .Attr(kAttrDfsRegion, {2})
      .AttrU32(kAttrWiphy, phy)
      .Attr(kAttrRegRules, RuleList(rules));
  b.Done(3);
  return b.Build();
}

const std::vector<Rule> kThreeRules = {
    {2400000, 2483500, 0}, {5150000, 5350000, 0}, {5945000, 6425000, kNoIr}};

class SixGhzTest : public testing::KernelTest<testing::TestDaemon> {
 protected:
  void SetUp() override {
    KernelTest::SetUp();
    daemon_.country.useCountryCode.Store('D', 'E');
  }

  // Runs the whole check; the last answer is the country query's.
  void Check(std::vector<std::vector<Block>> answers, const char* country = "DE") {
    BlockBuilder reg;
    reg.Message(kFamily, 4, 31).AttrString(kAttrAlpha2, country).AttrU32(kAttrWiphy, 0).Done(4);
    answers.push_back({reg.Build()});
    kernel_.Answer(answers);
    daemon_.country.useCountryCode.Store(country[0], country[1]);
    daemon_.state.no_6ghz = 7;
    daemon_.state.noir_mode.store(7);
    daemon_.state.hidden_ssid_blocked.store(7);
    ::testing::internal::CaptureStderr();
    CheckSixGhzAvailability(daemon_);
    log_ = ::testing::internal::GetCapturedStderr();
  }
  std::string Evaluate(const std::vector<Rule>& rules, SixGhzFacts* facts) {
    PhyRegulatory domain{};
    for (const Rule& r : rules) {
      if (domain.rule_count < kMaxRegRules) {
        domain.rules[domain.rule_count++] = RegRule{r.flags, r.start_khz, r.end_khz, 0, 0, 0};
      }
    }
    ::testing::internal::CaptureStderr();
    *facts = EvaluatePhyRules(domain);
    return ::testing::internal::GetCapturedStderr();
  }

  std::string log_;
};

TEST_F(SixGhzTest, FindsThePhyOfWlan0AmongOtherInterfaces) {
  kernel_.Answer({{Interfaces({{"wlan1", 0}, {"wlan0", 2}, {"wlan0", 5}})}});
  uint32_t phy = 99;
  EXPECT_EQ(FindWlan0Phy(daemon_.nl80211, &phy), 0);
  EXPECT_EQ(phy, 2u);
  const Block expected = {20, 0, 0, 0, kFamily, 0, 0x05, 0x03, 2, 0, 0, 0, 0, 0, 0, 0, 5, 0, 0, 0};
  EXPECT_EQ(kernel_.Requests()[0], expected);
}

TEST_F(SixGhzTest, NamesThatOnlyStartLikeWlan0DoNotMatch) {
  BlockBuilder b;
  b.Message(kFamily, 2, 7).Attr(kAttrIfname, {'w', 'l', 'a', 'n', '0', '1'}).AttrU32(kAttrWiphy, 1);
  b.Message(kFamily, 2, 7).AttrString(kAttrIfname, "wlan").AttrU32(kAttrWiphy, 2);
  b.Message(kFamily, 2, 7).AttrString(kAttrIfname, "wlan0");  // no phy
  b.Message(kFamily, 2, 7).Attr(kAttrIfname, {'w', 'l', 'a', 'n', '0'}).AttrU32(kAttrWiphy, 4);
  kernel_.Answer({{b.Done(2).Build()}});
  uint32_t phy = 99;
  EXPECT_EQ(FindWlan0Phy(daemon_.nl80211, &phy), 0);
  EXPECT_EQ(phy, 4u);  // an unterminated name is read within its payload
}

TEST_F(SixGhzTest, ReadsThePhysOwnDomainWithEveryRuleValue) {
  kernel_.Answer({{Domains(3, "DE", kThreeRules)}});
  PhyRegulatory domain{};
  ASSERT_EQ(GetPhyRegulatoryRules(daemon_.nl80211, 3, domain), 0);
  EXPECT_EQ(domain.phy, 3u);
  EXPECT_STREQ(domain.country, "DE");
  EXPECT_EQ(domain.dfs_region, 2);
  ASSERT_EQ(domain.rule_count, 3);
  const RegRule& last = domain.rules[2];
  EXPECT_EQ(last.flags, kNoIr);
  EXPECT_EQ(last.start_khz, 5945000u);
  EXPECT_EQ(last.end_khz, 6425000u);
  EXPECT_EQ(last.max_bandwidth_khz, 80000u);
  EXPECT_EQ(last.max_antenna_gain, 300u);
  EXPECT_EQ(last.max_eirp, 2300u);
}

TEST_F(SixGhzTest, OtherPhysAndTheGlobalDomainAreNoAnswer) {
  kernel_.Answer({{Domains(1, "DE", kThreeRules)}});
  PhyRegulatory domain{};
  domain.rule_count = 5;
  EXPECT_EQ(GetPhyRegulatoryRules(daemon_.nl80211, 0, domain), -1);
  EXPECT_EQ(domain.rule_count, 0);
}

TEST_F(SixGhzTest, KeepsTheFirstSixtyFourRules) {
  std::vector<Rule> seventy;
  for (uint32_t i = 0; i < 70; ++i) {
    seventy.push_back({5000000 + i, 5100000 + i, 0});
  }
  kernel_.Answer({{Domains(0, "US", seventy)}});
  PhyRegulatory domain{};
  ASSERT_EQ(GetPhyRegulatoryRules(daemon_.nl80211, 0, domain), 0);
  EXPECT_EQ(domain.rule_count, kMaxRegRules);
  EXPECT_EQ(domain.rules[63].start_khz, 5000063u);
}

TEST_F(SixGhzTest, ThreeRuleDomainAllowsSixGhzInNoirMode) {
  Check({{Interfaces({{"wlan0", 0}})}, {Domains(0, "DE", kThreeRules)}});
  EXPECT_EQ(log_, std::string(kSixGhzNote) + "5945 - 6425 MHz (flags=0x80)\n" + kNoIrLine);
  EXPECT_EQ(daemon_.state.no_6ghz, 0);
  EXPECT_EQ(daemon_.state.noir_mode.load(), 1);
  EXPECT_EQ(daemon_.state.hidden_ssid_blocked.load(), 1);
}

TEST_F(SixGhzTest, SixGhzStartsAboveSixThreeHundredMegahertz) {
  SixGhzFacts facts{};
  EXPECT_EQ(Evaluate({{5925000, 6300999, 0}}, &facts), "");
  EXPECT_EQ(facts.no_6ghz, 1);
  EXPECT_EQ(Evaluate({{5925000, 6301000, 0}}, &facts),
            std::string(kSixGhzNote) + "5925 - 6301 MHz (flags=0x0)\n");
  EXPECT_EQ(facts.no_6ghz, 0);
  EXPECT_EQ(facts.noir_mode, 0);
}

TEST_F(SixGhzTest, NoIrCountsAboveFiveGhzOnlyAndIsWrittenPerRule) {
  SixGhzFacts facts{};
  EXPECT_EQ(Evaluate({{2400000, 2483500, kNoIr}}, &facts), "");
  EXPECT_EQ(facts.noir_mode, 0);
  EXPECT_EQ(Evaluate({{5150000, 5250000, kNoIr | 0x800}, {5250000, 5350000, kNoIr}}, &facts),
            std::string(kNoIrLine) + kNoIrLine);
  EXPECT_EQ(facts.noir_mode, 1);
  EXPECT_EQ(facts.no_6ghz, 1);
}

TEST_F(SixGhzTest, FiveGhzNoIrWithoutSixGhzWarns) {
  Check({{Interfaces({{"wlan0", 0}})}, {Domains(0, "AT", {{5150000, 5350000, kNoIr}})}}, "AT");
  EXPECT_EQ(log_, std::string(kNoIrLine) + kNoSixGhz);
  EXPECT_EQ(daemon_.state.no_6ghz, 1);
  EXPECT_EQ(daemon_.state.noir_mode.load(), 1);
  EXPECT_EQ(daemon_.state.hidden_ssid_blocked.load(), 0);
}

TEST_F(SixGhzTest, NoWlan0MeansNoSixGhz) {
  Check({{Interfaces({{"eth0", 0}})}});
  EXPECT_EQ(log_,
            std::string("Error: could not find the phy for wlan0.  Assuming no 6GHz support.\n") +
                kNoSixGhz);
  EXPECT_EQ(daemon_.state.no_6ghz, 1);
  EXPECT_EQ(daemon_.state.noir_mode.load(), 0);
  EXPECT_EQ(daemon_.state.hidden_ssid_blocked.load(), 1);  // the country step still runs
}

TEST_F(SixGhzTest, GlobalOnlyDumpMeansNoSelfManagedDomain) {
  BlockBuilder global;
  global.Message(kFamily, 3, 31)
      .AttrString(kAttrAlpha2, "00")
      .Attr(kAttrRegRules, RuleList(kThreeRules))
      .Done(3);
  Check({{Interfaces({{"wlan0", 4}})}, {global.Build()}});
  EXPECT_EQ(log_,
            std::string("Error: phy#4 (wlan0) has no self-managed regulatory domain.  Assuming "
                        "no 6GHz support.\n") +
                kNoSixGhz);
  EXPECT_EQ(daemon_.state.no_6ghz, 1);
  EXPECT_EQ(daemon_.state.noir_mode.load(), 0);
}

TEST_F(SixGhzTest, OnlyTheFirstSixtyFourRulesAreExamined) {
  std::vector<Rule> rules(64, Rule{2400000, 2483500, 0});
  for (int i = 0; i < 6; ++i) {
    rules.push_back({5945000, 7125000, kNoIr});
  }
  Check({{Interfaces({{"wlan0", 0}})}, {Domains(0, "US", rules)}}, "US");
  EXPECT_EQ(log_, kNoSixGhz);
  EXPECT_EQ(daemon_.state.no_6ghz, 1);
  EXPECT_EQ(daemon_.state.noir_mode.load(), 0);
}

TEST(HiddenSsidBlockedIn, ExactUpperCaseCodesOfTheSevenCountries) {
  for (const char* code : {"NL", "PL", "GB", "DE", "DK", "FR", "HR"}) {
    EXPECT_TRUE(HiddenSsidBlockedIn(code)) << code;
  }
  for (const char* code : {"AT", "dk", "De", "US", "00", "D"}) {
    EXPECT_FALSE(HiddenSsidBlockedIn(code)) << code;
  }
}

TEST_F(SixGhzTest, HiddenSsidFollowsTheResolvedCountry) {
  for (const auto& [code, blocked] : std::vector<std::pair<const char*, int>>{
           {"DK", 1}, {"DE", 1}, {"AT", 0}, {"dk", 0}, {"US", 0}}) {
    Check({{Interfaces({{"eth0", 0}})}}, code);
    EXPECT_EQ(daemon_.state.hidden_ssid_blocked.load(), blocked) << code;
  }
}

}  // namespace
}  // namespace ww
