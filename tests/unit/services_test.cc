// Service supervision: the process lookups over a made-up /proc, the soft
// kill of a real child, and what stop, clean-up, launch and check ask of the
// shell, with recorded commands instead of real ones.
#include "daemon/lifecycle/services.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "daemon/core/startup.h"
#include "daemon/lifecycle/operational_thread.h"
#include "daemon/lifecycle/shell.h"
#include "tests/unit/test_daemon.h"

namespace ww {
namespace {

using testing::TempDir;

constexpr const char* kHostapdCommand =
    "hostapd  /var/run/softap_hostapd.conf > /var/log/hostapd.log 2>&1 &";
constexpr const char* kDnsmasqCommand =
    "dnsmasq -k -x /var/run/softap_dnsmasq.pid -C /var/run/softap_dnsmasq.conf -l "
    "/var/run/softap_dnsmasq.leases --log-facility /var/log/dnsmasq_ap.log --log-debug";

// The shipped daemon's files, the commands' own text.
TEST(ServiceCommands, NameTheDaemonsFiles) {
  EXPECT_EQ(HostapdCommand(DaemonPaths{}, false), kHostapdCommand);
  EXPECT_EQ(HostapdCommand(DaemonPaths{}, true),
            "hostapd -d -K /var/run/softap_hostapd.conf > /var/log/hostapd.log 2>&1 &");
  EXPECT_EQ(DnsmasqCommand(DaemonPaths{}), kDnsmasqCommand);
}

std::string Config(int32_t route) {
  char text[512];
  const size_t n = DnsmasqConfig(route, text, sizeof text);
  return {text, n};
}

TEST(DnsmasqConfig, NorouteOffersNeitherRouterNorDns) {
  const std::string common =
      "interface=wlanap\nexcept-interface=lo\ndhcp-range=10.35.78.20,10.35.78.30,12h\n"
      "bind-interfaces\n";
  EXPECT_EQ(Config(kRouteNat), common);
  EXPECT_EQ(Config(kRouteNone), common + "dhcp-option=3\ndhcp-option=6\n");
}

class ServicesTest : public ::testing::Test {
 protected:
  void SetUp() override { proc_ = daemon_.paths.proc_root; }
  void TearDown() override {
    for (const pid_t child : children_) {
      kill(child, SIGKILL);
      waitpid(child, nullptr, 0);
    }
  }
  // A made-up process entry whose executable link points at `target`.
  void Process(int pid, const std::string& target) {
    ASSERT_TRUE(daemon_.FakeProcess(pid, target));
  }
  // A real child running sleep, with SIGTERM ignored when asked.
  pid_t Sleeper(bool ignore_term) {
    const pid_t pid = fork();
    if (pid == 0) {
      if (ignore_term) {
        signal(SIGTERM, SIG_IGN);
      }
      execlp("sleep", "sleep", "30", static_cast<char*>(nullptr));
      _exit(127);
    }
    children_.push_back(pid);
    // Wait (bounded) until it runs sleep rather than the test binary.
    for (int i = 0; i < 500 && !ProcessRunsExecutable(pid, "/sleep"); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return pid;
  }
  std::string Log(const std::function<void()>& action) {
    ::testing::internal::CaptureStderr();
    action();
    return ::testing::internal::GetCapturedStderr();
  }

  testing::TestDaemon daemon_;
  OperationalVars vars_;
  std::string proc_;
  std::vector<pid_t> children_;
};

TEST_F(ServicesTest, ExecutableIsMatchedByTheEndOfItsLink) {
  Process(10, "/usr/sbin/hostapd");
  Process(11, "/usr/sbin/hostapd (deleted)");
  Process(12, "/opt/myhostapd");
  EXPECT_TRUE(ProcessRunsExecutable(10, "/hostapd", proc_.c_str()));
  EXPECT_FALSE(ProcessRunsExecutable(11, "/hostapd", proc_.c_str()));
  EXPECT_FALSE(ProcessRunsExecutable(12, "/hostapd", proc_.c_str()));
  EXPECT_FALSE(ProcessRunsExecutable(13, "/hostapd", proc_.c_str()));
  EXPECT_FALSE(ProcessRunsExecutable(0, "/hostapd", proc_.c_str()));
  EXPECT_FALSE(ProcessRunsExecutable(-1, "/hostapd", proc_.c_str()));
}

TEST_F(ServicesTest, FindHostapdSkipsWhatIsNotAProcess) {
  Process(20, "/usr/bin/bash");
  Process(21, "/usr/sbin/hostapd");
  mkdir((proc_ + "/self").c_str(), 0755);
  mkdir((proc_ + "/0").c_str(), 0755);
  mkdir((proc_ + "/007").c_str(), 0755);
  EXPECT_EQ(FindHostapdPid(proc_.c_str()), 21);
  EXPECT_EQ(FindHostapdPid(daemon_.File("missing").c_str()), -1);
}

TEST_F(ServicesTest, SoftKillOfNoProcessOnlySaysSo) {
  EXPECT_EQ(Log([&] { SoftKill(daemon_, 0, "/hostapd"); }), "soft killing pid:0 name:/hostapd\n");
  EXPECT_EQ(Log([&] { SoftKill(daemon_, -1, "/dnsmasq"); }), "soft killing pid:-1 name:/dnsmasq\n");
}

TEST_F(ServicesTest, SoftKillEndsAProcessThatIgnoresTerm) {
  daemon_.paths.proc_root = "/proc";
  daemon_.hooks.signal = ::kill;  // our own child only
  const pid_t pid = Sleeper(true);
  // Reap the child as soon as it dies, as the daemon's SIGCHLD handler does.
  std::thread reaper([pid] { waitpid(pid, nullptr, 0); });
  const std::string log = Log([&] { SoftKill(daemon_, pid, "/sleep"); });
  reaper.join();
  children_.clear();
  EXPECT_NE(log.find("/sleep running at 1999 ms\n"), std::string::npos);
  EXPECT_EQ(kill(pid, 0), -1);  // gone
}

TEST_F(ServicesTest, SoftKillStopsPollingOnceTermWorks) {
  daemon_.paths.proc_root = "/proc";
  std::vector<int> sent;
  daemon_.hooks.signal = [&sent](pid_t target, int signal_number) {
    sent.push_back(signal_number);
    return ::kill(target, signal_number);
  };
  const pid_t pid = Sleeper(false);
  // The first pause lasts until the terminated child has died and is reaped,
  // as the daemon's SIGCHLD handler reaps it, so the next poll finds it gone
  // however slowly a busy machine lets it die.
  bool reaped = false;
  daemon_.hooks.sleep = [&reaped, pid](std::chrono::milliseconds /*pause*/) {
    if (!reaped) {
      reaped = waitpid(pid, nullptr, 0) == pid;
    }
  };
  const std::string log = Log([&] { SoftKill(daemon_, pid, "/sleep"); });
  if (!reaped) {
    waitpid(pid, nullptr, 0);  // it died before the first poll
  }
  children_.clear();
  EXPECT_EQ(sent, std::vector<int>{SIGTERM});
  EXPECT_EQ(log.find("running at 1 ms"), std::string::npos) << log;
}

TEST_F(ServicesTest, StopAndCleanupRunTheirCommands) {
  daemon_.command_status = 256;
  const std::string log = Log([&] { StopServices(daemon_); });
  EXPECT_EQ(log, "Error 256 executing killall hostapd 2> /dev/null || true\n");
  daemon_.command_status = 0;
  Log([&] { CleanupServices(daemon_); });
  EXPECT_EQ(daemon_.commands, (std::vector<std::string>{"killall hostapd 2> /dev/null || true",
                                                        "killall hostapd 2> /dev/null || true",
                                                        "ifconfig wlanap down 2> /dev/null"}));
}

TEST_F(ServicesTest, StopKillsTheRecordedDnsmasqOnlyWhileItRuns) {
  daemon_.hooks.signal = ::kill;
  const pid_t pid = Sleeper(false);
  Process(pid, "/usr/sbin/dnsmasq");  // our child, seen as dnsmasq
  daemon_.state.dnsmasq_pid = 99999;  // not dnsmasq: left as it is
  Log([&] { StopServices(daemon_); });
  EXPECT_EQ(daemon_.state.dnsmasq_pid, 99999);
  daemon_.state.dnsmasq_pid = pid;
  Log([&] { StopServices(daemon_); });
  EXPECT_EQ(daemon_.state.dnsmasq_pid, -1);
  EXPECT_GE(daemon_.slept, std::chrono::milliseconds(250));
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFSIGNALED(status));
  children_.clear();
}

TEST_F(ServicesTest, LaunchInNatStartsBothAndPublishesTheCredentials) {
  std::strcpy(daemon_.state.ssid, "net");
  std::strcpy(daemon_.state.password, "secret12");
  daemon_.state.hostapd.Track(-1);
  daemon_.spawn_pid = 4242;
  Process(31, "/usr/sbin/hostapd");
  const std::string log = Log([&] { LaunchServices(daemon_, kRouteNat, vars_); });
  const std::string dnsmasq = DnsmasqCommand(daemon_.paths);
  EXPECT_EQ(daemon_.commands, (std::vector<std::string>{HostapdCommand(daemon_.paths, false),
                                                        "iw dev wlan0 set 4addr off"}));
  EXPECT_EQ(daemon_.spawned, std::vector<std::string>{dnsmasq});
  EXPECT_EQ(TempDir::Read(daemon_.File("softap_dnsmasq.conf")), Config(kRouteNat));
  EXPECT_EQ(daemon_.state.dnsmasq_pid, 4242);
  EXPECT_EQ(daemon_.state.hostapd.pid(), 31);
  EXPECT_FALSE(vars_.launch_needed);
  EXPECT_STREQ(daemon_.state.text, "SoftAP Running\tnet\tsecret12");
  EXPECT_EQ(log,
            "Opening apps.\n"
            "soft killing pid:-1 name:/hostapd\n"
            "# " +
                dnsmasq +
                "\n"
                "FYI: hostapd PID: 31 / dnsmasq PID: 4242\n");
}

TEST_F(ServicesTest, DebugHostapdAndAFailedStart) {
  daemon_.state.hostapd_debug.store(1);
  daemon_.command_status = 256;
  const std::string log = Log([&] { LaunchServices(daemon_, kRouteNone, vars_); });
  const std::string debug_command = HostapdCommand(daemon_.paths, true);
  EXPECT_EQ(daemon_.commands[0], debug_command);
  EXPECT_NE(log.find("Error 256 executing " + debug_command + "\n"), std::string::npos);
  EXPECT_STREQ(vars_.error_text, "Error polling channel\n");
  // dnsmasq could not start: -1 and the failure line.
  EXPECT_NE(log.find("Error -1 executing " + DnsmasqCommand(daemon_.paths) + "\n"),
            std::string::npos);
  EXPECT_EQ(daemon_.state.dnsmasq_pid, -1);
  EXPECT_EQ(TempDir::Read(daemon_.File("softap_dnsmasq.conf")), Config(kRouteNone));
}

TEST_F(ServicesTest, UnwritableDnsmasqConfigIsAStartFailure) {
  const std::string missing = daemon_.File("no/such/folder/softap_dnsmasq.conf");
  daemon_.paths.dnsmasq_conf = missing.c_str();
  daemon_.spawn_pid = 4242;
  const std::string log = Log([&] { LaunchServices(daemon_, kRouteNat, vars_); });
  EXPECT_NE(log.find("Error: could not write " + missing), std::string::npos);
  EXPECT_TRUE(daemon_.spawned.empty());
  EXPECT_EQ(daemon_.state.dnsmasq_pid, -1);
}

TEST_F(ServicesTest, LaunchWithoutDnsmasqStillLooksHostapdUp) {
  Process(33, "/usr/sbin/hostapd");
  daemon_.state.dnsmasq_pid = 5;
  Log([&] { LaunchServices(daemon_, kRouteTransparent, vars_); });
  EXPECT_TRUE(daemon_.spawned.empty());
  EXPECT_EQ(daemon_.commands.size(), 1u);
  EXPECT_EQ(daemon_.state.dnsmasq_pid, -1);
  EXPECT_EQ(daemon_.state.hostapd.pid(), 33);
  EXPECT_FALSE(vars_.launch_needed);
}

TEST_F(ServicesTest, CheckVerdicts) {
  Process(40, "/usr/sbin/hostapd");
  Process(41, "/usr/sbin/dnsmasq");
  daemon_.state.hostapd.Track(40);
  daemon_.state.dnsmasq_pid = 41;
  EXPECT_EQ(CheckServices(daemon_, kRouteNat, vars_), ServiceVerdict::kHealthy);
  // dnsmasq is only supervised where it was started.
  daemon_.state.dnsmasq_pid = -1;
  EXPECT_EQ(CheckServices(daemon_, kRouteTransparent, vars_), ServiceVerdict::kHealthy);
  EXPECT_EQ(CheckServices(daemon_, kRouteNone, vars_), ServiceVerdict::kDnsmasqFailed);
  EXPECT_STREQ(vars_.error_text, "dnsmasq failed");
}

TEST_F(ServicesTest, VanishedHostapdIsReportedFromTheNextPass) {
  daemon_.state.hostapd.Track(50);  // no such entry any more
  EXPECT_EQ(CheckServices(daemon_, kRouteTransparent, vars_), ServiceVerdict::kHealthy);
  EXPECT_EQ(daemon_.state.hostapd.pid(), -1);
  const std::string log = Log([&] {
    EXPECT_EQ(CheckServices(daemon_, kRouteTransparent, vars_), ServiceVerdict::kHostapdFailed);
  });
  EXPECT_EQ(log.substr(0, 21), "hostapd failed (-1 1)");
  EXPECT_EQ(daemon_.commands,
            (std::vector<std::string>{"iw dev wlanap info 1>&2", "ip link show 1>&2"}));
  EXPECT_STREQ(vars_.error_text, "hostapd failed (-1 1).");
  // With dnsmasq down too, its text wins.
  EXPECT_EQ(CheckServices(daemon_, kRouteNat, vars_), ServiceVerdict::kDnsmasqFailed);
  EXPECT_STREQ(vars_.error_text, "dnsmasq failed");
  EXPECT_EQ(daemon_.state.hostapd.failures(), 2u);
}

TEST_F(ServicesTest, AHostapdStartedByOthersIsAdopted) {
  daemon_.state.hostapd.Track(-1);
  Process(60, "/usr/sbin/hostapd");
  EXPECT_EQ(CheckServices(daemon_, kRouteTransparent, vars_), ServiceVerdict::kHealthy);
  EXPECT_EQ(daemon_.state.hostapd.pid(), 60);
}

TEST(RunShellCommand, ReturnsTheRawWaitStatusAndLogsIt) {
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(RunShellCommand("true"), 0);
  EXPECT_EQ(RunShellCommand("exit 1"), 256);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "# true = 0\n# exit 1 = 256\n");
}

// The shell gets SIGTERM at the deadline and its group SIGKILL after the
// grace: a helper that ignores SIGTERM, and what the shell started beside
// it, go too.
TEST(RunShellCommand, AHungCommandAndItsGroupEndAtTheDeadline) {
  TempDir dir;
  const std::string pids = dir.Path("pids");
  const std::string command = "sleep 30 & echo $! > " + pids +
                              "; sh -c 'trap \"\" TERM; echo $$ >> " + pids +
                              "; while :; do sleep 1; done'";
  ::testing::internal::CaptureStderr();
  const auto start = std::chrono::steady_clock::now();
  const int status =
      RunShellCommandWith(command.c_str(), CommandLimits{.deadline = std::chrono::milliseconds(500),
                                                         .grace = std::chrono::milliseconds(300)});
  const auto took = std::chrono::steady_clock::now() - start;
  const std::string log = ::testing::internal::GetCapturedStderr();
  EXPECT_TRUE(WIFSIGNALED(status)) << status;
  EXPECT_TRUE(CommandWasEnded(status));
  EXPECT_LT(took, std::chrono::seconds(3));
  EXPECT_EQ(log, "Error: " + command + " timed out after 0 s\n# " + command + " = " +
                     std::to_string(status) + "\n");
  std::istringstream lines(TempDir::Read(pids));
  int pid = 0;
  int seen = 0;
  while (lines >> pid) {
    ++seen;
    // Orphans are collected by whoever adopted them; a zombie is gone enough.
    bool gone = false;
    for (int i = 0; i < 200 && !gone; ++i) {
      const std::string stat = TempDir::Read("/proc/" + std::to_string(pid) + "/stat");
      gone = stat.empty() || stat.find(") Z ") != std::string::npos;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(gone) << pid;
  }
  EXPECT_EQ(seen, 2);
  EXPECT_FALSE(CommandWasEnded(0));
  EXPECT_FALSE(CommandWasEnded(256));
}

// A reaper collecting every ended child (the daemon's SIGCHLD handler) and
// commands on several threads at once: each command still gets its own
// status, and none waits for another.
TEST(RunShellCommand, StatusesSurviveTheReaperAndCommandsRunSideBySide) {
  InstallChildReaper();
  std::atomic<bool> done{false};
  std::thread reaper([&] {
    while (!done.load()) {
      ReapChildren(SIGCHLD);
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
  });
  ::testing::internal::CaptureStderr();
  const auto start = std::chrono::steady_clock::now();
  std::vector<std::thread> threads;
  std::atomic<int> wrong{0};
  for (int i = 0; i < 4; ++i) {
    threads.emplace_back([&] {
      if (RunShellCommand("sleep 0.4; exit 3") != 768) {
        ++wrong;
      }
      for (int j = 0; j < 10; ++j) {
        if (RunShellCommand("exit 3") != 768) {
          ++wrong;
        }
      }
    });
  }
  for (std::thread& t : threads) {
    t.join();
  }
  const auto took = std::chrono::steady_clock::now() - start;
  done.store(true);
  reaper.join();
  (void)::testing::internal::GetCapturedStderr();
  signal(SIGCHLD, SIG_DFL);
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_LT(took, std::chrono::milliseconds(1500));  // four 0.4 s sleeps in a row: 1.6 s
}

TEST(SpawnCommand, ReportsWhetherTheProgramRuns) {
  const int32_t pid = SpawnCommand("sleep 0");
  ASSERT_GT(pid, 0);
  EXPECT_EQ(waitpid(pid, nullptr, 0), pid);
  EXPECT_EQ(SpawnCommand("ww-no-such-program --flag"), -1);
  EXPECT_EQ(SpawnCommand("echo $(reboot)"), -1);  // no command substitution
  EXPECT_EQ(SpawnCommand(""), -1);
  // The failed child exited by itself; collect it.
  for (int i = 0; i < 100 && waitpid(-1, nullptr, WNOHANG) >= 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

}  // namespace
}  // namespace ww
