// The streaming socket's commands: each read split and dispatched as the
// streaming thread does (its loop cannot be called on its own), then the
// clearing when the client leaves. The table must keep at most one slot per
// name, each a C string of at most 15 characters.
//
// Input: the reads, separated by NULs (a NUL ends a read's text anyway);
// a longer one is cut into reads of 1023 bytes as read() would.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "common/util/fields.h"
#include "common/util/nl80211_ids.h"
#include "daemon/netlink/scan_block.h"
#include "fuzz/fuzz_daemon.h"
#include "fuzz/fuzz_kernel.h"

namespace {

constexpr size_t kReadMax = 1023;

// The kernel's interface dump: wlan0 on 2.4 GHz, wlanap on 5 GHz and p2p0
// on 6 GHz, so that the block value is worked out from real frequencies.
ww::fuzzing::Answer InterfaceDump() {
  ww::fuzzing::Block block;
  const struct {
    const char* name;
    uint32_t mhz;
  } interfaces[] = {{"wlan0", 2437}, {"wlanap", 5180}, {"p2p0", 5955}};
  for (const auto& i : interfaces) {
    ww::nl::RequestBuilder m(ww::fuzzing::kFamily, 0x2, ww::nl80211::kCmdGetInterface, 0);
    m.PutString(ww::nl80211::kAttrIfname, i.name);
    m.PutU32(38, i.mhz);  // the frequency
    block.insert(block.end(), m.Data().begin(), m.Data().end());
  }
  return {block};
}

void CheckTable(const ww::ScanBlockTable& table) {
  for (size_t i = 0; i < table.slots.size(); ++i) {
    const auto& slot = table.slots[i];
    if (strnlen(slot.data(), slot.size()) > ww::kScanBlockNameMax) {
      std::abort();
    }
    for (size_t j = i + 1; j < table.slots.size() && slot[0] != '\0'; ++j) {
      if (std::strcmp(slot.data(), table.slots[j].data()) == 0) {
        std::abort();
      }
    }
  }
}

void HandleRead(ww::Daemon& daemon, const char* bytes, size_t got) {
  char text[kReadMax + 1];
  std::memcpy(text, bytes, got);
  text[got] = '\0';
  ww::Field words[2] = {};
  int count = 0;
  ww::SplitFields(text, count, words, 2);
  if (std::strcmp(words[0], "streamon") == 0) {
    ww::UpdateScanBlock(daemon, ww::kScanBlockAdd, words[1]);
  } else if (std::strcmp(words[0], "streamoff") == 0) {
    ww::UpdateScanBlock(daemon, ww::kScanBlockRemove, words[1]);
  }
  CheckTable(daemon.scan_block);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const ww::fuzzing::Answer dump = InterfaceDump();
  ww::fuzzing::FuzzDaemon daemon;
  ww::fuzzing::FuzzKernel kernel(daemon.nl80211, {}, dump);
  // The wireless stack's parameter, so that the value is written.
  if (FILE* parameter = std::fopen(daemon.paths.block_scans, "we")) {
    std::fputs("0", parameter);
    std::fclose(parameter);
  }
  const char* p = reinterpret_cast<const char*>(data);
  const char* end = p + size;
  while (p < end) {
    const char* stop = std::find(p, end, '\0');
    for (; p < stop; p += std::min(kReadMax, static_cast<size_t>(stop - p))) {
      HandleRead(daemon, p, std::min(kReadMax, static_cast<size_t>(stop - p)));
    }
    p = stop + (stop < end ? 1 : 0);
  }
  ww::UpdateScanBlock(daemon, ww::kScanBlockClear, nullptr);
  CheckTable(daemon.scan_block);
  return 0;
}
