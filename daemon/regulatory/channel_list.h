// The get-channels report: the non-DFS wide channel blocks of a country.
#pragma once

#include <cstddef>

namespace ww {

inline constexpr size_t kChannelListSize = 2048;

// Formats the JSON report for `country` into `out` (kChannelListSize bytes).
// Returns its length; false in `found` (and the error reply in `out`) when
// the table has no such country.
size_t FormatChannelList(const char* country, char* out, size_t size, bool& found);

}  // namespace ww
