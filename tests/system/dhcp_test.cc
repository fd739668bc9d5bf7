// The real dnsmasq, started by the daemon, serving DHCP on the access-point
// end of a veth to a real DHCP client in a namespace of the test's own.
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "tests/system/fixture.h"

namespace ww::bed {
namespace {

constexpr const char* kRealDnsmasq = "/usr/sbin/dnsmasq";
constexpr const char* kBusybox = "/usr/bin/busybox";

class DhcpTest : public BedTest {
 protected:
  void SetUp() override {
    BedTest::SetUp();
    if (IsSkipped()) {
      return;
    }
    if (access(kRealDnsmasq, X_OK) != 0 || access(kBusybox, X_OK) != 0) {
      GTEST_SKIP() << "needs dnsmasq-base and busybox-static";
    }
  }
  // The fakes on PATH, but the real dnsmasq.
  std::string PathWithRealDnsmasq() {
    const std::string dir = std::string(std::getenv("WW_BED_DIR")) + "/realbin";
    Shell("mkdir -p " + dir + " && for f in " + WW_FAKEBIN_DIR + "/*; do ln -sf \"$f\" " + dir +
          "/; done && ln -sf " + kRealDnsmasq + " " + dir + "/dnsmasq");
    return dir + ":" + ProgramDir() + ":/usr/sbin:/usr/bin:/sbin:/bin";
  }
};

TEST_F(DhcpTest, AClientGetsALeaseFromTheDaemonsDnsmasq) {
  CreateWlan0();
  // wlanap exists already, so the daemon only brings it up (through the
  // fake ifconfig); its peer lives in the client's namespace.
  ASSERT_EQ(Shell("$WW_REAL_IP netns add client && "
                  "$WW_REAL_IP link add wlanap type veth peer name wlanap-peer && "
                  "$WW_REAL_IP link set wlanap-peer netns client && "
                  "$WW_REAL_IP addr add 10.35.78.1/24 dev wlanap && "
                  "$WW_REAL_IP link set wlanap up && "
                  "$WW_REAL_IP netns exec client $WW_REAL_IP link set lo up && "
                  "$WW_REAL_IP netns exec client $WW_REAL_IP link set wlanap-peer up"),
            0);
  daemon_.Start({"PATH=" + PathWithRealDnsmasq()});
  ASSERT_TRUE(WaitForManagementSocket(Millis(5000)));
  RunWavectl({"create", "net", "secret12", "hbs", "nat"});
  ASSERT_TRUE(WaitForStatus("2\tSoftAP Running\tnet\tsecret12", Millis(10000)))
      << daemon_.err.Text();
  ASSERT_TRUE(WaitUntil(
      [] { return ReadFile("/var/run/softap_dnsmasq.pid").find_first_of("0123456789") == 0; },
      Millis(5000)));
  const int got = Shell(std::string("$WW_REAL_IP netns exec client ") + kBusybox +
                        " udhcpc -i wlanap-peer -n -q -t 5 -T 1 -s /bin/true -x hostname:phone1"
                        " >/dev/null 2>&1");
  EXPECT_EQ(got, 0) << ReadFile("/var/log/dnsmasq_ap.log");
  ASSERT_TRUE(WaitUntil(
      [] { return ReadFile("/var/run/softap_dnsmasq.leases").find("phone1") != std::string::npos; },
      Millis(5000)))
      << ReadFile("/var/log/dnsmasq_ap.log");
  const std::string lease = ReadFile("/var/run/softap_dnsmasq.leases");
  // dnsmasq picks the address from the client's MAC: any of .20 to .30.
  const size_t at = lease.find(" 10.35.78.");
  ASSERT_NE(at, std::string::npos) << lease;
  const int host = std::atoi(lease.c_str() + at + std::string(" 10.35.78.").size());
  EXPECT_TRUE(host >= 20 && host <= 30) << lease;
  // The state report lists the client.
  const std::optional<std::string> state = Exchange(std::string("state\0", 6));
  ASSERT_TRUE(state.has_value());
  EXPECT_NE(state->find("\"name\" : \"phone1\" }\n] }"), std::string::npos) << *state;
}

}  // namespace
}  // namespace ww::bed
