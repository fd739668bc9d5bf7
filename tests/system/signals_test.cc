// How the daemon ends, and what it refuses to do, through the real binary:
// a closed standard output, the stop signals and a second daemon started
// beside the first.
#include <dirent.h>
#include <signal.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "tests/system/fixture.h"

namespace ww::bed {
namespace {

constexpr const char* kBlockScans = "/sys/module/cfg80211/parameters/cfg80211_block_scans";
constexpr const char* kLaststate = "/var/run/wavewarden.laststate";
constexpr const char* kRunning = "2\tSoftAP Running\tnet\tsecret12";
constexpr const char* kCreate = "create\tnet\tsecret12\thbs\tnat\n";

int CountLines(const std::string& text, const std::string& line) {
  int n = 0;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);) {
    n += l == line ? 1 : 0;
  }
  return n;
}

// The pids of the running fake `name` (hostapd or dnsmasq); a zombie has no
// executable and is not listed.
std::vector<int> FakeServicePids(const std::string& name) {
  std::vector<int> pids;
  DIR* proc = opendir("/proc");
  if (proc == nullptr) {
    return pids;
  }
  const std::string fake = std::string(WW_FAKEBIN_DIR) + "/" + name;
  while (const dirent* e = readdir(proc)) {
    const int pid = std::atoi(e->d_name);
    char exe[PATH_MAX] = {};
    const std::string link = std::string("/proc/") + e->d_name + "/exe";
    if (pid > 0 && readlink(link.c_str(), exe, sizeof exe - 1) > 0 && exe == fake) {
      pids.push_back(pid);
    }
  }
  closedir(proc);
  return pids;
}

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
  EXPECT_EQ(second_.WaitExit(Millis(5000)), 248);
  EXPECT_EQ(second_.err.Text(),
            "Error: another wavewarden is already running (lock /run/wavewarden.lock is held)\n");
  EXPECT_EQ(second_.out.Text(), "");

  EXPECT_TRUE(WaitForStatus(kRunning));
  EXPECT_EQ(FakeCalls(), calls_before);
  EXPECT_EQ(FakeServicePids("hostapd"), hostapd);

  // hostapd outlives a killed daemon; the lock must not live on in it.
  daemon_.Stop();
  ASSERT_FALSE(FakeServicePids("hostapd").empty());
  daemon_.Start();
  EXPECT_TRUE(WaitForManagementSocket(Millis(5000))) << daemon_.err.Text();
}

}  // namespace
}  // namespace ww::bed
