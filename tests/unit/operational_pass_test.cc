// The request exchanges of a pass: each request acted on once, in order.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>

#include "daemon/core/daemon.h"
#include "daemon/lifecycle/operational_thread.h"
#include "tests/unit/test_daemon.h"

namespace ww {
namespace {

class OperationalPassTest : public ::testing::Test {
 protected:
  std::string Pass() {
    ::testing::internal::CaptureStderr();
    RunOperationalPass(daemon_, vars_);
    return ::testing::internal::GetCapturedStderr();
  }
  std::string Text() { return daemon_.state.text; }
  testing::TestDaemon daemon_;
  OperationalVars vars_;
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
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Pass(), "refresh_teardown_flag_value = 4\n");
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(3000));
  EXPECT_LT(waited, std::chrono::milliseconds(5000));
  EXPECT_EQ(Text(), "Disabled.");
}

}  // namespace
}  // namespace ww
