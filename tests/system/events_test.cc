// The streaming socket, route events and the USB gadget switch, through
// the real daemon in the bed.
#include <dirent.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "tests/system/fixture.h"

namespace ww::bed {
namespace {

constexpr const char* kStreamingSocket = "/var/run/wavewarden.streaming.socket";
constexpr const char* kBlockScans = "/sys/module/cfg80211/parameters/cfg80211_block_scans";

using EventsTest = BedTest;

int ConnectStreaming() {
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::strncpy(addr.sun_path, kStreamingSocket, sizeof addr.sun_path - 1);
  if (connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

TEST_F(EventsTest, StreamingCommandsRewriteTheScanBlockValue) {
  StartDaemon();
  struct stat st {};
  ASSERT_TRUE(WaitUntil([&] { return stat(kStreamingSocket, &st) == 0; }, Millis(3000)));
  EXPECT_EQ(st.st_mode & 0777, 0777u);
  const int fd = ConnectStreaming();
  ASSERT_GE(fd, 0);
  const std::string on = "streamon\twlan0";
  ASSERT_EQ(write(fd, on.data(), on.size()), static_cast<ssize_t>(on.size()));
  // This kernel reports no frequency for the veth: nothing counts.
  EXPECT_TRUE(daemon_.err.WaitFor("scanblock wlan0 -> -1.000000\n", Millis(6000)));
  const std::string bogus = "bogus\twlan0\n";
  ASSERT_EQ(write(fd, bogus.data(), bogus.size()), static_cast<ssize_t>(bogus.size()));
  EXPECT_TRUE(daemon_.err.WaitFor(
      "Error: got streaming command that was unidentified (bogus) (12)\n", Millis(3000)));
  const int updates = daemon_.err.Count(std::string("Updating ") + kBlockScans + " = 0\n");
  close(fd);  // leaving clears the table
  EXPECT_TRUE(daemon_.err.WaitFor(std::string("Updating ") + kBlockScans + " = 0\n", Millis(6000),
                                  updates + 1));
  EXPECT_EQ(ReadFile(kBlockScans), "0\n");  // one digit over the bed's "0\n"
  EXPECT_NE(FakeCalls().find("iw dev wlan0 cqm rssi -75 4\n"), std::string::npos);
}

TEST_F(EventsTest, ANewDefaultRouteRunsAPass) {
  StartDaemon();
  RunWavectl({"create", "net", "secret12", "hbs", "nat"});
  ASSERT_TRUE(WaitForStatus("2\tSoftAP Running\tnet\tsecret12", Millis(10000)));
  // Children ending over and over (each refresh stops and starts dnsmasq)
  // must not stop the event thread.
  for (int i = 0; i < 3; ++i) {
    RunWavectl({"refresh"});
    ASSERT_TRUE(daemon_.err.WaitFor("Opening apps.\n", Millis(10000), i + 2));
  }
  ASSERT_EQ(Shell("$WW_REAL_IP link set wlan0 up && $WW_REAL_IP addr add 192.0.2.2/24 dev wlan0 "
                  "&& $WW_REAL_IP route add default via 192.0.2.1 dev wlan0"),
            0);
  EXPECT_TRUE(daemon_.out.WaitFor("Default route added\n", Millis(3000)));
  EXPECT_TRUE(daemon_.err.WaitFor("Setting default route: wlan0\n", Millis(5000)));
  EXPECT_TRUE(WaitUntil(
      [] {
        return FakeCalls().find("firewall-cmd --zone=public --add-masquerade") != std::string::npos;
      },
      Millis(3000)));
}

class GadgetTest : public BedTest {
 protected:
  void Gadget() {
    Shell(
        "mkdir -p /sys/kernel/config/usb_gadget/g1/functions "
        "/sys/kernel/config/usb_gadget/g1/configs/c.1 && "
        ": > /sys/kernel/config/usb_gadget/g1/UDC");
  }
  std::string Enable() {
    const std::optional<std::string> reply = Exchange(std::string("enablencm\0", 10));
    return reply.value_or("<no connection>");
  }
};

TEST_F(GadgetTest, NoControllerIsSaid) {
  Shell("mkdir -p /sys/class/udc/.hidden");
  StartDaemon();
  EXPECT_EQ(Enable(), "No UDC devices available.");
  EXPECT_TRUE(daemon_.err.WaitFor("No UDC devices available.\n", Millis(2000)));
}

TEST_F(GadgetTest, BindsTheFirstControllerAndWarnsAboutAnExistingLink) {
  Shell("mkdir -p /sys/class/udc/musb-hdrc.0 /sys/class/udc/dwc3.1");
  Gadget();
  std::string first;
  if (DIR* d = opendir("/sys/class/udc")) {
    while (const dirent* e = readdir(d)) {
      if (e->d_name[0] != '.') {
        first = e->d_name;
        break;
      }
    }
    closedir(d);
  }
  StartDaemon();
  EXPECT_EQ(Enable(), "Entered NC Mmode");
  EXPECT_EQ(ReadFile("/sys/kernel/config/usb_gadget/g1/UDC"), first);
  EXPECT_TRUE(daemon_.err.WaitFor("Found USB UDC at " + first + "\n", Millis(2000)));
  struct stat st {};
  EXPECT_EQ(lstat("/sys/kernel/config/usb_gadget/g1/configs/c.1/ncm.usb0", &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_NE(FakeCalls().find("ifconfig usb0 up\nsystemctl restart adbd\n"), std::string::npos);
  EXPECT_EQ(Enable(), "Entered NC Mmode");
  EXPECT_TRUE(
      daemon_.err.WaitFor("Warning: adding symlink for NCM mode 17 (File exists)\n", Millis(2000)));
}

TEST_F(GadgetTest, MissingBindingFileCannotBeUnhooked) {
  Shell("mkdir -p /sys/class/udc/dwc3.1");
  StartDaemon();
  EXPECT_EQ(Enable(), "Error: can't unhook UDC.");
  EXPECT_EQ(FakeCalls().find("systemctl"), std::string::npos);
}

}  // namespace
}  // namespace ww::bed
