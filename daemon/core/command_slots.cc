#include "daemon/core/command_slots.h"

namespace ww {

int FindFreeSlot(CommandSlots& slots) {
  for (int i = 0; i < kCommandSlots; ++i) {
    if (slots.state[i].load() == kSlotFinished) {
      pthread_join(slots.thread[i], nullptr);
      slots.state[i].store(kSlotFree);
    }
    if (slots.state[i].load() == kSlotFree) {
      return i;
    }
  }
  return -1;
}

}  // namespace ww
