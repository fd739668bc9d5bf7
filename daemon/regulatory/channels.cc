#include "daemon/regulatory/channels.h"

#include <cstdio>

namespace ww {

int FrequencyToChannel(uint32_t frequency, int& band, int& channel) {
  band = kBandNone;
  channel = 0;
  if (frequency >= 2412 && frequency <= 2472) {
    band = kBand24;
    channel = static_cast<int>((frequency - 2407) / 5);
  } else if (frequency == 2484) {
    band = kBand24;
    channel = 14;
  } else if (frequency >= 5170 && frequency <= 5895) {
    band = kBand5;
    channel = static_cast<int>(frequency / 5 - 1000);
  } else if (frequency >= 5955 && frequency <= 7115) {
    band = kBand6;
    channel = static_cast<int>(frequency / 5 - 1190);
  } else {
    return -1;
  }
  return 0;
}

void ChannelToFrequency(int band, uint32_t channel, int& frequency) {
  frequency = 0;
  if (band == kBand24 && channel >= 1 && channel <= 13) {
    frequency = static_cast<int>(2407 + 5 * channel);
  } else if (band == kBand24 && channel == 14) {
    frequency = 2484;
  } else if (band == kBand5 && channel >= 34 && channel <= 177) {
    frequency = static_cast<int>(5000 + 5 * channel);
  } else if (band == kBand6 && channel >= 1 && channel <= 233) {
    frequency = static_cast<int>(5950 + 5 * channel);
  }
}

int Normalize5GhzChannel(int channel) {
  if (channel == 0) {
    return 0;
  }
  // The lowest 20 MHz channels of the seven 80 MHz blocks the plan knows;
  // each accepts itself and the three odd-or-even steps above it.
  static constexpr int kBlockStarts[] = {36, 52, 100, 116, 132, 149, 165};
  for (const int start : kBlockStarts) {
    if (channel >= start && channel <= start + 6 && (channel - start) % 2 == 0) {
      return start;
    }
  }
  std::fprintf(stderr, "Bad 5 Channel.\n");
  return -1;
}

int NormalizePscChannel(uint32_t channel) {
  if (channel == 0) {
    return 0;
  }
  if (channel % 16 == 1 && channel >= 1 && channel <= 225) {
    return static_cast<int>(channel + 4);
  }
  if (channel % 16 == 5 && channel >= 5 && channel <= 229) {
    return static_cast<int>(channel);
  }
  std::fprintf(stderr, "Bad 6 channel\n");
  return -1;
}

}  // namespace ww
