// The request exchanges of a pass: each request acted on once, in order.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <chrono>

#include <cstring>
#include <string>
#include <vector>

#include "daemon/core/daemon.h"
#include "daemon/lifecycle/operational_thread.h"
#include "daemon/lifecycle/request_order.h"
#include "tests/unit/fake_kernel.h"
#include "tests/unit/test_daemon.h"

namespace ww {
namespace {

class OperationalPassTest : public testing::KernelTest<testing::TestDaemon> {
 protected:
  void SetUp() override {
    KernelTest::SetUp();
    // A kernel with no phy domain: every regulatory request is only acked.
    kernel_.Answer(std::vector<std::vector<testing::Block>>(
        40, std::vector<testing::Block>{testing::BlockBuilder().Ack().Build()}));
  }
  // A made-up process entry whose executable link points at `target`.
  void Process(int pid, const std::string& target) {
    ASSERT_TRUE(daemon_.FakeProcess(pid, target));
  }
  void RemoveProcess(int pid) { daemon_.RemoveFakeProcess(pid); }
  // A station on 2437 MHz and services that start.
  void WorkingDevice() {
    WifiInfo station{};
    station.frequency = 2437;
    station.connected = 1;
    daemon_.interfaces["wlan0"] = station;
    Process(31, "/usr/sbin/hostapd");
    Process(4242, "/usr/sbin/dnsmasq");
    daemon_.spawn_pid = 4242;
  }
  void RequestCreate(int32_t route = kRouteNat) {
    std::strcpy(daemon_.state.ssid, "net");
    std::strcpy(daemon_.state.password, "secret12");
    daemon_.state.desired_mode.store(kModeHbs);
    daemon_.state.route.store(route);
    daemon_.state.create_requested.store(1);
  }
  std::string Pass() {
    ::testing::internal::CaptureStderr();
    RunOperationalPass(daemon_, vars_, query_);
    return ::testing::internal::GetCapturedStderr();
  }
  std::string Text() { return daemon_.state.text; }
  testing::TestDaemon daemon_;
  OperationalVars vars_;
  WifiQueryContext query_{};
};

TEST_F(OperationalPassTest, PassWithoutRequestOnlyStoresNoAccessPoint) {
  std::strcpy(daemon_.state.text, "Idle");
  daemon_.state.state = 1;  // as a refused create leaves it
  EXPECT_EQ(Pass(), "");
  EXPECT_EQ(daemon_.state.state, 0);
  EXPECT_EQ(Text(), "Idle");
}

TEST_F(OperationalPassTest, RefreshWithoutAccessPointEndsDisabled) {
  daemon_.state.refresh_teardown_flag_value.store(kRefreshNow);
  daemon_.state.teardown_requested.store(1);
  daemon_.state.stations.store(3);
  daemon_.state.state = 1;
  EXPECT_EQ(Pass(), "refresh_teardown_flag_value = 1\n");
  EXPECT_EQ(daemon_.state.state, 0);
  EXPECT_EQ(Text(), "Disabled.");
  EXPECT_EQ(daemon_.state.stations.load(), 0);
  // The teardown stored with the refresh was spent by it.
  EXPECT_EQ(daemon_.state.teardown_requested.load(), 0);
  EXPECT_EQ(vars_.last_frequency, -1);
}

TEST_F(OperationalPassTest, TeardownIsActedOnOnce) {
  daemon_.state.teardown_requested.store(1);
  Pass();
  EXPECT_EQ(Text(), "Disabled.");
  std::strcpy(daemon_.state.text, "marker");
  Pass();
  EXPECT_EQ(Text(), "marker");
}

TEST_F(OperationalPassTest, DelayedRefreshWaitsThreeSeconds) {
  daemon_.state.refresh_teardown_flag_value.store(kRefreshDelayed);
  EXPECT_EQ(Pass(), "refresh_teardown_flag_value = 4\n");
  // Three seconds, then the teardown's pause.
  EXPECT_EQ(daemon_.slept, std::chrono::milliseconds(3200));
  EXPECT_EQ(Text(), "Disabled.");
}

TEST_F(OperationalPassTest, CreateEndsRunningWithTheCredentials) {
  WorkingDevice();
  RequestCreate();
  const std::string log = Pass();
  EXPECT_EQ(daemon_.state.state, kStateRunning) << log;
  EXPECT_EQ(Text(), "SoftAP Running\tnet\tsecret12");
  EXPECT_EQ(daemon_.state.ap_active, 1);
  EXPECT_EQ(daemon_.state.hostapd.pid(), 31);
  EXPECT_EQ(daemon_.state.dnsmasq_pid, 4242);
  EXPECT_FALSE(vars_.launch_needed);
  EXPECT_EQ(vars_.last_frequency, 2437);
  // Creation, placement (stops the services), launch, in this order.
  const std::vector<std::string>& c = daemon_.commands;
  ASSERT_GE(c.size(), 3u);
  EXPECT_EQ(c.front(), "iw dev wlan0 interface add wlanap type __ap");
  EXPECT_NE(std::find(c.begin(), c.end(), "iw dev wlan0 set 4addr off"), c.end());
  // The kernel reports no 6 GHz rule, so hbs follows the station.
  EXPECT_NE(log.find("SCS STA ON 2437, AP ON 6\n"), std::string::npos);
}

TEST_F(OperationalPassTest, CreationTextsAppearInOrder) {
  WorkingDevice();
  RequestCreate();
  std::vector<std::string> texts;
  daemon_.hooks.run_command = [&](const char* /*command*/) {
    if (texts.empty() || texts.back() != daemon_.state.text) {
      texts.emplace_back(daemon_.state.text);
    }
    return 0;
  };
  Pass();
  EXPECT_EQ(texts, (std::vector<std::string>{"Creating device.", "Continuing Setup"}));
  EXPECT_EQ(Text(), "SoftAP Running\tnet\tsecret12");
}

TEST_F(OperationalPassTest, MaintenancePassKeepsARunningAccessPoint) {
  WorkingDevice();
  RequestCreate();
  Pass();
  daemon_.commands.clear();
  const std::string log = Pass();
  EXPECT_EQ(daemon_.state.state, kStateRunning);
  // No new decision, no stop, no launch.
  EXPECT_TRUE(daemon_.commands.empty()) << log;
  EXPECT_EQ(log.find("Opening apps."), std::string::npos);
}

TEST_F(OperationalPassTest, DeadHostapdIsReportedEveryPassWithoutRestart) {
  WorkingDevice();
  RequestCreate();
  Pass();
  RemoveProcess(31);
  Pass();  // notices the pid is gone and records -1
  const std::string log = Pass();
  EXPECT_EQ(daemon_.state.state, kStateBusy);
  EXPECT_EQ(Text(), "hostapd failed (-1 1).");
  EXPECT_EQ(log.find("Opening apps."), std::string::npos);
  Pass();
  EXPECT_EQ(Text(), "hostapd failed (-1 2).");
}

TEST_F(OperationalPassTest, DeadDnsmasqIsReported) {
  WorkingDevice();
  RequestCreate();
  Pass();
  RemoveProcess(4242);
  Pass();
  EXPECT_EQ(daemon_.state.state, kStateBusy);
  EXPECT_EQ(Text(), "dnsmasq failed");
}

TEST_F(OperationalPassTest, FailedCreationStepsEndInStateOneAfterTheLaunch) {
  WorkingDevice();
  RequestCreate();
  daemon_.command_status = 256;
  Pass();
  EXPECT_EQ(daemon_.state.state, kStateBusy);
  EXPECT_EQ(Text(), "Error polling channel\n");  // the launch's text came last
  EXPECT_EQ(daemon_.state.ap_active, 1);
}

TEST_F(OperationalPassTest, RefreshRecreatesARunningAccessPointInOnePass) {
  WorkingDevice();
  RequestCreate();
  Pass();
  daemon_.state.refresh_teardown_flag_value.store(kRefreshNow);
  const std::string log = Pass();
  EXPECT_NE(log.find("refresh_teardown_flag_value = 1\n"), std::string::npos);
  EXPECT_EQ(daemon_.state.state, kStateRunning);
  EXPECT_EQ(Text(), "SoftAP Running\tnet\tsecret12");
}

// A create stored while the pass waits out a delayed refresh is the next
// pass's, which places it with its own mode and route.
TEST_F(OperationalPassTest, CreateArrivingDuringADelayedRefreshIsServedByTheNextPass) {
  WorkingDevice();
  daemon_.state.refresh_teardown_flag_value.store(kRefreshDelayed);
  bool requested = false;
  daemon_.hooks.sleep = [&](std::chrono::milliseconds /*pause*/) {
    if (!requested) {
      requested = true;
      RequestCreate();
    }
  };
  Pass();
  EXPECT_EQ(Text(), "Disabled.");
  const std::string log = Pass();
  // Placed for hbs (no 6 GHz rule here, so on the station's channel) and
  // launched with dnsmasq for nat.
  EXPECT_NE(log.find("SCS STA ON 2437, AP ON 6\n"), std::string::npos) << log;
  EXPECT_EQ(daemon_.state.state, kStateRunning);
  EXPECT_EQ(daemon_.state.dnsmasq_pid, 4242);
}

// Requests served by one pass end as if carried out one at a time, in the
// order of their serials (the order their replies went out).
TEST(PlanPass, LaterRequestsNeverLoseToEarlierOnes) {
  struct Row {
    const char* what;
    PendingRequests pending;
    bool ap_active;
    bool teardown;
    bool create;
  };
  const auto p = [](uint64_t refresh, uint64_t teardown, uint64_t create) {
    PendingRequests r;
    r.refresh = refresh != 0 ? kRefreshNow : 0;
    r.refresh_serial = refresh;
    r.teardown = teardown != 0;
    r.teardown_serial = teardown;
    r.create = create != 0;
    r.create_serial = create;
    return r;
  };
  const Row rows[] = {
      {"nothing", p(0, 0, 0), true, false, false},
      {"create", p(0, 0, 1), false, false, true},
      {"teardown then create", p(0, 1, 2), true, true, true},
      {"create then teardown", p(0, 2, 1), true, true, false},
      {"refresh of a running access point", p(1, 0, 0), true, true, true},
      {"refresh without one", p(1, 0, 0), false, true, false},
      {"refresh then teardown", p(1, 2, 0), true, true, false},
      {"teardown then refresh", p(2, 1, 0), true, true, false},
      {"create then refresh", p(2, 0, 1), false, true, true},
      {"teardown, create, refresh", p(3, 1, 2), false, true, true},
      {"create, teardown, refresh", p(3, 2, 1), true, true, false},
      {"refresh, create, teardown", p(1, 3, 2), true, true, false},
  };
  for (const Row& row : rows) {
    const PassPlan plan = PlanPass(row.pending, row.ap_active);
    EXPECT_EQ(plan.teardown, row.teardown) << row.what;
    EXPECT_EQ(plan.create, row.create) << row.what;
  }
}

// A second create on the channel the access point already has still gives
// hostapd the new name and passphrase, and relaunches it on them.
TEST_F(OperationalPassTest, CreateOnTheSameChannelWritesItsSettings) {
  WorkingDevice();
  RequestCreate();
  Pass();
  WifiInfo ap{};
  ap.frequency = 2437;
  ap.is_ap = 1;
  daemon_.interfaces["wlanap"] = ap;
  std::strcpy(daemon_.state.ssid, "other");
  std::strcpy(daemon_.state.password, "secret34");
  daemon_.state.create_requested.store(1);
  const std::string log = Pass();
  EXPECT_NE(log.find("unchanged, not recreating softap"), std::string::npos) << log;
  const std::string conf = testing::TempDir::Read(daemon_.File("softap_hostapd.conf"));
  EXPECT_NE(conf.find("\nssid=other\n"), std::string::npos) << conf;
  EXPECT_NE(conf.find("\nsae_password=secret34\n"), std::string::npos) << conf;
  EXPECT_NE(log.find("Opening apps."), std::string::npos);
  EXPECT_EQ(Text(), "SoftAP Running\tother\tsecret34");
  // A maintenance pass writes nothing.
  std::strcpy(daemon_.state.ssid, "third");
  Pass();
  EXPECT_EQ(testing::TempDir::Read(daemon_.File("softap_hostapd.conf")), conf);
}

}  // namespace
}  // namespace ww
