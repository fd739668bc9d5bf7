#include "daemon/regulatory/country_survey.h"

#include <net/if.h>

#include "common/util/interfaces.h"
#include "daemon/netlink/upstream_scan.h"

namespace ww {
namespace {

constexpr uint8_t kBssInformationElements = 6;
constexpr uint8_t kBssBeaconElements = 11;
constexpr uint8_t kElementCountry = 7;

}  // namespace

std::optional<CountryPair> FindCountryElement(nl::Bytes elements) {
  const std::optional<nl::Bytes> body = FindElement(elements, kElementCountry, 2);
  if (!body) {
    return std::nullopt;
  }
  return CountryPair{static_cast<char>((*body)[0]), static_cast<char>((*body)[1])};
}

std::optional<CountryPair> FindAdvertisedCountry(std::optional<nl::Bytes> beacon_elements,
                                                 std::optional<nl::Bytes> other_elements) {
  if (beacon_elements) {
    if (std::optional<CountryPair> found = FindCountryElement(*beacon_elements)) {
      return found;
    }
  }
  if (other_elements) {
    return FindCountryElement(*other_elements);
  }
  return std::nullopt;
}

void CountryTally::Add(const std::optional<CountryPair>& country) {
  ++networks;
  const CountryPair key = country.value_or(CountryPair{'\0', '\0'});
  for (int i = 0; i < entry_count; ++i) {
    if (entries[i].country == key) {
      ++entries[i].count;
      return;
    }
  }
  if (entry_count < kTallyEntries) {
    entries[entry_count++] = Entry{key, 1};
  }
}

void CountryTally::Write(FILE* out) const {
  std::fprintf(out, "Scans show %d wifi networks\n", networks);
  std::array<bool, kTallyEntries> printed{};
  for (int round = 0; round < entry_count; ++round) {
    int best = -1;
    for (int i = 0; i < entry_count; ++i) {
      if (!printed[i] && (best < 0 || entries[i].count > entries[best].count)) {
        best = i;
      }
    }
    printed[best] = true;
    const Entry& e = entries[best];
    if (e.country[0] == '\0' && e.country[1] == '\0') {
      std::fprintf(out, "  - %d no advertised domain\n", e.count);
    } else {
      std::fprintf(out, "  - %d %c%c domain\n", e.count, e.country[0], e.country[1]);
    }
  }
}

void TallyScanCountries(RawChannel& channel, uint32_t ifindex, CountryTally& tally) {
  ForEachScanEntry(channel, ifindex, [&tally](nl::Bytes entry) {
    std::optional<nl::Bytes> beacon;
    std::optional<nl::Bytes> other;
    nl::AttributeWalker bss(entry);
    while (const std::optional<nl::Attribute> b = bss.Next()) {
      if (b->LowType() == kBssBeaconElements) {
        beacon = b->payload;
      } else if (b->LowType() == kBssInformationElements) {
        other = b->payload;
      }
    }
    tally.Add(FindAdvertisedCountry(beacon, other));
  });
}

void SurveyAdvertisedCountries(RawChannel& channel) {
  CountryTally tally;
  const unsigned ifindex = ::if_nametoindex(kStationInterface);
  if (ifindex == 0) {
    std::fprintf(stderr, "Error: could not get scan results for %s\n", kStationInterface);
    return;
  }
  TallyScanCountries(channel, ifindex, tally);
  tally.Write(stderr);
}

}  // namespace ww
