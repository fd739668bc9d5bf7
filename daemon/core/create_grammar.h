// The create and test grammar: the words of a request turned into what it
// asks for, or a refusal with its log lines. Pure, apart from the lines the
// channel normalisers write themselves; the stores are one step apart
// (create_command.cc).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "daemon/core/dispatch.h"

namespace ww {

inline constexpr const char* kCreateUsage =
    "Usage: create <AP name | -> <password | -> <hbs|hbs6|scs> <nat|noroute> [preferred_channel] "
    "[--channel preferred_6_channel] [[--channel56 <0|preferred_5_channel> "
    "<0|preferred_6_channel>]] "
    "[--hidden] [--width <80|160>]";
inline constexpr const char* kTestUsage = "Usage: test <AP name> <password> <band> <channel>";

// What the words after the credentials of a create (at least five words)
// ask for. A refused request still carries what was read before the word
// that refused it, and that much is stored too: the mode always, the route
// once the mode was known, and so on. Absent fields are left as they are.
struct CreateWords {
  int32_t mode = 0;  // kModeNone for an unknown mode word
  std::optional<int32_t> route;
  std::optional<uint32_t> preferred_channel;
  bool channel_prefs_set = false;
  std::optional<int32_t> preferred_5ghz_channel;
  std::optional<int32_t> preferred_6ghz_channel;
  int32_t hidden = 0;  // stored only when accepted, as is `wide`
  int32_t wide = 1;
  bool accepted = false;
  std::string log;  // the grammar's own lines, written after the stores
};
CreateWords ParseCreateWords(const Request& request);

// What a test request of five words asks for; both numbers are stored even
// when refused.
struct TestWords {
  int32_t band = 0;
  uint32_t channel = 0;
  bool accepted = false;
};
TestWords ParseTestWords(const Request& request);

// Why the band and channel that ParseTestWords would accept place no access
// point (a band no radio has, a channel outside the band), written into
// `reason`; null when they do.
const char* TestPlacementProblem(const TestWords& words, char* reason, size_t size);

}  // namespace ww
