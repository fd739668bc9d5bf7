// Where the station's network is seen: the scan entries read from the
// kernel's dump, and the choice of the frequency to go ahead to.
#include "daemon/netlink/upstream_scan.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/unit/fake_kernel.h"
#include "tests/unit/test_daemon.h"

namespace ww {
namespace {

using testing::BlockBuilder;
using Elements = std::vector<uint8_t>;

constexpr uint16_t kAttrBss = 47 | 0x8000;

void AddEntry(BlockBuilder& b, uint32_t frequency, int32_t signal, uint32_t ago,
              const Elements* elements, const Elements* beacon) {
  BlockBuilder nested = BlockBuilder::Nested();
  if (frequency != 0) {
    nested.AttrU32(2, frequency);
  }
  nested.AttrU32(7, static_cast<uint32_t>(signal)).AttrU32(10, ago);
  if (elements != nullptr) {
    nested.Attr(6, *elements);
  }
  if (beacon != nullptr) {
    nested.Attr(11, *beacon);
  }
  b.Message(testing::kFamily, 2, 34).AttrU32(3, 7).Attr(kAttrBss, nested.Payload());
}

class ScanResultsTest : public testing::KernelTest<testing::TestDaemon> {};

TEST_F(ScanResultsTest, EntriesWithTheirSsidSignalAndAge) {
  // Rates before the SSID; a beacon-only SSID; an SSID element running past
  // its list and one too long for an SSID give none; no frequency, no entry.
  const Elements up = {1, 1, 0x82, 0, 8, 'u', 'p', 's', 't', 'r', 'e', 'a', 'm'};
  const Elements beacon = {0, 2, 'b', 'e'};
  const Elements cut = {0, 9, 'x'};
  Elements long_ssid = {0, 33};
  long_ssid.resize(35, 'y');
  BlockBuilder b;
  AddEntry(b, 2462, -3000, 120, &up, &beacon);
  AddEntry(b, 5180, -4500, 7, nullptr, &beacon);
  AddEntry(b, 2437, -5000, 1, &cut, nullptr);
  AddEntry(b, 2412, -5000, 1, &long_ssid, nullptr);
  AddEntry(b, 0, -1000, 1, &up, nullptr);
  b.Done(2);
  kernel_.Answer({{b.Build()}});

  const std::vector<SeenNetwork> seen = DumpScanResults(daemon_.nl80211, 7);
  ASSERT_EQ(seen.size(), 4u);
  EXPECT_EQ(seen[0].frequency, 2462u);
  EXPECT_EQ(seen[0].signal_mbm, -3000);
  EXPECT_EQ(seen[0].seen_ms_ago, 120u);
  EXPECT_EQ(seen[0].ssid, "upstream");
  EXPECT_EQ(seen[1].ssid, "be");
  EXPECT_EQ(seen[2].ssid, "");
  EXPECT_EQ(seen[3].ssid, "");
  ASSERT_EQ(kernel_.Requests().size(), 1u);
  EXPECT_EQ(kernel_.Requests()[0][16], 32);  // the scan dump command
}

TEST(RejoinFrequency, TheStrongestOfTheNetworkSeenSinceTheLoss) {
  const std::vector<SeenNetwork> seen = {{2412, -2000, 5000, "upstream"},
                                         {2462, -6000, 300, "upstream"},
                                         {5180, -4000, 300, "upstream"},
                                         {2437, -1000, 10, "neighbour"}};
  EXPECT_EQ(RejoinFrequency(seen, "upstream", 3000), 5180u);
  // The older sighting counts once the loss is older still.
  EXPECT_EQ(RejoinFrequency(seen, "upstream", 6000), 2412u);
  EXPECT_EQ(RejoinFrequency(seen, "upstream", 300), 0u);
  EXPECT_EQ(RejoinFrequency(seen, "", 6000), 0u);  // a hidden name matches nothing
  EXPECT_EQ(RejoinFrequency({}, "upstream", 6000), 0u);
}

}  // namespace
}  // namespace ww
