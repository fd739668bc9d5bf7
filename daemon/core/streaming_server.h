// The streaming socket: clients announce the interfaces they stream on, and
// scan blocking follows.
#pragma once

namespace ww {

// Thread body; `arg` is the Daemon. Ends the process on a fatal socket error.
void* StreamingScanningThread(void* arg);

}  // namespace ww
