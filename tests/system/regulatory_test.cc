// Country resolution at boot, the fallback command and the survey report,
// through the real daemon. The bed's kernel has no wireless phy, so every
// regulatory query comes back empty.
#include <string>

#include "tests/system/fixture.h"

namespace ww::bed {
namespace {

const std::string kNoCode("\0\0", 2);

class RegulatoryBedTest : public BedTest {
 protected:
  // A set request would change the regulatory domain of the whole machine,
  // which a test must never do; only a kernel without nl80211 is safe.
  bool KernelHasNl80211() { return daemon_.out.Count("Got nl80211 type") > 0; }
};

TEST_F(RegulatoryBedTest, TestScanSurveysWlan0AndPointsToTheJournal) {
  StartDaemon();
  EXPECT_EQ(Exchange(std::string("test-scan\0", 10)), "1\tDone check journalctl -u wavewarden");
  EXPECT_TRUE(daemon_.err.WaitFor("NLScan: 28\nScan Returning: ", Millis(1000)))
      << daemon_.err.Text();
  EXPECT_EQ(daemon_.err.Count("could not get scan results"), 0);
}

TEST_F(RegulatoryBedTest, TestScanWithoutWlan0SaysSo) {
  StartDaemon();
  DeleteWlan0();
  EXPECT_EQ(Exchange(std::string("test-scan\0", 10)), "1\tDone check journalctl -u wavewarden");
  // The log is read from the daemon's pipe in the background.
  EXPECT_TRUE(daemon_.err.WaitFor("Error: could not get scan results for wlan0\n", Millis(2000)));
  EXPECT_EQ(daemon_.err.Count("NLScan"), 0);
}

TEST_F(RegulatoryBedTest, FallbackCommandAnswersFirstThenTriesTheCode) {
  StartDaemon();
  if (KernelHasNl80211()) {
    GTEST_SKIP() << "would set the machine's regulatory domain";
  }
  EXPECT_EQ(Exchange(std::string("set-fallback-country-code\tFRA\0", 30)), "1\tSetting");
  ASSERT_TRUE(
      daemon_.err.WaitFor("Error: SetReg failed. Set:FR  Get:" + kNoCode + "\n", Millis(2000)))
      << daemon_.err.Text();
  EXPECT_EQ(daemon_.err.Count("set-fallback-country-code: FR\n"), 1);
  // Nothing verified, so nothing cached.
  EXPECT_EQ(ReadFile("/etc/softap_cache_domain"), "");
}

TEST_F(RegulatoryBedTest, BootFallsBackToTheCacheAfterTwentyEmptyAnswers) {
  WriteFile("/etc/softap_cache_domain", "GB");
  StartDaemon();
  if (KernelHasNl80211()) {
    GTEST_SKIP() << "would set the machine's regulatory domain";
  }
  ASSERT_TRUE(daemon_.err.WaitFor("Using /etc/softap_cache_domain cache: GB\n", Millis(30000)))
      << daemon_.err.Text();
  EXPECT_EQ(daemon_.err.Count("Called reg get; domain: " + kNoCode), 20);
  EXPECT_EQ(daemon_.err.Count("(max remain = 0)\n"), 1);
  EXPECT_TRUE(
      daemon_.err.WaitFor("Error: SetReg failed. Set:GB  Get:" + kNoCode + "\n", Millis(2000)));
  EXPECT_EQ(ReadFile("/etc/softap_cache_domain"), "GB");
  // The thread has ended; the daemon serves on.
  EXPECT_TRUE(WaitForStatus("0\tIdle"));
}

}  // namespace
}  // namespace ww::bed
