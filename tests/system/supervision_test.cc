// What may stall the daemon, through the real binary: a helper program that
// hangs, a real-time clock that is an hour off, a stop signal during a hang,
// a client's request racing the boot replay, and the service manager's
// readiness, watchdog and status messages.
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "tests/system/fixture.h"

namespace ww::bed {
namespace {

using std::chrono::steady_clock;

constexpr const char* kCreate = "create\tnet\tsecret12\thbs\tnat";
constexpr const char* kRunning = "2\tSoftAP Running\tnet\tsecret12";
constexpr const char* kOpenPorts =
    "firewall-cmd --zone=nm-shared --add-port=1024-65535/tcp --add-port=1024-65535/udp";

// Whether process `pid` has gone (or is only a zombie).
bool Gone(int pid) {
  const std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
  return stat.empty() || stat.find(") Z ") != std::string::npos;
}

// A hook that writes its pid into `pid_file` and hangs for `seconds` when its
// arguments contain `match`.
std::string HangingHook(const std::string& match, const std::string& pid_file, int seconds) {
  return "case \"$*\" in *" + match + "*) echo $$ > " + pid_file + "; sleep " +
         std::to_string(seconds) + ";; esac\n";
}

class SupervisionTest : public BedTest {
 protected:
  void TearDown() override {
    daemon_.Stop();
    EndFakeServices();
    BedTest::TearDown();
  }
  // The pid a hanging hook wrote, once it hangs; 0 if it never did.
  static int HungPid(const std::string& pid_file) {
    int pid = 0;
    WaitUntil(
        [&] {
          pid = std::atoi(ReadFile(pid_file).c_str());
          return pid > 0;
        },
        Millis(20000));
    return pid;
  }
};

// firewall-cmd hanging for two minutes (a firewalld stuck on D-Bus) holds the
// creation only until its deadline; the pass goes on as for a failed
// command, and runs no further firewall-cmd that would hang as long.
TEST_F(SupervisionTest, AHungHelperHoldsTheAccessPointOnlyUntilItsDeadline) {
  const std::string pid_file = BedFile("hung.pid");
  Hook("firewall-cmd", HangingHook("add-port", pid_file, 120));
  StartDaemon();
  ASSERT_EQ(Exchange(kCreate), "1\tCreating");
  const int hung = HungPid(pid_file);
  ASSERT_GT(hung, 0) << daemon_.err.Text();
  const auto hung_at = steady_clock::now();
  // Clients are answered meanwhile.
  EXPECT_EQ(Exchange(std::string("status\0", 7)), "1\tContinuing Setup");

  ASSERT_TRUE(WaitForStatus(kRunning, Millis(45000))) << daemon_.err.Text();
  EXPECT_LT(steady_clock::now() - hung_at, Patience(Millis(40000)));
  EXPECT_TRUE(WaitUntil([&] { return Gone(hung); }, Millis(2000))) << "the hung hook still runs";
  const std::string err = daemon_.err.Text();
  EXPECT_EQ(CountLines(err, std::string("Error: ") + kOpenPorts + " timed out after 30 s"), 1)
      << err;
  EXPECT_NE(err.find("Error: firewall-cmd --zone=nm-shared --add-interface=wlanap skipped: "
                     "firewall-cmd timed out in this pass\n"),
            std::string::npos)
      << err;
  EXPECT_EQ(CountLines(FakeCalls(), "firewall-cmd --zone=nm-shared --add-interface=wlanap"), 0);
}

// With the real-time clock an hour ahead of the time the waits measure (as
// after a step back while a wait was running), supervision still runs every
// 20 s: a killed hostapd is reported within two passes.
TEST_F(SupervisionTest, AClockAnHourOffDoesNotStretchSupervision) {
  CreateWlan0();
  daemon_.Start(
      {FaultInjector(), "WW_SHIFT_REALTIME=3600", "ASAN_OPTIONS=verify_asan_link_order=0"});
  ASSERT_TRUE(WaitForManagementSocket(Millis(5000))) << daemon_.err.Text();
  ASSERT_EQ(Exchange(kCreate), "1\tCreating");
  ASSERT_TRUE(WaitForStatus(kRunning, Millis(10000))) << daemon_.err.Text();
  const std::vector<int> hostapd = FakeServicePids("hostapd");
  ASSERT_EQ(hostapd.size(), 1u);
  ASSERT_EQ(kill(hostapd[0], SIGKILL), 0);
  EXPECT_TRUE(daemon_.err.WaitFor("hostapd failed (-1 1)\n", Millis(45000))) << daemon_.err.Text();
  EXPECT_TRUE(WaitForStatus("1\thostapd failed (-1 1).")) << daemon_.err.Text();
}

// A stop signal during a hung helper ends the helper at once: the daemon
// stops the services and ends with status 0 within 10 s.
TEST_F(SupervisionTest, StopSignalsEndAHungHelperAndTheDaemonWithin10Seconds) {
  for (const int signal_number : {SIGTERM, SIGINT}) {
    SCOPED_TRACE(signal_number);
    StartDaemon();
    ASSERT_EQ(Exchange(kCreate), "1\tCreating");
    ASSERT_TRUE(WaitForStatus(kRunning, Millis(10000))) << daemon_.err.Text();
    const std::string pid_file = BedFile("hung.pid");
    unlink(pid_file.c_str());
    // hostapd is running again when the refresh's launch hangs.
    Hook("iw", HangingHook("4addr", pid_file, 60));
    ASSERT_EQ(Exchange("refresh"), "1\tRefreshing");
    const int hung = HungPid(pid_file);
    ASSERT_GT(hung, 0) << daemon_.err.Text();
    const size_t calls_before = FakeCalls().size();
    const size_t said_before = daemon_.err.Text().size();

    const auto signalled_at = steady_clock::now();
    ASSERT_EQ(kill(daemon_.Pid(), signal_number), 0);
    EXPECT_EQ(daemon_.WaitExit(Millis(10000)), 0) << daemon_.err.Text();
    EXPECT_LT(steady_clock::now() - signalled_at, Patience(Millis(10000)));
    EXPECT_TRUE(Gone(hung)) << "the hung helper outlived the daemon";
    EXPECT_EQ(CountLines(FakeCalls().substr(calls_before), "killall hostapd"), 1);
    EXPECT_NE(daemon_.err.Text().find(
                  "Error: iw dev wlan0 set 4addr off ended: the daemon is stopping\n", said_before),
              std::string::npos)
        << daemon_.err.Text();

    unlink(BedFile("hook/iw").c_str());
    daemon_.Stop();
    EndFakeServices();
    ResetBed();
  }
}

// A client's teardown answered while the boot replay's wavectl is on its way
// is not undone by the replayed create.
TEST_F(SupervisionTest, TheBootReplayNeverUndoesANewerRequest) {
  // A wavectl that marks its start and takes its time.
  const std::string slow = BedFile("slow");
  ASSERT_EQ(Shell("mkdir -p " + slow), 0);
  const std::string started = BedFile("replay-started");
  WriteFile(slow + "/wavectl", "#!/bin/sh\ntouch " + started + "\nsleep 2\nexec " + ProgramDir() +
                                   "/wavectl \"$@\"\n");
  chmod((slow + "/wavectl").c_str(), 0755);
  WriteFile("/var/run/wavewarden.laststate", std::string(kCreate) + "\n");

  CreateWlan0();
  const char* path = std::getenv("PATH");
  daemon_.Start({"PATH=" + slow + ":" + (path != nullptr ? path : "/usr/bin:/bin")});
  ASSERT_TRUE(WaitForManagementSocket(Millis(5000))) << daemon_.err.Text();
  struct stat st {};
  ASSERT_TRUE(WaitUntil([&] { return stat(started.c_str(), &st) == 0; }, Millis(40000)))
      << daemon_.err.Text();
  EXPECT_EQ(Exchange("teardown"), "1\tTearing down");

  ASSERT_TRUE(
      daemon_.err.WaitFor("# wavectl 'create' 'net' 'secret12' 'hbs' 'nat' = ", Millis(10000)))
      << daemon_.err.Text();
  EXPECT_EQ(daemon_.err.Count("Replay of the last request skipped: a newer request was answered\n"),
            1)
      << daemon_.err.Text();
  EXPECT_EQ(ReadFile("/var/run/wavewarden.laststate"), "teardown\n");
  EXPECT_TRUE(WaitForStatus("0\tDisabled.")) << daemon_.err.Text();
  EXPECT_TRUE(FakeServicePids("hostapd").empty());
}

// The service manager's side: a datagram socket like systemd's.
class NotifyReader {
 public:
  explicit NotifyReader(const std::string& path) : path_(path) {
    unlink(path.c_str());
    fd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
    (void)bind(fd_, reinterpret_cast<const sockaddr*>(&addr), sizeof addr);
    timeval timeout{0, 100000};
    (void)setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  }
  ~NotifyReader() {
    close(fd_);
    unlink(path_.c_str());
  }
  NotifyReader(const NotifyReader&) = delete;
  NotifyReader& operator=(const NotifyReader&) = delete;

