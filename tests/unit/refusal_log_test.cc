#include "daemon/core/refusal_log.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

namespace ww {
namespace {

using std::chrono::milliseconds;

TEST(RefusalLog, FirstRefusalAtOnceThenAtMostOneReportASecond) {
  enum Event { kRefusal, kQuiet };
  struct Row {
    int at_ms;
    Event event;
    uint64_t reported;
  } rows[] = {
      // The first one, at once.
      {0, kRefusal, 1},
      // Within the second: counted silently, also across an accepted
      // connection.
      {10, kRefusal, 0},
      {500, kRefusal, 0},
      {600, kQuiet, 0},
      {999, kRefusal, 0},
      // A second after the last report: the three held and this one.
      {1000, kRefusal, 4},
      // Nothing held.
      {1500, kQuiet, 0},
      // A lone refusal after a quiet spell.
      {2600, kRefusal, 1},
      {2700, kRefusal, 0},
      {2800, kRefusal, 0},
      // Refusals stopped: what was held, once, when it is due.
      {3599, kQuiet, 0},
      {3600, kQuiet, 2},
      {3601, kQuiet, 0},
      // The flush was a report too.
      {3700, kRefusal, 0},
  };
  RefusalLog log;
  const RefusalLog::Clock::time_point start{};
  EXPECT_FALSE(log.Due().has_value());
  for (const Row& row : rows) {
    const auto now = start + milliseconds(row.at_ms);
    const uint64_t got = row.event == kRefusal ? log.OnRefusal(now) : log.OnQuiet(now);
    EXPECT_EQ(got, row.reported) << "at " << row.at_ms << " ms";
    if (row.at_ms == 2800) {
      EXPECT_EQ(log.Due(), start + milliseconds(3600));
    }
    if (row.at_ms == 3601) {
      EXPECT_FALSE(log.Due().has_value());
    }
  }
}

TEST(RefusalLog, LineForACount) {
  struct Row {
    uint64_t count;
    const char* line;
  } rows[] = {
      {1, "Error: Too many threads\n"},
      {2, "Error: Too many threads (2 refused since the last report)\n"},
      {265000, "Error: Too many threads (265000 refused since the last report)\n"},
  };
  for (const Row& row : rows) {
    char line[128];
    const size_t length = FormatRefusal(row.count, line, sizeof line);
    EXPECT_EQ(std::string(line, length), row.line);
  }
}

}  // namespace
}  // namespace ww
