// How the daemon ends, and what it refuses to do, through the real binary:
// a closed standard output, the stop signals, a second daemon started beside
// the first, and a flood of connections beyond the command slots.
#include <dirent.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "tests/system/fixture.h"

namespace ww::bed {
namespace {

using std::chrono::steady_clock;

constexpr const char* kBlockScans = "/sys/module/cfg80211/parameters/cfg80211_block_scans";
constexpr const char* kLaststate = "/var/run/wavewarden.laststate";
constexpr const char* kLock = "/run/wavewarden.lock";
constexpr const char* kRunning = "2\tSoftAP Running\tnet\tsecret12";
constexpr const char* kCreate = "create\tnet\tsecret12\thbs\tnat\n";
constexpr const char* kTooMany = "Error: Too many threads";

// Whether `signal_number` is in the signal set `field` ("SigBlk:" or
// "SigIgn:") of process `pid`.
bool InSignalSet(int pid, const std::string& field, int signal_number) {
  const std::string status = ReadFile("/proc/" + std::to_string(pid) + "/status");
  const size_t at = status.find(field);
  if (at == std::string::npos) {
    return false;
  }
  const unsigned long long set = std::strtoull(status.c_str() + at + field.size(), nullptr, 16);
  return ((set >> (signal_number - 1)) & 1) != 0;
}

// The refusals the daemon's log reports: one for each plain line, the count
// for each line that carries one.
long ReportedRefusals(const std::string& log) {
  long n = 0;
  const size_t prefix = std::strlen(kTooMany);
  for (size_t pos = log.find(kTooMany); pos != std::string::npos;
       pos = log.find(kTooMany, pos + prefix)) {
    if (log.compare(pos + prefix, 1, "\n") == 0) {
      ++n;
    } else if (log.compare(pos + prefix, 2, " (") == 0) {
      n += std::strtol(log.c_str() + pos + prefix + 2, nullptr, 10);
    }
  }
  return n;
}

class SignalsTest : public BedTest {
 protected:
  void TearDown() override {
    second_.Stop();
    daemon_.Stop();
    EndFakeServices();
    BedTest::TearDown();
  }

  // Starts the daemon and creates an access point; both fake services run.
  void CreateAccessPoint() {
    StartDaemon();
    ASSERT_EQ(RunWavectl({"create", "net", "secret12", "hbs", "nat"}).out, "1\tCreating\n");
    ASSERT_TRUE(WaitForStatus(kRunning, Millis(10000))) << daemon_.err.Text();
    ASSERT_TRUE(WaitUntil(
        [] { return !FakeServicePids("hostapd").empty() && !FakeServicePids("dnsmasq").empty(); },
        Millis(5000)))
        << FakeCalls();
  }

