// bandprobe through the real binary: usage, unknown and non-wireless
// interfaces, long names, and failing system calls. Real wireless answers
// are covered by the unit tests' stand-in for nl80211.
#include <cstdlib>
#include <string>

#include "tests/system/fixture.h"

namespace ww::bed {
namespace {

using BandprobeTest = BedTest;

// The kernel refused the query for `name`: the first timeout line, then the
// failure line with a negative value and nothing after it.
void ExpectRefused(const CtlResult& r, const std::string& name) {
  EXPECT_EQ(r.status, 255);
  EXPECT_EQ(r.out, "");
  const std::string timeout = "**** nl timeout in GetWifiInfo 1 for " + name + "\n";
  const size_t at = r.err.find(timeout);
  ASSERT_NE(at, std::string::npos) << r.err;
  const std::string last = r.err.substr(at + timeout.size());
  EXPECT_EQ(last.rfind("Failed to get interface information, GetWifiInfo returned -", 0), 0u)
      << last;
  EXPECT_EQ(last.find('\n'), last.size() - 1) << last;
}

// Runs bandprobe on `interface` with the system-call fault injector set to
// `fault`, through the shell since RunProgram takes no environment.
CtlResult RunFailing(const std::string& fault, const std::string& interface) {
  // The bed's scratch folder; no other thread runs while this reads it.
  const char* scratch = std::getenv("WW_BED_DIR");  // NOLINT(concurrency-mt-unsafe)
  const std::string dir = scratch != nullptr ? scratch : "/run";
  CtlResult r;
  r.status = Shell(FaultInjector() + " " + fault + " ASAN_OPTIONS=verify_asan_link_order=0 " +
                   ProgramDir() + "/bandprobe " + interface + " >" + dir + "/probe.out 2>" + dir +
                   "/probe.err");
  r.out = ReadFile(dir + "/probe.out");
  r.err = ReadFile(dir + "/probe.err");
  return r;
}

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
  ExpectRefused(RunProgram("bandprobe", {"wlan0"}), "wlan0");
}

TEST_F(BandprobeTest, LongNamesAreLookedUpByTheirFirstBytes) {
  // 15 characters, the most an interface name has.
  ASSERT_EQ(Shell("\"$WW_REAL_IP\" link add wwprobe-0123456 type veth peer name wwprobe-peer"), 0);
  ExpectRefused(RunProgram("bandprobe", {"wwprobe-0123456789"}), "wwprobe-0123456789");
  // A difference within those bytes is another, unknown interface.
  const CtlResult other = RunProgram("bandprobe", {"wwprobe-0123457xyz"});
  EXPECT_EQ(other.status, 255);
  EXPECT_EQ(other.err, "Failed to get interface information, GetWifiInfo returned -1\n");
  Shell("\"$WW_REAL_IP\" link del wwprobe-0123456");
}

TEST_F(BandprobeTest, NetlinkConnectFailureEndsInitialization) {
  const CtlResult r = RunFailing("WW_FAIL_SOCKET_DOMAIN=16", "lo");
  EXPECT_EQ(r.status, 255);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "netlink connect failed\nError initializing\n");
}

TEST_F(BandprobeTest, IndexLookupSocketFailureIsReported) {
  const CtlResult r = RunFailing("WW_FAIL_SOCKET_DOMAIN=2", "lo");
  EXPECT_EQ(r.status, 255);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err,
            "[bandprobe:85 in GetInterfaceIndex] socket: Address family not supported by protocol\n"
            "Failed to get interface information, GetWifiInfo returned -1\n");
}

}  // namespace
}  // namespace ww::bed
