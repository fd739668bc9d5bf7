// The access point's lifecycle through the real binaries: create, teardown,
// the commands the fakes see, supervision of the fake services, and the
// replay of the last request after a restart.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/system/fixture.h"

namespace ww::bed {
namespace {

using LifecycleTest = BedTest;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    lines.push_back(line);
  }
  return lines;
}

// The fake calls after start-up, without the background hostapd, whose line
// may land anywhere after its launch.
std::vector<std::string> CallsAfterStart() {
  std::vector<std::string> calls;
  for (const std::string& line : Lines(FakeCalls())) {
    // The scan-block resets at start-up set the signal threshold too.
    if (line.rfind("hostapd", 0) != 0 && line.rfind("iw dev wlan0 cqm", 0) != 0) {
      calls.push_back(line);
    }
  }
  // Start-up cleans up first: killall, then wlanap down.
  if (calls.size() >= 2) {
    calls.erase(calls.begin(), calls.begin() + 2);
  }
  return calls;
}

const std::string kRunning = "2\tSoftAP Running\tnet\tsecret12";

// Tests that watch supervision passes (20 seconds apart) outlive the boot
// thread, which replays the last request after about 20 seconds in this bed
// and so relaunches everything; without a recorded request it replays none.
void ForgetLastRequest() {
  unlink("/var/run/wavewarden.laststate");
}

TEST_F(LifecycleTest, CreateRunsTheInterfaceAndServiceCommandsAndEndsRunning) {
  StartDaemon();
  ASSERT_TRUE(WaitForStatus("0\tIdle"));
  const CtlResult r = RunWavectl({"create", "net", "secret12", "hbs", "nat"});
  EXPECT_EQ(r.out, "1\tCreating\n");
  ASSERT_TRUE(WaitForStatus(kRunning, Millis(10000))) << daemon_.err.Text();
  // The fake services record their calls after the exec, so a moment after
  // the daemon has moved on.
  ASSERT_TRUE(WaitUntil(
      [] {
        const std::string c = FakeCalls();
        return c.find("\ndnsmasq -k") != std::string::npos &&
               c.find("\nhostapd /var/run/softap_hostapd.conf\n") != std::string::npos;
      },
      Millis(5000)))
      << FakeCalls();
  const std::vector<std::string> calls = CallsAfterStart();
  ASSERT_EQ(calls.size(), 11u) << FakeCalls();
  EXPECT_EQ(calls[0], "iw dev wlan0 interface add wlanap type __ap");
  EXPECT_EQ(calls[1].rfind("ip link set dev wlanap address ", 0), 0u);
  EXPECT_EQ(calls[2], "ip addr add 10.35.78.1/24 brd + dev wlanap");
  EXPECT_EQ(calls[3], "iw dev wlanap set bitrates he-gi-5 1.6 he-ltf-5 2");
  EXPECT_EQ(calls[4], "iw dev wlanap set bitrates he-gi-6 1.6 he-ltf-6 2");
  EXPECT_EQ(calls[5], "ifconfig wlanap up");
  EXPECT_EQ(calls[6],
            "firewall-cmd --zone=nm-shared --add-port=1024-65535/tcp --add-port=1024-65535/udp");
  EXPECT_EQ(calls[7], "firewall-cmd --zone=nm-shared --add-interface=wlanap");
  EXPECT_EQ(calls[8], "killall hostapd");
  EXPECT_EQ(calls[9], "iw dev wlan0 set 4addr off");
  EXPECT_EQ(calls[10],
            "dnsmasq -k -x /var/run/softap_dnsmasq.pid -C /var/run/softap_dnsmasq.conf -l "
            "/var/run/softap_dnsmasq.leases --log-facility /var/log/dnsmasq_ap.log --log-debug");
  EXPECT_NE(FakeCalls().find("hostapd /var/run/softap_hostapd.conf\n"), std::string::npos);
  // The MAC address is unicast and locally administered.
  const std::string mac = calls[1].substr(std::string("ip link set dev wlanap address ").size());
  ASSERT_EQ(mac.size(), 17u);
  const int first = std::stoi(mac.substr(0, 2), nullptr, 16);
  EXPECT_EQ(first & 0x03, 0x02);
  EXPECT_EQ(ReadFile("/var/run/softap_dnsmasq.conf"),
            "interface=wlanap\nexcept-interface=lo\ndhcp-range=10.35.78.20,10.35.78.30,12h\n"
            "bind-interfaces\n");
  EXPECT_EQ(ReadFile("/var/run/wavewarden.laststate"), "create\tnet\tsecret12\thbs\tnat\n");
}

