// bandprobe through the real binary: usage, unknown and non-wireless
// interfaces. Real wireless answers are covered on simulated radios.
#include <string>

#include "tests/system/fixture.h"

namespace ww::bed {
namespace {

using BandprobeTest = BedTest;

TEST_F(BandprobeTest, WrongArgumentCountPrintsUsageOnly) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{}, std::vector<std::string>{"wlan0", "wlanap"}}) {
    const CtlResult r = RunProgram("bandprobe", args);
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "Usage: " + ProgramDir() + "/bandprobe <interface>\n");
  }
}

TEST_F(BandprobeTest, UnknownInterfaceFailsWithMinusOne) {
  const CtlResult r = RunProgram("bandprobe", {"wlan9"});
  EXPECT_EQ(r.status, 255);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "Failed to get interface information, GetWifiInfo returned -1\n");
}

TEST_F(BandprobeTest, WiredInterfaceIsRefusedByTheKernel) {
  CreateWlan0();  // a veth: it exists, but nl80211 does not manage it
  const CtlResult r = RunProgram("bandprobe", {"wlan0"});
  EXPECT_EQ(r.status, 255);
  EXPECT_EQ(r.out, "");
  const std::string timeout = "**** nl timeout in GetWifiInfo 1 for wlan0\n";
  const size_t at = r.err.find(timeout);
  ASSERT_NE(at, std::string::npos) << r.err;
  const std::string last = r.err.substr(at + timeout.size());
  EXPECT_EQ(last.rfind("Failed to get interface information, GetWifiInfo returned -", 0), 0u)
      << last;
  EXPECT_EQ(last.back(), '\n');
  EXPECT_EQ(last.find('\n'), last.size() - 1);
}

}  // namespace
}  // namespace ww::bed
