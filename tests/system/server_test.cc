// The daemon's start-up and command server, through the real binary.
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <vector>

#include "tests/system/fixture.h"

namespace ww::bed {
namespace {

using std::chrono::steady_clock;

constexpr const char* kUnknown =
    "Unknown command / try 'enablencm' 'teardown' 'create' 'state' or 'status'";

using StartupTest = BedTest;

TEST_F(StartupTest, AnswersIdleOnceRunning) {
  StartDaemon();
  EXPECT_TRUE(WaitForStatus("0\tIdle")) << daemon_.err.Text();
  struct stat st {};
  ASSERT_EQ(stat(kSocketPath, &st), 0);
  EXPECT_TRUE(S_ISSOCK(st.st_mode));
  EXPECT_EQ(st.st_mode & 0777, 0777u);
}

TEST_F(StartupTest, WaitsForWlan0AndStartsSoonAfterItAppears) {
  daemon_.Start();
  ASSERT_TRUE(daemon_.out.WaitFor("wlan0 does not exist, sleeping\n", Millis(4000), 3));
  EXPECT_LT(ConnectManagement(), 0);
  // One line a second, nothing else.
  EXPECT_EQ(daemon_.err.Text(), "");
  const auto created = steady_clock::now();
  CreateWlan0();
  ASSERT_TRUE(WaitForManagementSocket(Millis(3000)));
  EXPECT_LT(steady_clock::now() - created, Patience(Millis(1500)));
}

TEST_F(StartupTest, OldDiplexerMarkerIsReportedWithoutReadingTheModel) {
  WriteFile("/root/zzzOldDiplexer", "");
  StartDaemon();
  EXPECT_TRUE(daemon_.out.WaitFor("OLD DIPLEXER\n", Millis(2000)));
  EXPECT_EQ(daemon_.err.Count("/proc/device-tree/model"), 0);
}

TEST_F(StartupTest, StaleSocketFileIsRemovedBeforeBind) {
  WriteFile(kSocketPath, "left over by an earlier run");
  StartDaemon();
  EXPECT_TRUE(WaitForStatus("0\tIdle"));
}

TEST_F(StartupTest, BindFailureEndsWithStatus250) {
  // A non-empty directory cannot be removed, so the bind finds the path taken.
  ASSERT_EQ(Shell(std::string("mkdir -p ") + kSocketPath + "/blocker"), 0);
  CreateWlan0();
  daemon_.Start();
  const std::optional<int> status = daemon_.WaitExit(Millis(5000));
  ASSERT_TRUE(status.has_value());
  EXPECT_EQ(*status, 250);
  EXPECT_EQ(daemon_.err.Count("Error: management socket failed to bind.\n"), 1);
}

// Starts the daemon with a failing system call and returns its exit status.
std::optional<int> StartFailing(DaemonProcess& daemon, const std::string& fault) {
  CreateWlan0();
  // The injector is preloaded ahead of a sanitizer runtime; let that be.
  daemon.Start({FaultInjector(), fault, "ASAN_OPTIONS=verify_asan_link_order=0"});
  return daemon.WaitExit(Millis(5000));
}

TEST_F(StartupTest, OperationalThreadWithoutInterfaceQueryEndsTheDaemon) {
  // The raw channel opens; the operational thread's own netlink socket fails.
  CreateWlan0();
  daemon_.Start({FaultInjector(), "WW_FAIL_SOCKET_DOMAIN=16", "WW_FAIL_SOCKET_SKIP=1",
                 "ASAN_OPTIONS=verify_asan_link_order=0"});
  EXPECT_EQ(daemon_.WaitExit(Millis(5000)), 255);
  // Other threads' netlink sockets fail too and may interleave their lines.
  EXPECT_TRUE(
      daemon_.err.WaitFor("Error initializing netlink in OperationalThread\n", Millis(2000)))
      << daemon_.err.Text();
  EXPECT_GE(daemon_.err.Count("netlink connect failed\n"), 1);
}

TEST_F(StartupTest, StreamingSocketFailureEndsTheDaemonWith251) {
  // The probe for a daemon already serving is the first UNIX socket, the
  // management socket the second, the streaming one next.
  CreateWlan0();
  daemon_.Start({FaultInjector(), "WW_FAIL_SOCKET_DOMAIN=1", "WW_FAIL_SOCKET_SKIP=2",
                 "ASAN_OPTIONS=verify_asan_link_order=0"});
  EXPECT_EQ(daemon_.WaitExit(Millis(5000)), 251);
  EXPECT_EQ(daemon_.err.Count("Error: can't create streaming socket.\n"), 1);
}

TEST_F(StartupTest, UnreachableKernelNetlinkIsFatal) {
  EXPECT_EQ(StartFailing(daemon_, "WW_FAIL_SOCKET_DOMAIN=16"), 255);
  // The scan-block table is cleared before the channel opens.
  EXPECT_EQ(daemon_.err.Text(),
            "Failed to open /proc/device-tree/model\n"
            "Updating /sys/module/cfg80211/parameters/cfg80211_block_scans = 0\n"
            "# iw dev wlan0 cqm rssi -75 4 = 0\n"
            "Error: Could not open netlink socket.\n"
            "FATAL ERROR: Could not communicate to kernel's netlink\n");
}

TEST_F(StartupTest, ManagementSocketFailuresHaveTheirOwnStatuses) {
  EXPECT_EQ(StartFailing(daemon_, "WW_FAIL_SOCKET_DOMAIN=1"), 251);
  EXPECT_EQ(daemon_.err.Count("Error: management socket not created.\n"), 1);
  ResetBed();
  DaemonProcess second;
  EXPECT_EQ(StartFailing(second, "WW_FAIL_LISTEN=1"), 249);
  EXPECT_EQ(second.err.Count("Error: management socket failed to listen.\n"), 1);
}

TEST_F(StartupTest, StartsWithoutTheNl80211Family) {
  // This machine has no wireless stack: the controller does not know the
  // family, and the daemon serves all the same.
  StartDaemon();
  EXPECT_TRUE(daemon_.out.WaitFor("TYPE: 2 (0) ", Millis(2000)));
  EXPECT_TRUE(WaitForStatus("0\tIdle"));
}

using DispatchTest = BedTest;

TEST_F(DispatchTest, WholeRequestWordsMustStandAlone) {
  StartDaemon();
  EXPECT_EQ(Exchange("status\n"), kUnknown);
  EXPECT_EQ(Exchange("state\tx"), kUnknown);
  EXPECT_EQ(Exchange(""), kUnknown);
}

TEST_F(DispatchTest, TeardownWithFurtherWordsIsATeardown) {
  StartDaemon();
  EXPECT_EQ(Exchange("teardown\tnow\tplease"), "1\tTearing down");
  EXPECT_TRUE(WaitForStatus("0\tDisabled."));
  EXPECT_EQ(daemon_.err.Count("Read: 19 [teardown\tnow\tplease]\n"), 1);
}

TEST_F(DispatchTest, RefreshAndDelayedRefreshAreConsumedOnce) {
  StartDaemon();
  ASSERT_TRUE(WaitForStatus("0\tIdle"));
  EXPECT_EQ(Exchange(std::string("refresh\t--dump-keys\0", 20)), "1\tRefreshing");
  EXPECT_TRUE(WaitForStatus("0\tDisabled."));
  EXPECT_EQ(daemon_.err.Count("refresh_teardown_flag_value = 1\n"), 1);

  const auto asked = steady_clock::now();
  EXPECT_EQ(Exchange("delayrefresh"), "1\tRefreshing");
  EXPECT_EQ(Exchange(std::string("status\0", 7)), "1\tDisabled.");
  ASSERT_TRUE(daemon_.err.WaitFor("refresh_teardown_flag_value = 4\n", Millis(2000)));
  EXPECT_TRUE(WaitForStatus("0\tDisabled.", Millis(6000)));
  EXPECT_GE(steady_clock::now() - asked, Millis(3000));
}

TEST_F(DispatchTest, StateRequestsAreNotLoggedButOthersAre) {
  StartDaemon();
  Exchange("state");
  Exchange("stateless\tthing");
  Exchange(std::string("status\0", 7));
  ASSERT_TRUE(daemon_.err.WaitFor("Read: 7 [status]\n", Millis(2000)));
  EXPECT_EQ(daemon_.err.Count("[state"), 0);
}

TEST_F(DispatchTest, FallbackCountryCodeAnswersFirstAndTakesTwoLetters) {
  StartDaemon();
  EXPECT_EQ(Exchange("set-fallback-country-code\tFRX"), "1\tSetting");
  EXPECT_TRUE(daemon_.err.WaitFor("set-fallback-country-code: FR\n", Millis(2000)));
  EXPECT_EQ(Exchange("set-fallback-country-code\tF"), "0\tInvalid Parameters");
  EXPECT_EQ(Exchange("set-fallback-country-code"), "0\tInvalid Parameters");
}

TEST_F(DispatchTest, ChannelListWithoutACountryIsTheErrorReply) {
  // No wireless stack here and no country adopted: the code is "00".
  StartDaemon();
  EXPECT_EQ(Exchange("get-channels"), "{\"country\":\"00\",\"error\":\"No channels in domain\"}\n");
  EXPECT_TRUE(daemon_.err.WaitFor("error: lookup failed for country '00'\n", Millis(2000)));
  EXPECT_EQ(daemon_.err.Count("WARNING: regdb_find couldn't find country code (00)\n"), 1);
  EXPECT_EQ(Exchange("get-channels\tDE").value_or("").substr(0, 7), "Unknown");
}

TEST_F(DispatchTest, OverlongRequestIsCutAt1024Bytes) {
  StartDaemon();
  const std::string request(3000, 'a');
  EXPECT_EQ(Exchange(request), kUnknown);
  // The line is written before the reply but read from the pipe apart.
  const std::string line = "Read: 1024 [" + std::string(1024, 'a') + "]\n";
  EXPECT_TRUE(daemon_.err.WaitFor(line, Millis(2000)));
  EXPECT_EQ(daemon_.err.Count(line), 1);
}

TEST_F(DispatchTest, SilentClientIsClosedAfterAboutOneSecond) {
  StartDaemon();
  const int fd = ConnectManagement();
  ASSERT_GE(fd, 0);
  timeval tv{5, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  const auto start = steady_clock::now();
  char buf[16];
  EXPECT_EQ(read(fd, buf, sizeof buf), 0);
  const auto waited = steady_clock::now() - start;
  close(fd);
  EXPECT_GE(waited, Millis(900));
  EXPECT_LT(waited, Millis(2500));
  EXPECT_TRUE(daemon_.err.WaitFor("read(...) failed with code -1\n", Millis(1000)));
}

// Opens `n` connections that send nothing, so each holds a slot for a second.
std::vector<int> OpenSilentConnections(int n) {
  std::vector<int> fds;
  for (int i = 0; i < n; ++i) {
    const int fd = ConnectManagement();
    if (fd >= 0) {
      fds.push_back(fd);
    }
  }
  return fds;
}

void CloseAll(std::vector<int>& fds) {
  for (const int fd : fds) {
    close(fd);
  }
  fds.clear();
}

TEST_F(DispatchTest, The129thConnectionIsClosedUnansweredAndSlotsAreReused) {
  StartDaemon();
  for (int round = 1; round <= 2; ++round) {
    std::vector<int> held = OpenSilentConnections(128);
    ASSERT_EQ(held.size(), 128u);
    std::this_thread::sleep_for(Millis(300));
    const auto start = steady_clock::now();
    const std::optional<std::string> reply = Exchange("", Millis(3000));
    ASSERT_TRUE(reply.has_value());
    EXPECT_EQ(*reply, "");
    // Closed at once, not after the read time-out of a command thread.
    EXPECT_LT(steady_clock::now() - start, Millis(700));
    EXPECT_TRUE(daemon_.err.WaitFor("Error: Too many threads\n", Millis(1000), round));
    // Serving goes on once the held threads time out.
    EXPECT_TRUE(daemon_.err.WaitFor("read(...) failed with code -1\n", Millis(3000), 128 * round));
    EXPECT_TRUE(WaitForStatus("0\tIdle"));
    CloseAll(held);
  }
  EXPECT_EQ(daemon_.err.Count("Error: Too many threads\n"), 2);
}

}  // namespace
}  // namespace ww::bed
