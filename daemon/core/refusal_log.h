// How often the accept loop reports connections it refuses because every
// command slot is busy. A client that reconnects at once after each refusal
// would otherwise write a line per attempt, hundreds of thousands a second,
// until the journal's rate limit drops the daemon's other messages.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace ww {

class RefusalLog {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr Clock::duration kInterval = std::chrono::seconds(1);

  // One refused connection. The number of refusals to report now: 0 for
  // none (the last report is less than a second old), else every refusal
  // since the last report, this one included.
  uint64_t OnRefusal(Clock::time_point now);
  // Nothing is being refused at the moment (a connection was accepted, or
  // none came): the refusals held back since the last report once that is
  // a second old, else 0.
  uint64_t OnQuiet(Clock::time_point now);
  // When the refusals held back may be reported; nullopt when there are
  // none.
  std::optional<Clock::time_point> Due() const;

 private:
  bool reported_ = false;
  Clock::time_point last_report_{};
  uint64_t held_ = 0;
};

// The log line for `count` refusals: the plain line for one, otherwise the
// count. Returns the length written (cut to fit `size`).
size_t FormatRefusal(uint64_t count, char* out, size_t size);

}  // namespace ww
