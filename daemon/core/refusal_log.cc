#include "daemon/core/refusal_log.h"

#include "common/util/format.h"

namespace ww {

uint64_t RefusalLog::OnRefusal(Clock::time_point now) {
  ++held_;
  if (reported_ && now - last_report_ < kInterval) {
    return 0;
  }
  reported_ = true;
  last_report_ = now;
  const uint64_t count = held_;
  held_ = 0;
  return count;
}

uint64_t RefusalLog::OnQuiet(Clock::time_point now) {
  if (held_ == 0 || now - last_report_ < kInterval) {
    return 0;
  }
  last_report_ = now;
  const uint64_t count = held_;
  held_ = 0;
  return count;
}

std::optional<RefusalLog::Clock::time_point> RefusalLog::Due() const {
  if (held_ == 0) {
    return std::nullopt;
  }
  return last_report_ + kInterval;
}

size_t FormatRefusal(uint64_t count, char* out, size_t size) {
  // A single refusal keeps the line it has always had.
  if (count == 1) {
    return FormatCut(out, size, "Error: Too many threads\n");
  }
  return FormatCut(out, size, "Error: Too many threads (%llu refused since the last report)\n",
                   static_cast<unsigned long long>(count));
}

}  // namespace ww
