#pragma once

#include <gtest/gtest.h>

#include "tests/system/bed.h"

namespace ww::bed {

class BedTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!InBed()) {
      GTEST_SKIP() << "the test bed needs root";
    }
  }
  void TearDown() override {
    daemon_.Stop();
    // Sanitizer builds of the daemon report here.
    EXPECT_EQ(daemon_.err.Count("Sanitizer"), 0) << daemon_.err.Text();
    EXPECT_EQ(daemon_.err.Count("runtime error:"), 0) << daemon_.err.Text();
    if (InBed()) {
      ResetBed();
    }
  }

  // Starts the daemon with wlan0 present and waits until it serves.
  void StartDaemon() {
    CreateWlan0();
    daemon_.Start();
    ASSERT_TRUE(WaitForManagementSocket(Millis(5000))) << daemon_.err.Text();
  }
  // Waits until `status` answers `expected`.
  bool WaitForStatus(const std::string& expected, Millis timeout = Millis(5000)) {
    return WaitUntil([&] { return Exchange(std::string("status\0", 7)) == expected; }, timeout);
  }

  DaemonProcess daemon_;
};

}  // namespace ww::bed
