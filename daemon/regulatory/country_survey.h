// Which countries nearby networks advertise, from the kernel's scan results.
// It only informs the log; it never decides which country is adopted.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <optional>

#include "common/util/nl_message.h"

namespace ww {

struct RawChannel;

using CountryPair = std::array<char, 2>;

// The first Country element (identifier 7, at least two bytes of body) in a
// run of information elements. Stops at an element that runs past the end.
std::optional<CountryPair> FindCountryElement(nl::Bytes elements);

// The beacon's elements are searched first, then the other elements.
std::optional<CountryPair> FindAdvertisedCountry(std::optional<nl::Bytes> beacon_elements,
                                                 std::optional<nl::Bytes> other_elements);

inline constexpr int kTallyEntries = 32;

// Networks counted per advertised country, in order of first appearance;
// networks without a country share one entry.
struct CountryTally {
  struct Entry {
    CountryPair country;  // two NULs for "none"
    int count;
  };
  int networks = 0;
  int entry_count = 0;
  std::array<Entry, kTallyEntries> entries{};

  void Add(const std::optional<CountryPair>& country);
  // The networks line, then the entries by falling count (the earlier entry
  // first on equal counts).
  void Write(FILE* out) const;
};

// Dumps the scan results of interface `ifindex` and tallies their countries.
void TallyScanCountries(RawChannel& channel, uint32_t ifindex, CountryTally& tally);

// Surveys the station interface's scan results and writes the tally to
// standard error.
void SurveyAdvertisedCountries(RawChannel& channel);

}  // namespace ww
