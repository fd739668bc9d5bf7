// Faults of the machine around the daemon, through the real binary in the
// bed: dnsmasq ending while a shell command runs, the daemon killed in the
// middle of a pass, a read-only /etc, a random device that refuses to open,
// an empty route table, a missing scan-block parameter and a station
// interface that goes away for a while. Each test undoes its mounts and files
// and ends the fake services the daemon left.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "tests/system/fixture.h"

namespace ww::bed {
namespace {

constexpr const char* kPassphraseFile = "/etc/softap_password";
constexpr const char* kBlockScans = "/sys/module/cfg80211/parameters/cfg80211_block_scans";
constexpr const char* kStreamingSocket = "/var/run/wavewarden.streaming.socket";

int Masquerades() {
  return CountLines(FakeCalls(), "firewall-cmd --zone=public --add-masquerade");
}

// The address the last creation gave wlanap, or "".
std::string LastMacAddress() {
  const std::string prefix = "ip link set dev wlanap address ";
  std::string mac;
  std::istringstream in(FakeCalls());
  for (std::string l; std::getline(in, l);) {
    if (l.rfind(prefix, 0) == 0) {
      mac = l.substr(prefix.size());
    }
  }
  return mac;
}

// Connects to the streaming socket once the daemon has made it, or -1.
int ConnectStreaming() {
  struct stat st {};
  if (!WaitUntil([&] { return stat(kStreamingSocket, &st) == 0; }, Millis(3000))) {
    return -1;
  }
  return ConnectSocket(kStreamingSocket);
}

bool Send(int fd, const std::string& text) {
  return write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
}

// The state letter of a process ('Z' for a zombie), or 0 once it is gone.
char ProcessState(int pid) {
  const std::string status = ReadFile("/proc/" + std::to_string(pid) + "/status");
  const size_t at = status.find("State:\t");
  return at == std::string::npos ? 0 : status[at + 7];
}

class FaultTest : public BedTest {
 protected:
  void SetUp() override {
    BedTest::SetUp();
    if (!IsSkipped()) {
      WriteFile(BedFile("calls.log"), "");  // counts below are this test's own
    }
  }
  void TearDown() override {
    daemon_.Stop();
    EndFakeServices();
    for (auto it = undo_.rbegin(); it != undo_.rend(); ++it) {
      Shell(*it);
    }
    if (InBed()) {
      Shell(std::string("rm -f ") + kPassphraseFile + " " + BedFile("hook/*") + " " +
            BedFile("release") + " " + BedFile("hold"));
    }
    BedTest::TearDown();
  }

  // Runs `command` now and `undo` when the test ends, whatever its outcome.
  void Change(const std::string& command, const std::string& undo) {
    undo_.push_back(undo);
    ASSERT_EQ(Shell(command), 0) << command;
  }

  // A default route with `metric` through wlan0, or through a new veth
  // `iface` that the test removes again.
  void DefaultRoute(const std::string& iface, const std::string& net, int metric) {
    const std::string ip = "$WW_REAL_IP ";
    std::string command;
    if (iface != "wlan0") {
      undo_.push_back(ip + "link del " + iface + " 2>/dev/null");
      command = ip + "link add " + iface + " type veth peer name " + iface + "peer && ";
    }
    command += ip + "link set " + iface + " up && " + ip + "addr add " + net + ".2/24 dev " +
               iface + " && " + ip + "route add default via " + net + ".1 dev " + iface +
               " metric " + std::to_string(metric);
    ASSERT_EQ(Shell(command), 0) << command;
  }

  std::string Reply(const std::string& word) {
    return Exchange(word + std::string(1, '\0')).value_or("<no connection>");
  }

