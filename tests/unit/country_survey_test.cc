// The countries nearby networks advertise: the element search over foreign
// bytes, the tally and its ordered report, the scan dump.
#include "daemon/regulatory/country_survey.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "daemon/core/daemon.h"
#include "tests/unit/fake_kernel.h"
#include "tests/unit/test_daemon.h"

namespace ww {
namespace {

using testing::Block;
using testing::BlockBuilder;
using Elements = std::vector<uint8_t>;

using testing::kFamily;
constexpr uint16_t kAttrBss = 47 | 0x8000;
constexpr uint16_t kBssIes = 6;
constexpr uint16_t kBssBeaconIes = 11;

std::optional<CountryPair> Find(const Elements& e) {
  return FindCountryElement(nl::Bytes(e.data(), e.size()));
}
CountryPair Pair(const char* code) {
  return {code[0], code[1]};
}
std::string Written(const CountryTally& tally) {
  testing::MemoryStream out;
  tally.Write(out.Out());
  return out.Text();
}

TEST(FindCountryElement, TakesTheFirstCountryAfterOtherElements) {
  // SSID "ab", supported rates, then Country "DE " and a second Country.
  EXPECT_EQ(Find({0, 2, 'a', 'b', 1, 1, 0x82, 7, 3, 'D', 'E', ' ', 7, 3, 'F', 'R', ' '}),
            Pair("DE"));
}

TEST(FindCountryElement, SkipsACountryElementOfLengthOne) {
  EXPECT_EQ(Find({7, 1, 'X', 7, 2, 'A', 'T'}), Pair("AT"));
  EXPECT_EQ(Find({7, 1, 'X'}), std::nullopt);
}

TEST(FindCountryElement, StopsSafelyAtElementsThatRunPastTheEnd) {
  EXPECT_EQ(Find({0, 200, 'a', 7, 2, 'D', 'E'}), std::nullopt);
  EXPECT_EQ(Find({7, 3, 'D', 'E'}), std::nullopt);
  EXPECT_EQ(Find({7}), std::nullopt);
  EXPECT_EQ(Find({}), std::nullopt);
  EXPECT_EQ(Find({0, 0, 7, 2, 'D', 'E'}), Pair("DE"));  // an empty element is fine
}

TEST(FindCountryElement, NeverReadsPastRandomInput) {
  // The sanitizer build turns any stray read into a failure.
  uint32_t seed = 12345;
  for (int round = 0; round < 5000; ++round) {
    Elements e(seed % 40);
    for (uint8_t& b : e) {
      seed = seed * 1103515245u + 12345u;
      b = static_cast<uint8_t>((seed >> 16) % 10);  // small ids and lengths
    }
    (void)Find(e);
  }
}

TEST(FindAdvertisedCountry, BeaconElementsComeFirst) {
  const Elements beacon = {7, 2, 'D', 'E'};
  const Elements other = {7, 2, 'F', 'R'};
  const Elements none = {0, 1, 'x'};
  const nl::Bytes b(beacon.data(), beacon.size());
  const nl::Bytes o(other.data(), other.size());
  const nl::Bytes n(none.data(), none.size());
  EXPECT_EQ(FindAdvertisedCountry(b, o), Pair("DE"));
  EXPECT_EQ(FindAdvertisedCountry(n, o), Pair("FR"));
  EXPECT_EQ(FindAdvertisedCountry(std::nullopt, o), Pair("FR"));
  EXPECT_EQ(FindAdvertisedCountry(n, std::nullopt), std::nullopt);
}

TEST(CountryTally, ReportsByFallingCountWithNoneAmongThem) {
  CountryTally tally;
  // 40 networks: 35 DE, 3 without a country, 2 AT, first seen AT, none, DE.
  tally.Add(Pair("AT"));
  tally.Add(std::nullopt);
  for (int i = 0; i < 35; ++i) {
    tally.Add(Pair("DE"));
  }
  tally.Add(std::nullopt);
  tally.Add(std::nullopt);
  tally.Add(Pair("AT"));
  EXPECT_EQ(Written(tally),
            "Scans show 40 wifi networks\n"
            "  - 35 DE domain\n"
            "  - 3 no advertised domain\n"
            "  - 2 AT domain\n");
}

TEST(CountryTally, EqualCountsKeepTheirFirstSeenOrder) {
  CountryTally tally;
  tally.Add(Pair("NL"));
  tally.Add(Pair("BE"));
  tally.Add(Pair("BE"));
  tally.Add(Pair("NL"));
  tally.Add(Pair("LU"));
  EXPECT_EQ(Written(tally),
            "Scans show 5 wifi networks\n"
            "  - 2 NL domain\n"
            "  - 2 BE domain\n"
            "  - 1 LU domain\n");
}

TEST(CountryTally, AFullTableOnlyCountsNetworks) {
  CountryTally tally;
  for (int i = 0; i < 40; ++i) {
    tally.Add(CountryPair{static_cast<char>('A' + i / 26), static_cast<char>('A' + i % 26)});
  }
  tally.Add(Pair("AA"));
  EXPECT_EQ(tally.networks, 41);
  EXPECT_EQ(tally.entry_count, kTallyEntries);
  EXPECT_EQ(tally.entries[0].count, 2);
  EXPECT_EQ(Written(tally).rfind("  - 1 BF domain\n"), Written(tally).size() - 16);
}

TEST(CountryTally, NoNetworksWritesTheTotalOnly) {
  EXPECT_EQ(Written(CountryTally{}), "Scans show 0 wifi networks\n");
}

class ScanDumpTest : public testing::KernelTest<testing::TestDaemon> {
 protected:
};

// One scan entry: a BSS attribute with the given element lists nested.
void AddBss(BlockBuilder& b, const Elements* beacon, const Elements* other) {
  BlockBuilder nested = BlockBuilder::Nested();
  if (other != nullptr) {
    nested.Attr(kBssIes, *other);
  }
  if (beacon != nullptr) {
    nested.Attr(kBssBeaconIes, *beacon);
  }
  b.Message(kFamily, 2, 34).AttrU32(3, 7).Attr(kAttrBss, nested.Payload());
}

TEST_F(ScanDumpTest, RequestsTheInterfacesScanDumpAndTalliesEachEntry) {
  const Elements de = {7, 3, 'D', 'E', 0x20};
  const Elements fr = {7, 3, 'F', 'R', 0x20};
  const Elements plain = {0, 1, 'x'};
  BlockBuilder first;
  AddBss(first, &de, &fr);
  AddBss(first, &plain, &fr);
  BlockBuilder second;
  AddBss(second, nullptr, nullptr);
  AddBss(second, &de, nullptr);
  second.Done(2);
  kernel_.Answer({{first.Build(), second.Build()}});

  CountryTally tally;
  TallyScanCountries(daemon_.nl80211, 7, tally);
  EXPECT_EQ(Written(tally),
            "Scans show 4 wifi networks\n"
            "  - 2 DE domain\n"
            "  - 1 FR domain\n"
            "  - 1 no advertised domain\n");
  const Block expected = {28, 0, 0,  0, kFamily, 0, 0x05, 0x03, 2, 0, 0, 0, 0, 0,
                          0,  0, 32, 0, 0,       0, 8,    0,    3, 0, 7, 0, 0, 0};
  ASSERT_EQ(kernel_.Requests().size(), 1u);
  EXPECT_EQ(kernel_.Requests()[0], expected);
}

}  // namespace
}  // namespace ww
