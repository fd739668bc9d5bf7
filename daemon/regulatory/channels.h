// Frequency, band and channel arithmetic. Pure functions, no state.
#pragma once

#include <cstdint>

namespace ww {

enum Band : int32_t { kBandNone = 0, kBand24 = 2, kBand5 = 5, kBand6 = 6 };

// Band and channel of a centre frequency in MHz. 0 on success; -1 (with band
// and channel 0) when the frequency lies in no known band.
int FrequencyToChannel(uint32_t frequency, int& band, int& channel);

// Centre frequency in MHz of a channel of a band, 0 when the pair is not valid.
void ChannelToFrequency(int band, uint32_t channel, int& frequency);

// The 5 GHz channel an access point uses for a preferred 5 GHz channel: the
// lowest 20 MHz channel of its 80 MHz block. 0 for no preference; -1 (after
// "Bad 5 Channel." on standard error) when the value is not accepted.
int Normalize5GhzChannel(int channel);

// The 6 GHz preferred scanning channel for a preferred 6 GHz channel. 0 for
// no preference; -1 (after "Bad 6 channel" on standard error) otherwise.
int NormalizePscChannel(uint32_t channel);

}  // namespace ww