  DaemonProcess second_;
};

TEST_F(SignalsTest, AClosedStandardOutputDoesNotEndTheDaemon) {
  CreateWlan0();
  daemon_.Start({}, Stdout::kBroken);
  // Start-up writes its netlink notices to standard output before it serves.
  ASSERT_TRUE(WaitForManagementSocket(Millis(5000))) << daemon_.err.Text();
  EXPECT_TRUE(WaitForStatus("0\tIdle"));
  EXPECT_FALSE(daemon_.WaitExit(Millis(0)).has_value()) << daemon_.err.Text();
}

TEST_F(SignalsTest, StopSignalsResetScanBlockingStopTheServicesAndEndWithStatusZero) {
  const struct {
    int signal_number;
    const char* name;
  } rows[] = {{SIGTERM, "SIGTERM"}, {SIGINT, "SIGINT"}, {SIGHUP, "SIGHUP"}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    CreateAccessPoint();
    if (HasFatalFailure()) {
      return;
    }
    const std::vector<int> dnsmasq = FakeServicePids("dnsmasq");
    // The services inherit a blocked or ignored signal from the daemon
    // (killall could no longer stop hostapd), but not a handler.
    std::vector<int> services = FakeServicePids("hostapd");
    services.insert(services.end(), dnsmasq.begin(), dnsmasq.end());
    for (const int pid : services) {
      EXPECT_FALSE(InSignalSet(pid, "SigBlk:", row.signal_number)) << pid;
      EXPECT_FALSE(InSignalSet(pid, "SigIgn:", SIGPIPE)) << pid;
    }
    // As a client's stream would have left it.
    WriteFile(kBlockScans, "5\n");
    const size_t calls_before = FakeCalls().size();

    ASSERT_EQ(kill(daemon_.Pid(), row.signal_number), 0);
    EXPECT_EQ(daemon_.WaitExit(Millis(5000)), 0) << daemon_.err.Text();

    EXPECT_EQ(ReadFile(kBlockScans).substr(0, 1), "0");
    const std::string calls = FakeCalls().substr(calls_before);
    EXPECT_EQ(CountLines(calls, "killall hostapd"), 1) << calls;
    for (const int pid : dnsmasq) {
      EXPECT_TRUE(WaitUntil(
          [pid] {
            const std::string status = ReadFile("/proc/" + std::to_string(pid) + "/status");
            return status.empty() || status.find("State:\tZ") != std::string::npos;
          },
          Millis(1000)))
          << "dnsmasq " << pid << " still runs";
    }
    // The next start replays the access point.
    EXPECT_EQ(ReadFile(kLaststate), kCreate);
    EXPECT_EQ(daemon_.err.Count("Stopping on signal " + std::to_string(row.signal_number) + "\n"),
              1);

    EndFakeServices();
    ResetBed();
  }
}

TEST_F(SignalsTest, ASecondDaemonEndsAtOnceAndLeavesTheFirstAlone) {
  CreateAccessPoint();
  const std::vector<int> hostapd = FakeServicePids("hostapd");
  const std::string calls_before = FakeCalls();

  second_.Start();
  EXPECT_EQ(second_.WaitExit(Millis(5000)), 246);
  EXPECT_EQ(second_.err.Text(),
            "Error: another wavewarden is already running (lock /run/wavewarden.lock is held)\n");
  EXPECT_EQ(second_.out.Text(), "");

  EXPECT_TRUE(WaitForStatus(kRunning));
  EXPECT_EQ(FakeCalls(), calls_before);
  EXPECT_EQ(FakeServicePids("hostapd"), hostapd);

  // A deleted lock file lets no second daemon in: the first still answers.
  second_.Stop();
  ASSERT_EQ(unlink(kLock), 0);
  size_t said = second_.err.Text().size();
  second_.Start();
  EXPECT_EQ(second_.WaitExit(Millis(5000)), 246);
  EXPECT_EQ(second_.err.Text().substr(said),
            "Error: another wavewarden is already serving /var/run/wavewarden.socket\n");
  EXPECT_TRUE(WaitForStatus(kRunning));
  EXPECT_EQ(FakeCalls(), calls_before);

  // hostapd outlives a killed daemon; the lock must not live on in it.
  daemon_.Stop();
  ASSERT_FALSE(FakeServicePids("hostapd").empty());
  daemon_.Start();
  EXPECT_TRUE(WaitForManagementSocket(Millis(5000))) << daemon_.err.Text();

  // A link at the lock's path is not followed.
  daemon_.Stop();
  second_.Stop();
  ASSERT_EQ(Shell(std::string("rm -f ") + kLock + " && ln -s /run/ww-elsewhere " + kLock), 0);
  said = second_.err.Text().size();
  second_.Start();
  EXPECT_EQ(second_.WaitExit(Millis(5000)), 246);
  EXPECT_EQ(second_.err.Text().substr(said),
            "Error: the lock file /run/wavewarden.lock is a symbolic link; not following it\n");
  struct stat st {};
  EXPECT_NE(lstat("/run/ww-elsewhere", &st), 0);
  unlink(kLock);
}

TEST_F(SignalsTest, AFloodOfRefusedConnectionsIsReportedAboutOnceASecond) {
  constexpr int kClients = 200;  // against 128 command slots
  constexpr int kMaxRounds = 1000;
  constexpr Millis kFlood(2000);
  // A served client that sends nothing is closed after the daemon's 1 s
  // read time-out; a refused one at once.
  constexpr Millis kRefusedWithin(500);
  StartDaemon();

  std::atomic<long> refused{0};
  const auto end = steady_clock::now() + kFlood;
  std::vector<std::thread> clients;
  for (int i = 0; i < kClients; ++i) {
    clients.emplace_back([&] {
      for (int round = 0; round < kMaxRounds && steady_clock::now() < end; ++round) {
        const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const timeval tv{3, 0};  // bounds the connect, too
        setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::strncpy(addr.sun_path, kSocketPath, sizeof addr.sun_path - 1);
        const auto start = steady_clock::now();
        if (connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0) {
          char byte = 0;
          if (read(fd, &byte, 1) == 0 && steady_clock::now() - start < kRefusedWithin) {
            ++refused;
          }
        }
        close(fd);
      }
    });
  }
  for (std::thread& c : clients) {
    c.join();
  }
  ASSERT_GE(refused.load(), kClients - 128);

  // Refusals held back are reported within a second, with no connection.
  EXPECT_TRUE(WaitUntil([&] { return ReportedRefusals(daemon_.err.Text()) >= refused.load(); },
                        Millis(3000)));
  EXPECT_EQ(ReportedRefusals(daemon_.err.Text()), refused.load());
  EXPECT_LE(daemon_.err.Count(kTooMany), 5) << refused.load() << " refused";
  EXPECT_TRUE(WaitForStatus("0\tIdle"));
}

}  // namespace
}  // namespace ww::bed