  // Reads messages until one equals `wanted` (true) or `timeout` passes;
  // `on_each` sees every message as it arrives.
  template <typename OnEach>
  bool ReadUntil(const std::string& wanted, Millis timeout, OnEach on_each) {
    const auto end = steady_clock::now() + Patience(timeout);
    while (steady_clock::now() < end) {
      char buf[2048];
      const ssize_t got = recv(fd_, buf, sizeof buf, 0);
      if (got <= 0) {
        continue;
      }
      const std::string message(buf, static_cast<size_t>(got));
      messages.push_back(message);
      on_each(message);
      if (message == wanted) {
        return true;
      }
    }
    return false;
  }
  bool ReadUntil(const std::string& wanted, Millis timeout) {
    return ReadUntil(wanted, timeout, [](const std::string&) {});
  }
  int Count(const std::string& message) const {
    int n = 0;
    for (const std::string& m : messages) {
      n += m == message ? 1 : 0;
    }
    return n;
  }

  std::vector<std::string> messages;

 private:
  std::string path_;
  int fd_ = -1;
};

// Ready only once the management socket serves; the watchdog hears from the
// daemon while it waits for wlan0 and while it idles; the status shows the
// state without the passphrase; the programs it runs never get the socket.
TEST_F(SupervisionTest, TheServiceManagerLearnsReadinessLifeAndStateButNoPassphrase) {
  const std::string socket_path = BedFile("notify.sock");
  NotifyReader manager(socket_path);
  daemon_.Start({"NOTIFY_SOCKET=" + socket_path, "WATCHDOG_USEC=2000000"});
  EXPECT_TRUE(manager.ReadUntil("STATUS=Waiting for wlan0", Millis(5000)));
  EXPECT_TRUE(manager.ReadUntil("WATCHDOG=1", Millis(3000)));
  EXPECT_EQ(manager.Count("READY=1"), 0);

  CreateWlan0();
  bool served_when_ready = false;
  ASSERT_TRUE(manager.ReadUntil("READY=1", Millis(5000), [&](const std::string& m) {
    if (m == "READY=1") {
      const int fd = ConnectManagement();
      served_when_ready = fd >= 0;
      if (fd >= 0) {
        close(fd);
      }
    }
  })) << daemon_.err.Text();
  EXPECT_TRUE(served_when_ready);
  // The first pass may end before the socket is ready.
  EXPECT_TRUE(manager.Count("STATUS=Idle") > 0 || manager.ReadUntil("STATUS=Idle", Millis(5000)));
  // Idle, the watchdog hears from it every second (half its period).
  const int beats = manager.Count("WATCHDOG=1");
  (void)manager.ReadUntil("never", Millis(3500));
  EXPECT_GE(manager.Count("WATCHDOG=1") - beats, 2);

  ASSERT_EQ(Exchange(kCreate), "1\tCreating");
  EXPECT_TRUE(manager.ReadUntil("STATUS=SoftAP Running", Millis(10000))) << daemon_.err.Text();
  for (const std::string& m : manager.messages) {
    EXPECT_EQ(m.find("secret12"), std::string::npos) << m;
  }
  const std::vector<int> hostapd = FakeServicePids("hostapd");
  ASSERT_FALSE(hostapd.empty());
  const std::string environment = ReadFile("/proc/" + std::to_string(hostapd[0]) + "/environ");
  EXPECT_EQ(environment.find("NOTIFY_SOCKET="), std::string::npos);
  EXPECT_EQ(environment.find("WATCHDOG_USEC="), std::string::npos);

  ASSERT_EQ(kill(daemon_.Pid(), SIGTERM), 0);
  EXPECT_TRUE(manager.ReadUntil("STOPPING=1", Millis(5000)));
  EXPECT_EQ(daemon_.WaitExit(Millis(10000)), 0);
}

}  // namespace
}  // namespace ww::bed