// An existing wlanap keeps its MAC address and settings; only its address,
// when something else (another network manager) removed it, is added again.
TEST_F(LifecycleTest, AnExistingWlanapGetsOnlyALostAddressBack) {
  for (const bool has_address : {true, false}) {
    SCOPED_TRACE(has_address ? "with its address" : "without its address");
    std::string make = "$WW_REAL_IP link add wlanap type veth peer name wlanap-peer";
    if (has_address) {
      make += " && $WW_REAL_IP addr add 10.35.78.1/24 dev wlanap";
    }
    ASSERT_EQ(Shell(make), 0);
    unlink(BedFile("calls.log").c_str());
    StartDaemon();
    RunWavectl({"create", "net", "secret12", "hbs", "nat"});
    ASSERT_TRUE(WaitForStatus(kRunning, Millis(10000))) << daemon_.err.Text();
    const std::vector<std::string> calls = CallsAfterStart();
    ASSERT_GE(calls.size(), 2u) << FakeCalls();
    if (has_address) {
      EXPECT_EQ(calls[0], "ifconfig wlanap up");
    } else {
      EXPECT_EQ(calls[0], "ip addr add 10.35.78.1/24 brd + dev wlanap");
      EXPECT_EQ(calls[1], "ifconfig wlanap up");
      EXPECT_EQ(daemon_.err.Count("wlanap has lost 10.35.78.1, adding it again"), 1);
    }
    daemon_.Stop();
    ForgetLastRequest();
    ASSERT_EQ(Shell("$WW_REAL_IP link del wlanap"), 0);
  }
}

TEST_F(LifecycleTest, TeardownEndsDisabled) {
  StartDaemon();
  RunWavectl({"create", "net", "secret12", "hbs", "noroute"});
  ASSERT_TRUE(WaitForStatus(kRunning, Millis(10000)));
  EXPECT_EQ(RunWavectl({"teardown"}).out, "1\tTearing down\n");
  EXPECT_TRUE(WaitForStatus("0\tDisabled.", Millis(10000)));
  EXPECT_EQ(ReadFile("/var/run/wavewarden.laststate"), "teardown\n");
}

TEST_F(LifecycleTest, AnEndedDnsmasqLeavesNoZombie) {
  StartDaemon();
  RunWavectl({"create", "net", "secret12", "hbs", "nat"});
  ASSERT_TRUE(WaitForStatus(kRunning, Millis(10000)));
  ForgetLastRequest();
  const int pid = std::stoi(ReadFile("/var/run/softap_dnsmasq.pid"));
  ASSERT_GT(pid, 0);
  ASSERT_EQ(kill(pid, SIGKILL), 0);
  const std::string proc = "/proc/" + std::to_string(pid);
  struct stat st {};
  EXPECT_TRUE(WaitUntil([&] { return stat(proc.c_str(), &st) != 0; }, Millis(3000)))
      << "dnsmasq was not reaped";
  // The next supervision pass (at most 20 seconds away) reports it.
  EXPECT_TRUE(WaitForStatus("1\tdnsmasq failed", Millis(25000)));
}

TEST_F(LifecycleTest, AVanishedHostapdIsReportedWithoutRestart) {
  StartDaemon();
  RunWavectl({"create", "net", "secret12", "hbs", "transparent"});
  ASSERT_TRUE(WaitForStatus(kRunning, Millis(10000)));
  ForgetLastRequest();
  const int launches = daemon_.err.Count("Opening apps.\n");
  ASSERT_EQ(Shell("pkill -x hostapd"), 0);
  // One pass records that it is gone, the next reports it.
  EXPECT_TRUE(WaitForStatus("1\thostapd failed (-1 1).", Millis(45000))) << daemon_.err.Text();
  EXPECT_EQ(daemon_.err.Count("Opening apps.\n"), launches);
  EXPECT_TRUE(daemon_.err.WaitFor("# ip link show 1>&2 = 0\n", Millis(2000)));
}

