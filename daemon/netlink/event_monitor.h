// Connection event monitor: station count, roaming and default-route wake-ups.
#pragma once

namespace ww {

// Thread body; `arg` is the Daemon.
void* DetectConnectionChangeThread(void* arg);

}  // namespace ww
