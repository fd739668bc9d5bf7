// Scan blocking: the table, the value, the frequency query against a fake
// kernel, and what an update writes and runs.
#include "daemon/netlink/scan_block.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/unit/fake_kernel.h"
#include "tests/unit/test_daemon.h"

namespace ww {
namespace {

using testing::Block;
using testing::BlockBuilder;
using testing::kFamily;

constexpr uint16_t kAttrIfname = 4;
constexpr uint16_t kAttrWiphyFreq = 38;

int Value(std::vector<double> f) {
  return ScanBlockValue(f.data(), static_cast<int>(f.size()));
}

TEST(ScanBlockValue, BandsInUse) {
  EXPECT_EQ(Value({}), 0);
  EXPECT_EQ(Value({-1}), 0);
  EXPECT_EQ(Value({5180}), 5);
  EXPECT_EQ(Value({2437}), 5);
  EXPECT_EQ(Value({5180, 2437}), 5);
  EXPECT_EQ(Value({5955}), 6);
  EXPECT_EQ(Value({5900}), 6);
  EXPECT_EQ(Value({5955, 2437}), 1);
  EXPECT_EQ(Value({2437, 5955, 5180}), 1);
  EXPECT_EQ(Value({2437, 5180, 5955}), 1);
  EXPECT_EQ(Value({3500, 1999, 4999}), 0);
}

int Used(const ScanBlockTable& t) {
  int n = 0;
  for (const auto& slot : t.slots) {
    n += slot[0] != '\0' ? 1 : 0;
  }
  return n;
}

TEST(ScanBlockTable, AddOnceRemoveAllClear) {
  ScanBlockTable t;
  EXPECT_TRUE(ChangeScanBlockTable(t, kScanBlockAdd, "wlan0"));
  EXPECT_TRUE(ChangeScanBlockTable(t, kScanBlockAdd, "wlan0"));
  EXPECT_EQ(Used(t), 1);
  EXPECT_TRUE(ChangeScanBlockTable(t, kScanBlockAdd, ""));  // never added
  EXPECT_EQ(Used(t), 1);
  EXPECT_TRUE(ChangeScanBlockTable(t, kScanBlockRemove, "wlan0"));
  EXPECT_EQ(Used(t), 0);
  for (int i = 0; i < 9; ++i) {
    ChangeScanBlockTable(t, kScanBlockAdd, ("if" + std::to_string(i)).c_str());
  }
  EXPECT_EQ(Used(t), 8);  // the ninth is not added
  EXPECT_STREQ(t.slots[7].data(), "if7");
  EXPECT_TRUE(ChangeScanBlockTable(t, 7, "x"));  // any other kind clears
  EXPECT_EQ(Used(t), 0);
}

TEST(ScanBlockTable, NamesOfFifteenCharactersAtMost) {
  ScanBlockTable t;
  EXPECT_TRUE(ChangeScanBlockTable(t, kScanBlockAdd, "abcdefghijklmno"));
  EXPECT_FALSE(ChangeScanBlockTable(t, kScanBlockAdd, "abcdefghijklmnop"));
  EXPECT_EQ(Used(t), 1);
  EXPECT_FALSE(ChangeScanBlockTable(t, kScanBlockAdd, nullptr));
  EXPECT_TRUE(ChangeScanBlockTable(t, kScanBlockClear, nullptr));
  EXPECT_EQ(Used(t), 0);
}

// An interface dump in which each named interface reports its frequency.
Block Interfaces(const std::vector<std::pair<const char*, uint32_t>>& list) {
  BlockBuilder b;
  for (const auto& [name, mhz] : list) {
    b.Message(kFamily, 2, 7).AttrString(kAttrIfname, name);
    if (mhz != 0) {
      b.AttrU32(kAttrWiphyFreq, mhz);
    }
  }
  b.Done(2);
  return b.Build();
}

class ScanBlockTest : public testing::KernelTest<testing::TestDaemon> {
 protected:
  void SetUp() override {
    KernelTest::SetUp();
    daemon_.scratch.Write("cfg80211_block_scans", "0");
  }
  // Runs an update with `dump` answering every frequency query.
  std::string Update(int kind, const char* name, const Block& dump) {
    kernel_.Answer(std::vector<std::vector<Block>>(8, std::vector<Block>{dump}));
    daemon_.commands.clear();
    ::testing::internal::CaptureStderr();
    UpdateScanBlock(daemon_, kind, name);
    return ::testing::internal::GetCapturedStderr();
  }
  std::string Written() { return testing::TempDir::Read(daemon_.File("cfg80211_block_scans")); }
};

TEST_F(ScanBlockTest, FrequencyOfTheNamedInterface) {
  kernel_.Answer({{Interfaces({{"wlan1", 2412}, {"wlan0", 5180}})}, {Interfaces({{"wlan0", 0}})}});
  EXPECT_EQ(GetInterfaceFrequency(daemon_.nl80211, "wlan0"), 5180);
  EXPECT_EQ(GetInterfaceFrequency(daemon_.nl80211, "wlan0"), -1.0);
  const Block expected = {20, 0, 0, 0, kFamily, 0, 0x05, 0x03, 2, 0, 0, 0, 0, 0, 0, 0, 5, 0, 0, 0};
  EXPECT_EQ(kernel_.Requests()[0], expected);
}

TEST_F(ScanBlockTest, StreamOnFiveGhzThenTwoFourKeepsFive) {
  const Block dump = Interfaces({{"wlan0", 5180}, {"wlanap", 2437}});
  EXPECT_EQ(Update(kScanBlockAdd, "wlan0", dump), "scanblock wlan0 -> 5180.000000\nUpdating " +
                                                      daemon_.File("cfg80211_block_scans") +
                                                      " = 5\n");
  EXPECT_EQ(Written(), "5");
  EXPECT_EQ(daemon_.commands, std::vector<std::string>{"iw dev wlan0 cqm rssi -110 4"});
  Update(kScanBlockAdd, "wlanap", dump);
  EXPECT_EQ(Written(), "5");
}

TEST_F(ScanBlockTest, SixGhzWithTwoFourGivesOne) {
  const Block dump = Interfaces({{"wlan0", 5955}, {"wlanap", 2437}});
  Update(kScanBlockAdd, "wlan0", dump);
  EXPECT_EQ(Written(), "6");
  Update(kScanBlockAdd, "wlanap", dump);
  EXPECT_EQ(Written(), "1");
}

TEST_F(ScanBlockTest, NoFrequencyGivesZeroAndTheMildThreshold) {
  const std::string log = Update(kScanBlockAdd, "wlan0", Interfaces({{"wlan0", 0}}));
  EXPECT_NE(log.find("scanblock wlan0 -> -1.000000\n"), std::string::npos);
  EXPECT_EQ(Written(), "0");
  EXPECT_EQ(daemon_.commands, std::vector<std::string>{"iw dev wlan0 cqm rssi -75 4"});
}

TEST_F(ScanBlockTest, StreamOffAndClearRewriteTheValue) {
  const Block dump = Interfaces({{"wlan0", 5180}});
  Update(kScanBlockAdd, "wlan0", dump);
  Update(kScanBlockRemove, "wlan0", dump);
  EXPECT_EQ(Written(), "0");
  Update(kScanBlockAdd, "", dump);  // nothing added, still rewritten
  EXPECT_EQ(daemon_.commands.size(), 1u);
  // A name too long changes nothing and runs nothing.
  Update(kScanBlockAdd, "abcdefghijklmnop", dump);
  EXPECT_TRUE(daemon_.commands.empty());
}

TEST_F(ScanBlockTest, MissingParameterFileStillSetsTheThreshold) {
  unlink(daemon_.File("cfg80211_block_scans").c_str());
  const std::string log = Update(kScanBlockClear, nullptr, Interfaces({}));
  EXPECT_EQ(log, "Error: Could not open " + daemon_.File("cfg80211_block_scans") + "\n");
  EXPECT_EQ(daemon_.commands, std::vector<std::string>{"iw dev wlan0 cqm rssi -75 4"});
}

}  // namespace
}  // namespace ww