TEST_F(LifecycleTest, RefreshRecreatesInOnePassAndDelayedRefreshWaits) {
  StartDaemon();
  RunWavectl({"create", "net", "secret12", "scs", "nat"});
  ASSERT_TRUE(WaitForStatus(kRunning, Millis(10000)));
  EXPECT_EQ(RunWavectl({"refresh"}).out, "1\tRefreshing\n");
  ASSERT_TRUE(daemon_.err.WaitFor("refresh_teardown_flag_value = 1\n", Millis(5000)));
  EXPECT_TRUE(WaitForStatus(kRunning, Millis(10000)));
  EXPECT_EQ(daemon_.err.Count("Opening apps.\n"), 2);
  const auto asked = std::chrono::steady_clock::now();
  EXPECT_EQ(RunWavectl({"delayrefresh"}).out, "1\tRefreshing\n");
  ASSERT_TRUE(daemon_.err.WaitFor("Opening apps.\n", Millis(15000), 3));
  EXPECT_GE(std::chrono::steady_clock::now() - asked, Millis(3000));
  EXPECT_TRUE(WaitForStatus(kRunning, Millis(10000)));
}

TEST_F(LifecycleTest, AddRetriesWithForceDeletionsWithoutFailing) {
  // The fake iw refuses the first 25 adds.
  WriteFile(BedFile("hook/iw"),
            "#!/bin/sh\n"
            "dir=$WW_BED_DIR\n"
            "if [ \"$3\" = interface ]; then\n"
            "  n=$(($(cat $dir/adds 2>/dev/null || echo 0) + 1)); echo $n > $dir/adds\n"
            "  if [ $n -le 25 ]; then echo 1 > $dir/status/iw; exit 0; fi\n"
            "fi\n"
            "rm -f $dir/status/iw\n");
  chmod(BedFile("hook/iw").c_str(), 0755);
  StartDaemon();
  RunWavectl({"create", "net", "secret12", "hbs", "nat"});
  ASSERT_TRUE(WaitForStatus(kRunning, Millis(20000))) << daemon_.err.Text();
  EXPECT_EQ(daemon_.err.Count("Trying a force deletion.\n"), 2);
  EXPECT_EQ(daemon_.err.Count("Warning: could not \"iw dev wlan0 interface add wlanap type __ap\""),
            25);
  EXPECT_EQ(ReadFile(BedFile("adds")), "26\n");
}

TEST_F(LifecycleTest, DefaultRouteIsMasqueradedOnce) {
  CreateWlan0();
  Shell(
      "$WW_REAL_IP link set wlan0 up && $WW_REAL_IP addr add 192.0.2.2/24 dev wlan0 && "
      "$WW_REAL_IP route add default via 192.0.2.1 dev wlan0");
  daemon_.Start();
  ASSERT_TRUE(WaitForManagementSocket(Millis(5000)));
  RunWavectl({"create", "net", "secret12", "hbs", "nat"});
  ASSERT_TRUE(WaitForStatus(kRunning, Millis(10000)));
  RunWavectl({"refresh"});
  ASSERT_TRUE(daemon_.err.WaitFor("refresh_teardown_flag_value = 1\n", Millis(5000)));
  ASSERT_TRUE(WaitForStatus(kRunning, Millis(10000)));
  EXPECT_EQ(daemon_.err.Count("Setting default route: wlan0\n"), 1);
  int masquerades = 0;
  for (const std::string& line : Lines(FakeCalls())) {
    masquerades += line == "firewall-cmd --zone=public --add-masquerade" ? 1 : 0;
  }
  EXPECT_EQ(masquerades, 1);
}

