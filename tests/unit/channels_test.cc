// Frequency, band and channel conversions and the channel preference rules.
#include "daemon/regulatory/channels.h"

#include <gtest/gtest.h>

#include <string>

namespace ww {
namespace {

TEST(FrequencyToChannel, RangeTable) {
  struct Row {
    uint32_t frequency;
    int result, band, channel;
  } rows[] = {
      {2412, 0, 2, 1},   {2417, 0, 2, 2},   {2419, 0, 2, 2},  {2437, 0, 2, 6},
      {2472, 0, 2, 13},  {2484, 0, 2, 14},  {5170, 0, 5, 34}, {5180, 0, 5, 36},
      {5825, 0, 5, 165}, {5895, 0, 5, 179}, {5955, 0, 6, 1},  {6115, 0, 6, 33},
      {7115, 0, 6, 233}, {0, -1, 0, 0},     {2411, -1, 0, 0}, {2473, -1, 0, 0},
      {2483, -1, 0, 0},  {2485, -1, 0, 0},  {5169, -1, 0, 0}, {5900, -1, 0, 0},
      {5935, -1, 0, 0},  {5954, -1, 0, 0},  {7120, -1, 0, 0}, {0xffffffff, -1, 0, 0},
  };
  for (const Row& row : rows) {
    int band = 99;
    int channel = 99;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(FrequencyToChannel(row.frequency, band, channel), row.result) << row.frequency;
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(band, row.band) << row.frequency;
    EXPECT_EQ(channel, row.channel) << row.frequency;
  }
}

TEST(ChannelToFrequency, AcceptedRangesPerBand) {
  struct Row {
    int band;
    uint32_t channel;
    int frequency;
  } rows[] = {
      {2, 1, 2412},   {2, 13, 2472},  {2, 14, 2484}, {2, 0, 0},   {2, 15, 0},  {5, 34, 5170},
      {5, 36, 5180},  {5, 177, 5885}, {5, 32, 0},    {5, 178, 0}, {5, 179, 0}, {6, 1, 5955},
      {6, 233, 7115}, {6, 0, 0},      {6, 234, 0},   {7, 1, 0},   {0, 1, 0},   {-2, 1, 0},
  };
  for (const Row& row : rows) {
    int frequency = -1;
    ChannelToFrequency(row.band, row.channel, frequency);
    EXPECT_EQ(frequency, row.frequency) << row.band << "/" << row.channel;
  }
}

TEST(ChannelToFrequency, InvertsFrequencyToChannelOnEveryChannel) {
  for (uint32_t f = 2400; f <= 7200; ++f) {
    int band = 0;
    int channel = 0;
    if (FrequencyToChannel(f, band, channel) != 0) {
      continue;
    }
    int back = 0;
    ChannelToFrequency(band, static_cast<uint32_t>(channel), back);
    // Only exact channel centres come back; 5890 and 5895 (channel 179) do not.
    const bool centre = back != 0 && static_cast<uint32_t>(back) <= f && f - back < 5;
    EXPECT_TRUE(centre || (band == 5 && channel > 177)) << f;
  }
}

// Runs a preference rule and returns its result and what it wrote.
template <typename Fn, typename Arg>
std::pair<int, std::string> Rule(Fn fn, Arg value) {
  ::testing::internal::CaptureStderr();
  const int result = fn(value);
  return {result, ::testing::internal::GetCapturedStderr()};
}

TEST(Normalize5GhzChannel, AcceptsFourValuesPerBlock) {
  const int starts[] = {36, 52, 100, 116, 132, 149, 165};
  for (const int start : starts) {
    for (int step = 0; step <= 6; step += 2) {
      EXPECT_EQ(Rule(Normalize5GhzChannel, start + step), std::make_pair(start, std::string()));
    }
  }
  EXPECT_EQ(Rule(Normalize5GhzChannel, 0), std::make_pair(0, std::string()));
}

TEST(Normalize5GhzChannel, RefusesEverythingElse) {
  int accepted = 0;
  for (int c = -5; c <= 200; ++c) {
    const auto [result, log] = Rule(Normalize5GhzChannel, c);
    if (result == -1) {
      EXPECT_EQ(log, "Bad 5 Channel.\n") << c;
    } else {
      ++accepted;
    }
  }
  EXPECT_EQ(accepted, 7 * 4 + 1);
  for (const int c : {37, 44, 48, 60, 64, 108, 112, 124, 140, 157, 161, 173, -36}) {
    EXPECT_EQ(Rule(Normalize5GhzChannel, c), std::make_pair(-1, std::string("Bad 5 Channel.\n")));
  }
}

TEST(NormalizePscChannel, PreferredScanningChannels) {
  EXPECT_EQ(Rule(NormalizePscChannel, 0u), std::make_pair(0, std::string()));
  for (uint32_t psc = 5; psc <= 229; psc += 16) {
    EXPECT_EQ(Rule(NormalizePscChannel, psc), std::make_pair(static_cast<int>(psc), std::string()));
    EXPECT_EQ(Rule(NormalizePscChannel, psc - 4),
              std::make_pair(static_cast<int>(psc), std::string()));
  }
  const std::string bad = "Bad 6 channel\n";
  for (const uint32_t c : {2u, 3u, 9u, 13u, 33u + 2, 233u, 241u, 245u, 0xffffffffu}) {
    EXPECT_EQ(Rule(NormalizePscChannel, c), std::make_pair(-1, bad)) << c;
  }
}

}  // namespace
}  // namespace ww
