// Scan blocking while clients stream: the table of interfaces being streamed
// on and the value written to the wireless stack's scan-blocking parameter.
#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <mutex>

namespace ww {

struct RawChannel;

enum ScanBlockKind : int { kScanBlockAdd = 1, kScanBlockRemove = 2, kScanBlockClear = 3 };

inline constexpr int kScanBlockSlots = 8;
inline constexpr size_t kScanBlockNameMax = 15;

struct ScanBlockTable {
  std::mutex lock;  // taken before the raw channel's lock, never after
  std::array<std::array<char, kScanBlockNameMax + 2>, kScanBlockSlots> slots{};
};

// Applies one change to the table (no evaluation). False when the request
// is ignored entirely (a null name with another kind than clear, or a name
// longer than 15 characters).
bool ChangeScanBlockTable(ScanBlockTable& table, int kind, const char* name);

// The scan-block value for the frequencies (MHz) of the table's entries.
int ScanBlockValue(const double* frequencies, int count);

// Where an update looks and what it changes besides the table.
struct ScanBlockIo {
  RawChannel& channel;                                 // asked for each entry's frequency
  const char* parameter_path;                          // the scan-blocking parameter file
  const std::function<int(const char*)>& run_command;  // sets wlan0's signal threshold
};

// Updates the table, re-evaluates the value from each entry's frequency,
// writes it to the parameter file and sets wlan0's signal threshold.
void UpdateScanBlock(ScanBlockTable& table, const ScanBlockIo& io, int kind,
                     const char* interface_name);

// The operating frequency of interface `name` in MHz, or -1.0.
double GetInterfaceFrequency(RawChannel& channel, const char* name);

}  // namespace ww