TEST_F(LifecycleTest, TheLastRequestIsReplayedExactlyAfterARestart) {
  StartDaemon();
  const std::string name = "a b$(touch /run/pwned)'\"";
  RunWavectl({"create", name, "secret12", "scs", "nat"});
  ASSERT_TRUE(WaitForStatus("2\tSoftAP Running\t" + name + "\tsecret12", Millis(10000)));
  daemon_.Stop();
  Shell("pkill -x hostapd; pkill -x dnsmasq; true");
  // The boot thread replays once it has given up on the kernel's country
  // (about 20 seconds in this bed).
  daemon_.Start();
  ASSERT_TRUE(WaitForManagementSocket(Millis(5000)));
  EXPECT_TRUE(daemon_.err.WaitFor("# wavectl 'create' ", Millis(30000))) << daemon_.err.Text();
  EXPECT_TRUE(WaitForStatus("2\tSoftAP Running\t" + name + "\tsecret12", Millis(10000)))
      << daemon_.err.Text();
  struct stat st {};
  EXPECT_NE(stat("/run/pwned", &st), 0) << "the name was executed by the shell";
}

// The status once it has stayed the same for `quiet` with no request in
// progress (state 0 or 2), or "" when it never settles.
std::string SettledStatus(Millis quiet, Millis timeout) {
  std::string last;
  auto since = std::chrono::steady_clock::now();
  std::string settled;
  WaitUntil(
      [&] {
        const std::string now = Exchange(std::string("status\0", 7)).value_or("");
        if (now != last) {
          last = now;
          since = std::chrono::steady_clock::now();
        } else if ((now.rfind('0', 0) == 0 || now.rfind('2', 0) == 0) &&
                   std::chrono::steady_clock::now() - since >= Patience(quiet)) {
          settled = now;
          return true;
        }
        return false;
      },
      timeout);
  return settled;
}

// Requests that one pass serves together end as if carried out one at a
// time: a teardown after two creates leaves no access point.
TEST_F(LifecycleTest, TeardownAfterTwoQuickCreatesEndsDisabled) {
  StartDaemon();
  ASSERT_TRUE(WaitForStatus("0\tIdle"));
  EXPECT_EQ(Exchange("create\tA-net\tsecret12\thbs\tnat"), "1\tCreating");
  EXPECT_EQ(Exchange("create\tB-net\tsecret34\thbs\tnat"), "1\tCreating");
  EXPECT_EQ(Exchange("teardown"), "1\tTearing down");
  EXPECT_EQ(SettledStatus(Millis(3000), Millis(20000)), "0\tDisabled.") << daemon_.err.Text();
  EXPECT_EQ(ReadFile("/var/run/wavewarden.laststate"), "teardown\n");
  // A teardown while a delayed refresh waits is not spent by the refresh.
  EXPECT_EQ(Exchange("create\tA-net\tsecret12\thbs\tnat"), "1\tCreating");
  ASSERT_TRUE(WaitForStatus("2\tSoftAP Running\tA-net\tsecret12", Millis(10000)));
  EXPECT_EQ(Exchange("delayrefresh"), "1\tRefreshing");
  ASSERT_TRUE(daemon_.err.WaitFor("refresh_teardown_flag_value = 4\n", Millis(5000)));
  EXPECT_EQ(Exchange("teardown"), "1\tTearing down");
  EXPECT_EQ(SettledStatus(Millis(3500), Millis(20000)), "0\tDisabled.") << daemon_.err.Text();
}

// A create and a teardown sent at the same moment by two clients: whichever
// was answered last is what runs, and what the laststate file holds, so a
// restart brings back what is on the air.
TEST_F(LifecycleTest, SimultaneousCreateAndTeardownAgreeWithTheLaststate) {
  StartDaemon();
  ASSERT_TRUE(WaitForStatus("0\tIdle"));
  const std::string kCreate = "create\tnet\tsecret12\thbs\tnat";
  for (int round = 0; round < 4; ++round) {
    // The pass of a delayed refresh waits 3 seconds: both requests land in
    // the pass after it.
    EXPECT_EQ(Exchange("delayrefresh"), "1\tRefreshing");
    std::thread other([] { Exchange("teardown"); });
    Exchange(kCreate);
    other.join();
    const std::string status = SettledStatus(Millis(2500), Millis(20000));
    const std::string laststate = ReadFile("/var/run/wavewarden.laststate");
    if (laststate == "teardown\n") {
      EXPECT_EQ(status, "0\tDisabled.") << "round " << round;
    } else {
      EXPECT_EQ(laststate, kCreate + "\n");
      EXPECT_EQ(status, kRunning) << "round " << round;
    }
  }
}

}  // namespace
}  // namespace ww::bed
