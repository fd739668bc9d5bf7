// The regulatory domain query and the current country code, against a fake
// kernel.
#include "daemon/regulatory/country_resolve.h"

#include <gtest/gtest.h>

#include <string>

#include "daemon/core/daemon.h"
#include "tests/unit/fake_kernel.h"
#include "tests/unit/test_daemon.h"

namespace ww {
namespace {

using testing::Block;
using testing::BlockBuilder;

using testing::kFamily;
constexpr uint16_t kAttrWiphy = 1;
constexpr uint16_t kAttrAlpha2 = 33;
constexpr uint16_t kAttrRegRules = 34 | 0x8000;  // nested

class RegulatoryTest : public testing::KernelTest<testing::TestDaemon> {
 protected:
  // A dump answer: the global domain, then one message per phy domain
  // (an empty code is a phy domain without alpha2).
  static Block Dump(const char* global, std::initializer_list<const char*> phys) {
    BlockBuilder b;
    if (global != nullptr) {
      b.Message(kFamily, 2, 31).AttrString(kAttrAlpha2, global).Attr(kAttrRegRules, {});
    }
    uint32_t wiphy = 0;
    for (const char* phy : phys) {
      b.Message(kFamily, 2, 31);
      if (*phy != '\0') {
        b.AttrString(kAttrAlpha2, phy);
      }
      b.AttrU32(kAttrWiphy, wiphy++);
    }
    b.Done(2);
    return b.Build();
  }
  std::string Domain(const Block& answer) {
    kernel_.Answer({{answer}});
    char buffer[4] = {'x', 'y', 0, 0};
    GetRegulatoryDomain(daemon_.nl80211, buffer);
    return std::string(buffer, 2);
  }
  // Resolves with `adopted` as the code adopted last; returns the code and
  // sets log_ to what was written on standard error.
  std::string Resolve(const char* adopted, const Block& answer) {
    daemon_.country.useCountryCode.Store(adopted[0], adopted[1]);
    kernel_.Answer({{answer}});
    char buffer[4];
    ::testing::internal::CaptureStderr();
    ResolveCountryCode(daemon_, buffer);
    log_ = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(buffer[2], '\0');
    return buffer;
  }

  std::string log_;
};

TEST_F(RegulatoryTest, RequestIsATwentyByteDump) {
  Domain(Dump(nullptr, {}));
  const Block expected = {20, 0, 0, 0, kFamily, 0, 0x05, 0x03, 2, 0, 0, 0, 0, 0, 0, 0, 31, 0, 0, 0};
  ASSERT_EQ(kernel_.Requests().size(), 1u);
  EXPECT_EQ(kernel_.Requests()[0], expected);
}

TEST_F(RegulatoryTest, OnlyPhyDomainsCountAndTheLastWins) {
  EXPECT_EQ(Domain(Dump("US", {})), "xy");
  EXPECT_EQ(Domain(Dump("US", {"DE"})), "DE");
  EXPECT_EQ(Domain(Dump(nullptr, {"DE", "FR"})), "FR");
  EXPECT_EQ(Domain(Dump("US", {""})), std::string(2, '\0'));
}

TEST_F(RegulatoryTest, PhyDomainsAcrossBlocksAllCount) {
  BlockBuilder first;
  first.Message(kFamily, 2, 31).AttrString(kAttrAlpha2, "DE").AttrU32(kAttrWiphy, 0);
  BlockBuilder second;
  second.Message(kFamily, 2, 31).AttrString(kAttrAlpha2, "JP").AttrU32(kAttrWiphy, 1).Done(2);
  kernel_.Answer({{first.Build(), second.Build()}});
  char buffer[4] = {};
  GetRegulatoryDomain(daemon_.nl80211, buffer);
  EXPECT_EQ(std::string(buffer, 2), "JP");
}

TEST_F(RegulatoryTest, KernelCodeWinsOverTheAdoptedOneWithAWarning) {
  EXPECT_EQ(Resolve("US", Dump("US", {"GB"})), "GB");
  EXPECT_EQ(log_, "WARNING: useCountryCode=US, gotreg=GB\n");
}

TEST_F(RegulatoryTest, SameCodeResolvesQuietly) {
  EXPECT_EQ(Resolve("DE", Dump(nullptr, {"DE"})), "DE");
  EXPECT_EQ(log_, "");
}

TEST_F(RegulatoryTest, NoKernelAnswerFallsBackToTheAdoptedCode) {
  EXPECT_EQ(Resolve("US", Dump("US", {})), "US");
  EXPECT_EQ(log_, std::string("WARNING: useCountryCode=US, gotreg=\0\0\n", 38));
}

TEST_F(RegulatoryTest, KernelZeroZeroFallsBackToTheAdoptedCode) {
  EXPECT_EQ(Resolve("FR", Dump(nullptr, {"00"})), "FR");
  EXPECT_EQ(log_, "WARNING: useCountryCode=FR, gotreg=00\n");
}

TEST_F(RegulatoryTest, UnknownCodesTravelOnWithAWarning) {
  EXPECT_EQ(Resolve("00", Dump(nullptr, {})), "00");
  EXPECT_EQ(log_, std::string("WARNING: useCountryCode=00, gotreg=\0\0\n", 38) +
                      "WARNING: regdb_find couldn't find country code (00)\n");
  EXPECT_EQ(Resolve("DE", Dump(nullptr, {"EU"})), "EU");
  EXPECT_EQ(log_,
            "WARNING: useCountryCode=DE, gotreg=EU\n"
            "WARNING: regdb_find couldn't find country code (EU)\n");
}

TEST_F(RegulatoryTest, ShortAlpha2PayloadIsReadWithinItsBounds) {
  BlockBuilder b;
  b.Message(kFamily, 2, 31).Attr(kAttrAlpha2, {'D'}).AttrU32(kAttrWiphy, 0).Done(2);
  EXPECT_EQ(Domain(b.Build()), std::string("D\0", 2));
}

}  // namespace
}  // namespace ww