  std::vector<std::string> undo_;
};

TEST_F(FaultTest, DnsmasqEndingWhileAShellCommandRunsIsReapedAtOnce) {
  StartDaemon();
  RunWavectl({"create", "net", "secret12", "hbs", "nat"});
  ASSERT_TRUE(WaitForStatus("2\tSoftAP Running\tnet\tsecret12", Millis(10000)));
  const int pid = std::atoi(ReadFile("/var/run/softap_dnsmasq.pid").c_str());
  ASSERT_GT(pid, 0);
  // The signal-strength command of a stream blocks while the hold file
  // exists; a service ending meanwhile must not wait for it.
  Hook("iw",
       "[ \"$3\" = cqm ] || exit 0\n"
       "i=0; while [ -e \"$WW_BED_DIR/hold\" ] && [ $i -lt 200 ]; do\n"
       "  sleep 0.05; i=$((i + 1)); done\n");
  WriteFile(BedFile("hold"), "");
  const int thresholds = CountLines(FakeCalls(), "iw dev wlan0 cqm rssi -75 4");
  const int fd = ConnectStreaming();
  ASSERT_GE(fd, 0);
  ASSERT_TRUE(Send(fd, "streamon\twlan0"));
  ASSERT_TRUE(
      WaitUntil([&] { return CountLines(FakeCalls(), "iw dev wlan0 cqm rssi -75 4") > thresholds; },
                Millis(3000)));
  ASSERT_EQ(kill(pid, SIGKILL), 0);
  EXPECT_TRUE(WaitUntil([&] { return ProcessState(pid) == 0; }, Millis(2000)))
      << "dnsmasq was left a zombie while a command ran";
  EXPECT_EQ(access(BedFile("hold").c_str(), F_OK), 0) << "the command ended early";
  unlink(BedFile("hold").c_str());
  close(fd);
  // A new default route wakes the pass that reports it.
  DefaultRoute("wlan0", "192.0.2", 0);
  EXPECT_TRUE(WaitForStatus("1\tdnsmasq failed")) << daemon_.err.Text();
}

TEST_F(FaultTest, KilledMidCreationTheReplayRestoresTheAccessPointAndItsPassphrase) {
  // The bring-up blocks until released, so the kill lands inside the pass.
  Hook("ifconfig",
       "[ \"$2\" = up ] || exit 0\n"
       "i=0; while [ ! -e \"$WW_BED_DIR/release\" ] && [ $i -lt 200 ]; do\n"
       "  sleep 0.05; i=$((i + 1)); done\n");
  StartDaemon();
  EXPECT_EQ(RunWavectl({"create", "net", "-", "hbs", "nat"}).out, "1\tCreating\n");
  const std::string passphrase = ReadFile(kPassphraseFile);
  ASSERT_EQ(passphrase.size(), 8u);
  ASSERT_TRUE(WaitForStatus("1\tContinuing Setup")) << daemon_.err.Text();
  ASSERT_TRUE(WaitUntil([] { return FakeCalls().find("ifconfig wlanap up") != std::string::npos; },
                        Millis(3000)));
  daemon_.Stop();  // SIGKILL
  WriteFile(BedFile("release"), "");
  unlink(BedFile("hook/ifconfig").c_str());
  EndFakeServices();
  EXPECT_EQ(ReadFile("/var/run/wavewarden.laststate"), "create\tnet\t-\thbs\tnat\n");

  // The boot thread replays once it has given up on the kernel's country
  // (about 20 seconds in this bed).
  daemon_.Start();
  ASSERT_TRUE(WaitForManagementSocket(Millis(5000)));
  ASSERT_TRUE(daemon_.err.WaitFor("# wavectl 'create' 'net' '-' 'hbs' 'nat' = 0\n", Millis(30000)))
      << daemon_.err.Text();
  EXPECT_TRUE(WaitForStatus("2\tSoftAP Running\tnet\t" + passphrase)) << daemon_.err.Text();
  EXPECT_EQ(ReadFile(kPassphraseFile), passphrase);
}

TEST_F(FaultTest, ReadOnlyEtcStillServesAndKeepsTheNewPassphraseInMemory) {
  StartDaemon();
  Change("mount -o remount,ro /etc", "mount -o remount,rw /etc");
  EXPECT_EQ(RunWavectl({"create", "net", "-", "hbs", "nat"}).out, "1\tCreating\n");
  ASSERT_TRUE(WaitUntil([&] { return Reply("status").rfind("2\tSoftAP Running\tnet\t", 0) == 0; },
                        Millis(10000)))
      << daemon_.err.Text();
  const std::string status = Reply("status");
  const std::string passphrase = status.substr(status.rfind('\t') + 1);
  EXPECT_EQ(passphrase.size(), 8u);
  EXPECT_EQ(passphrase.find_first_not_of("0123456789abcdef"), std::string::npos) << passphrase;
  // Nothing written, not even a temporary file.
  struct stat st {};
  EXPECT_NE(stat(kPassphraseFile, &st), 0);
  EXPECT_EQ(Shell("ls /etc | grep -q softap_password"), 1);
  // The rest of the daemon is unaffected.
  EXPECT_NE(Reply("state").find("\"status\""), std::string::npos);
  EXPECT_EQ(RunWavectl({"refresh"}).out, "1\tRefreshing\n");
  EXPECT_TRUE(daemon_.err.WaitFor("Opening apps.\n", Millis(10000), 2));
  EXPECT_TRUE(WaitForStatus("2\tSoftAP Running\tnet\t" + passphrase));
}

TEST_F(FaultTest, RefusedRandomDeviceFailsTheDefaultPassphraseButNotTheAddress) {
  StartDaemon();
  // A device node on a nodev mount cannot be opened, not even by root.
  Change("mount --bind /dev/random /dev/random && mount -o remount,bind,nodev /dev/random",
         "umount /dev/random");
  EXPECT_EQ(Reply("create\tnet\t-\thbs\tnat"), "internal failure 43: Permission denied");
  struct stat st {};
  EXPECT_NE(stat(kPassphraseFile, &st), 0);
  EXPECT_EQ(daemon_.err.Count("Opening apps."), 0);
  // A given passphrase needs no random device; the address is still a
  // unicast, locally administered one.
  EXPECT_EQ(RunWavectl({"create", "net", "secret12", "hbs", "nat"}).out, "1\tCreating\n");
  EXPECT_TRUE(WaitForStatus("2\tSoftAP Running\tnet\tsecret12", Millis(10000)))
      << daemon_.err.Text();
  const std::string mac = LastMacAddress();
  ASSERT_EQ(mac.size(), 17u) << FakeCalls();
  EXPECT_EQ(std::stoi(mac.substr(0, 2), nullptr, 16) & 0x03, 0x02) << mac;
}

TEST_F(FaultTest, EmptyRouteTableChangesNoMasqueradeAndPassesGoOn) {
  // /proc/net/route is remade on every lookup, so no mount can cover it:
  // the daemon reads it empty while the switch file exists.
  const std::string empty_switch = BedFile("route-empty");
  CreateWlan0();
  DefaultRoute("wlan0", "192.0.2", 100);
  daemon_.Start({FaultInjector(), "WW_EMPTY_FILE=/proc/net/route",
                 "WW_EMPTY_FILE_SWITCH=" + empty_switch, "ASAN_OPTIONS=verify_asan_link_order=0"});
  ASSERT_TRUE(WaitForManagementSocket(Millis(5000)));
  RunWavectl({"create", "net", "secret12", "hbs", "nat"});
  ASSERT_TRUE(WaitForStatus("2\tSoftAP Running\tnet\tsecret12", Millis(10000)));
  ASSERT_EQ(daemon_.err.Count("Setting default route: wlan0\n"), 1);
  ASSERT_EQ(Masquerades(), 1);

  WriteFile(empty_switch, "");
  // A better default route through another interface: its event wakes a
  // supervision pass (each one logs its channel decision), which must not
  // see the route.
  const int passes = daemon_.err.Count("desired_mode = ");
  DefaultRoute("up0", "198.51.100", 10);
  ASSERT_TRUE(daemon_.err.WaitFor("desired_mode = ", Millis(5000), passes + 1))
      << daemon_.err.Text();
  EXPECT_TRUE(WaitForStatus("2\tSoftAP Running\tnet\tsecret12"));
  EXPECT_EQ(daemon_.err.Count("Setting default route"), 1);
  EXPECT_EQ(Masquerades(), 1);

  // Readable again: the next pass, woken by one more route, finds up0.
  unlink(empty_switch.c_str());
  ASSERT_EQ(Shell("$WW_REAL_IP route add default via 198.51.100.1 dev up0 metric 20"), 0);
  EXPECT_TRUE(daemon_.err.WaitFor("Setting default route: up0\n", Millis(5000)))
      << daemon_.err.Text();
  EXPECT_TRUE(WaitUntil([] { return Masquerades() == 2; }, Millis(3000)));
  EXPECT_TRUE(WaitForStatus("2\tSoftAP Running\tnet\tsecret12"));
}

TEST_F(FaultTest, MissingScanBlockParameterIsReportedAndStreamingGoesOn) {
  StartDaemon();
  Change(std::string("rm ") + kBlockScans, std::string("echo 0 > ") + kBlockScans);
  const int fd = ConnectStreaming();
  ASSERT_GE(fd, 0);
  const int thresholds = daemon_.err.Count("# iw dev wlan0 cqm rssi -75 4 = 0\n");
  ASSERT_TRUE(Send(fd, "streamon\twlan0"));
  EXPECT_TRUE(
      daemon_.err.WaitFor(std::string("Error: Could not open ") + kBlockScans + "\n", Millis(6000)))
      << daemon_.err.Text();
  // The threshold is set all the same, and the file is not made up.
  EXPECT_TRUE(
      daemon_.err.WaitFor("# iw dev wlan0 cqm rssi -75 4 = 0\n", Millis(3000), thresholds + 1));
  struct stat st {};
  EXPECT_NE(stat(kBlockScans, &st), 0);
  // The same connection is still served, and so is the management socket.
  ASSERT_TRUE(Send(fd, "bogus\twlan0"));
  EXPECT_TRUE(daemon_.err.WaitFor(
      "Error: got streaming command that was unidentified (bogus) (11)\n", Millis(3000)));
  close(fd);
  EXPECT_TRUE(daemon_.err.WaitFor(std::string("Error: Could not open ") + kBlockScans + "\n",
                                  Millis(6000), 2));
  EXPECT_TRUE(WaitForStatus("0\tIdle"));
}

TEST_F(FaultTest, Wlan0GoingAwayAndComingBackKeepsTheDaemonServing) {
  StartDaemon();
  RunWavectl({"create", "net", "secret12", "hbs", "nat"});
  ASSERT_TRUE(WaitForStatus("2\tSoftAP Running\tnet\tsecret12", Millis(10000)));
  DeleteWlan0();
  EXPECT_EQ(Reply("status"), "2\tSoftAP Running\tnet\tsecret12");
  EXPECT_NE(Reply("state").find("\"status\""), std::string::npos);
  // A supervision pass while it is gone, woken by a default route elsewhere.
  DefaultRoute("up0", "198.51.100", 100);
  ASSERT_TRUE(daemon_.err.WaitFor("Setting default route: up0\n", Millis(5000)))
      << daemon_.err.Text();
  EXPECT_TRUE(WaitForStatus("2\tSoftAP Running\tnet\tsecret12"));

  CreateWlan0();
  EXPECT_EQ(RunWavectl({"refresh"}).out, "1\tRefreshing\n");
  ASSERT_TRUE(daemon_.err.WaitFor("Opening apps.\n", Millis(10000), 2)) << daemon_.err.Text();
  EXPECT_TRUE(WaitForStatus("2\tSoftAP Running\tnet\tsecret12"));
  // The event monitor outlived the interface: a better default route
  // through the new wlan0 still wakes a pass.
  DefaultRoute("wlan0", "192.0.2", 0);
  EXPECT_TRUE(daemon_.out.WaitFor("Default route added\n", Millis(3000), 2));
  EXPECT_TRUE(daemon_.err.WaitFor("Setting default route: wlan0\n", Millis(5000)));
  EXPECT_TRUE(WaitForStatus("2\tSoftAP Running\tnet\tsecret12"));
}

}  // namespace
}  // namespace ww::bed
