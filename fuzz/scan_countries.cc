// The scan dump: each network's Country element, searched in its beacon's
// elements and then in its other elements, and the tally of countries.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "daemon/regulatory/country_survey.h"
#include "fuzz/fuzz_kernel.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static FILE* const sink = std::fopen("/dev/null", "we");
  ww::RawChannel channel;
  ww::fuzzing::FuzzKernel kernel(channel, ww::fuzzing::SplitAnswers(data, size));
  ww::CountryTally tally;
  ww::TallyScanCountries(channel, 7, tally);
  int counted = 0;
  for (int i = 0; i < tally.entry_count; ++i) {
    counted += tally.entries[i].count;
  }
  if (tally.entry_count > ww::kTallyEntries || counted > tally.networks) {
    std::abort();
  }
  tally.Write(sink);
  return 0;
}
