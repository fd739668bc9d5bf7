#include "daemon/core/command_slots.h"

#include <gtest/gtest.h>

namespace ww {
namespace {

void* Finish(void* arg) {
  static_cast<std::atomic<int32_t>*>(arg)->store(kSlotFinished);
  return nullptr;
}

class CommandSlotsTest : public ::testing::Test {
 protected:
  // Starts a thread in `index` that finishes at once, and waits until it has.
  void FinishedThread(int index) {
    slots_.state[index].store(kSlotBusy);
    ASSERT_EQ(pthread_create(&slots_.thread[index], nullptr, Finish, &slots_.state[index]), 0);
    while (slots_.state[index].load() != kSlotFinished) {
      sched_yield();
    }
  }
  void TearDown() override {
    for (int i = 0; i < kCommandSlots; ++i) {
      if (slots_.state[i].load() == kSlotFinished) {
        pthread_join(slots_.thread[i], nullptr);
      }
    }
  }
  CommandSlots slots_;
};

TEST_F(CommandSlotsTest, FreeSlotZeroIsReusedAndFinishedSlotsAboveWait) {
  FinishedThread(3);
  EXPECT_EQ(FindFreeSlot(slots_), 0);
  EXPECT_EQ(slots_.state[3].load(), kSlotFinished);
}

TEST_F(CommandSlotsTest, FinishedSlotIsJoinedWhenTheScanReachesIt) {
  slots_.state[0].store(kSlotBusy);
  FinishedThread(1);
  FinishedThread(2);
  EXPECT_EQ(FindFreeSlot(slots_), 1);
  EXPECT_EQ(slots_.state[1].load(), kSlotFree);
  EXPECT_EQ(slots_.state[2].load(), kSlotFinished);
}

TEST_F(CommandSlotsTest, AllBusyGivesNoSlot) {
  for (int i = 0; i < kCommandSlots; ++i) {
    slots_.state[i].store(kSlotBusy);
  }
  EXPECT_EQ(FindFreeSlot(slots_), -1);
  FinishedThread(kCommandSlots - 1);
  EXPECT_EQ(FindFreeSlot(slots_), kCommandSlots - 1);
  EXPECT_EQ(slots_.state[kCommandSlots - 1].load(), kSlotFree);
}

}  // namespace
}  // namespace ww
