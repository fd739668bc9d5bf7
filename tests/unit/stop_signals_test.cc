#include "daemon/core/stop_signals.h"

#include <gtest/gtest.h>

#include "daemon/core/startup.h"

namespace ww {
namespace {

TEST(PlanStop, UndoesOnlyWhatStartUpHasReached) {
  struct Row {
    StartupStage stage;
    bool reset_scan_block;
    bool stop_services;
  } rows[] = {
      {StartupStage::kWaitingForInterface, false, false},
      // The services running now may be an earlier run's or someone else's.
      {StartupStage::kStarting, true, false},
      {StartupStage::kOwnsServices, true, true},
  };
  for (const Row& row : rows) {
    const StopPlan plan = PlanStop(row.stage);
    EXPECT_EQ(plan.reset_scan_block, row.reset_scan_block) << static_cast<int>(row.stage);
    EXPECT_EQ(plan.stop_services, row.stop_services) << static_cast<int>(row.stage);
  }
}

}  // namespace
}  // namespace ww
