// The 128 command slots. Each slot is shared by the main thread and the
// slot's command thread only: main writes the socket and state 1 before it
// starts the thread; the thread writes state 2 as its very last action; main
// joins only after it has seen 2. The state words are atomic so that 2 is seen
// only after everything the command thread did before it.
#pragma once

#include <pthread.h>

#include <atomic>
#include <cstdint>

namespace ww {

inline constexpr int kCommandSlots = 128;

enum SlotState : int32_t { kSlotFree = 0, kSlotBusy = 1, kSlotFinished = 2 };

struct Daemon;

// The argument a command thread is started with: its slot index (and the
// daemon the slot belongs to).
struct SlotArg {
  Daemon* daemon = nullptr;
  int index = 0;
};

struct CommandSlots {
  std::atomic<int32_t> state[kCommandSlots] = {};
  int32_t socket[kCommandSlots] = {};
  pthread_t thread[kCommandSlots] = {};
  SlotArg arg[kCommandSlots] = {};
};

// Scans the slots from 0 upward, joining every finished slot it passes, and
// stops at the first free one. Finished slots above it wait for a later scan.
// Returns the free slot's index, or -1 when all are busy. Main thread only.
int FindFreeSlot(CommandSlots& slots);

}  // namespace ww
