// Scan blocking while clients stream, and the streaming socket.
#pragma once

namespace ww {

enum ScanBlockKind : int { kScanBlockAdd = 1, kScanBlockRemove = 2, kScanBlockClear = 3 };

// Updates the scan-block table and the kernel's scan-blocking parameter.
void UpdateScanBlock(int kind, const char* interface_name);

// Streaming socket server thread body; `arg` is the Daemon.
void* StreamingScanningThread(void* arg);

}  // namespace ww
