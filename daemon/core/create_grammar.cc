#include "daemon/core/create_grammar.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "common/util/format.h"
#include "daemon/lifecycle/daemon_state.h"
#include "daemon/regulatory/channels.h"

namespace ww {
namespace {

long Decimal(const char* word) {
  return std::strtol(word, nullptr, 10);
}

// A number beyond the normaliser's field is handed on as a value it refuses
// (with its own message), never narrowed: 4294967333 must not become 37.
int Normalize5(const char* word) {
  const long n = Decimal(word);
  const bool fits = n >= std::numeric_limits<int>::min() && n <= std::numeric_limits<int>::max();
  return Normalize5GhzChannel(fits ? static_cast<int>(n) : -1);
}

int NormalizePsc(const char* word) {
  const long n = Decimal(word);
  const bool fits = n >= 0 && n <= static_cast<long>(std::numeric_limits<uint32_t>::max());
  return NormalizePscChannel(fits ? static_cast<uint32_t>(n)
                                  : std::numeric_limits<uint32_t>::max());
}

// The flags after the fourth word into `out`. False on a refusal, with its
// line (if any) in out.log.
bool ParseFlags(const Request& request, CreateWords& out) {
  int i = 5;
  while (i < request.count) {
    const char* word = request.words[i];
    const bool one_more = i + 1 < request.count;
    if (std::strcmp(word, "--channel56") == 0 && i + 2 < request.count) {
      const int n6 = NormalizePsc(request.words[i + 2]);
      const int n5 = Normalize5(request.words[i + 1]);
      if (n6 == -1 || n5 == -1) {
        return false;
      }
      out.channel_prefs_set = true;
      out.preferred_6ghz_channel = n6;
      out.preferred_5ghz_channel = n5;
      i += 3;
    } else if (std::strcmp(word, "--channel5") == 0 && one_more) {
      const int n5 = Normalize5(request.words[i + 1]);
      if (n5 == -1) {
        return false;
      }
      out.channel_prefs_set = true;
      out.preferred_5ghz_channel = n5;
      i += 2;
    } else if ((std::strcmp(word, "--channel") == 0 || std::strcmp(word, "--channel6") == 0) &&
               one_more) {
      const int n6 = NormalizePsc(request.words[i + 1]);
      if (n6 == 0) {
        out.log = "Bad 6 channel\n";
        return false;
      }
      if (n6 == -1) {
        return false;
      }
      out.preferred_channel = static_cast<uint32_t>(n6);
      out.channel_prefs_set = true;
      out.preferred_6ghz_channel = n6;
      i += 2;
    } else if (std::strcmp(word, "--hidden") == 0) {
      out.hidden = 1;
      i += 1;
    } else if (std::strcmp(word, "--width") == 0 && one_more) {
      const long width = Decimal(request.words[i + 1]);
      i += 2;
      if (width == 80) {
        out.wide = 0;
      } else if (width == 160) {
        out.wide = 1;
      } else {
        // The number as read, not narrowed: 4294967376 is not "parsed as 80".
        Appendf(out.log, "Bad channel width (parsed as %ld)\n", width);
        return false;
      }
    } else {
      Appendf(out.log, "Error: Invalid flag: %s [%d]\n", word, i + 1);
      return false;
    }
  }
  return true;
}

// The preferred scanning channel given as the sixth and last word; -1 when
// it is none (each is also reachable by the number 4 lower).
long PscChannel(const char* word) {
  long n = Decimal(word);
  if (n % 16 == 1) {
    n += 4;
  }
  // Bounds first: strtol gives LONG_MIN for a word such as " -9223372036854775808".
  return n >= 5 && n <= 229 && (n - 5) % 16 == 0 ? n : -1;
}

// The request word's value in `names`, or none.
template <size_t N>
std::optional<int32_t> ValueOf(const ValueName (&names)[N], const char* word) {
  for (const ValueName& name : names) {
    if (name.request_word != nullptr && std::strcmp(word, name.request_word) == 0) {
      return name.value;
    }
  }
  return std::nullopt;
}

}  // namespace

CreateWords ParseCreateWords(const Request& request) {
  CreateWords out;
  const std::optional<int32_t> mode = ValueOf(kModeNames, request.words[3]);
  out.mode = mode.value_or(kModeNone);
  if (!mode) {
    out.log = "Unknown mode flag\n";
    return out;
  }
  const std::optional<int32_t> route = ValueOf(kRouteNames, request.words[4]);
  out.route = route.value_or(kRouteUnset);
  if (!route) {
    out.log = "Unknown route flag\n";
    return out;
  }
  out.preferred_channel = 0;
  if (request.count == 6 && request.words[5][0] != '\0' && request.words[5][0] != '-') {
    const long channel = PscChannel(request.words[5]);
    if (channel < 0) {
      out.log = "Bad PSC channel\n";
      return out;
    }
    out.preferred_channel = static_cast<uint32_t>(channel);
  } else if (request.count > 5 && !ParseFlags(request, out)) {
    return out;
  }
  out.accepted = true;
  return out;
}

TestWords ParseTestWords(const Request& request) {
  const long band = Decimal(request.words[3]);
  const long channel = Decimal(request.words[4]);
  // Numbers beyond the 32-bit fields would be stored as something else (a
  // negative band gives hostapd a file without a band, reported running).
  constexpr long kFieldMax = std::numeric_limits<int32_t>::max();
  return TestWords{
      .band = static_cast<int32_t>(band),
      .channel = static_cast<uint32_t>(channel),
      .accepted = band > 1 && channel > 1 && band <= kFieldMax && channel <= kFieldMax,
  };
}

const char* TestPlacementProblem(const TestWords& words, char* reason, size_t size) {
  if (!words.accepted) {
    return nullptr;  // answered "bad arguments" as before
  }
  if (words.band != kBand24 && words.band != kBand5 && words.band != kBand6) {
    FormatCut(reason, size, "test band %d is not 2, 5 or 6", static_cast<int>(words.band));
    return reason;
  }
  int frequency = 0;
  ChannelToFrequency(words.band, words.channel, frequency);
  if (frequency == 0) {
    FormatCut(reason, size, "test channel %u is not a channel of band %d", words.channel,
              static_cast<int>(words.band));
    return reason;
  }
  return nullptr;
}

}  // namespace ww
