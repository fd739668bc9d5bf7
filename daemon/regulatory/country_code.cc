#include "daemon/regulatory/country_code.h"

#include <cstdio>

#include "common/util/atomic_file.h"
#include "common/util/nl80211_ids.h"
#include "common/util/report.h"
#include "common/util/unique_file.h"
#include "daemon/netlink/raw_channel.h"
#include "daemon/regulatory/country_resolve.h"

namespace ww {
namespace {

using namespace nl80211;  // NOLINT(google-build-using-namespace)

// Twenty attempts about a second apart; the counter printed runs 19..0.
constexpr int kBootAttempts = 20;
// US is what many drivers report before they know better, so it is only
// believed once the counter has come down to this value (the eighth try).
constexpr int kBelieveUsFromRemaining = 12;
constexpr auto kBootAttemptPause = std::chrono::seconds(1);
constexpr auto kReadBackPause = std::chrono::milliseconds(100);

bool NoAnswer(const char* code) {
  return (code[0] == '0' && code[1] == '0') || (code[0] == '\0' && code[1] == '\0');
}

void CacheCountryCode(const char* path, const char* code) {
  AtomicFileWriter cache(path);
  bool saved = cache.Open();
  if (saved) {
    std::fprintf(stderr, "Caching domain %c%c\n", code[0], code[1]);
    // A failed write leaves the old cache in place, which is still a code
    // this device once adopted.
    saved = cache.Write(code, 2) && cache.Commit();
  }
  if (!saved) {
    // The adoption stands; only the next boot without a kernel answer
    // would miss the code, which is worth a line in the journal.
    ReportSaveFailure(path, cache.Error());
  }
}

}  // namespace

void SetRegulatoryDomain(RawChannel& channel, const char* code) {
  nl::RequestBuilder request(0, nl::kFlagRequest | nl::kFlagAck, kCmdReqSetReg, 0);
  const char alpha2[3] = {code[0], code[1], '\0'};
  request.PutBytes(kAttrRegAlpha2, alpha2, sizeof alpha2);
  RunExchange(channel, request, [](const nl::Message& /*message*/) { return Visit::kContinue; });
}

void ApplyCountryCode(const CountrySetting& setting, const char* code, int priority) {
  CountryCodes& country = setting.codes;
  if (country.resolution_priority.load() > priority) {
    return;
  }
  country.resolution_priority.store(priority);
  char adopted[2];
  country.useCountryCode.Load(adopted);
  if (adopted[0] == code[0] && adopted[1] == code[1]) {
    return;
  }
  country.useCountryCode.Store(code[0], code[1]);
  SetRegulatoryDomain(setting.channel, code);
  setting.sleep(kReadBackPause);
  char read_back[4] = {};
  GetRegulatoryDomain(setting.channel, read_back);
  if (read_back[0] != code[0] || read_back[1] != code[1]) {
    std::fprintf(stderr, "Error: SetReg failed. Set:%c%c  Get:%c%c\n", code[0], code[1],
                 read_back[0], read_back[1]);
    return;
  }
  CacheCountryCode(setting.cache_path, code);
  std::fprintf(stderr, "Domain resolved to %c%c. Resetting teardown for setup\n", code[0], code[1]);
  setting.request_refresh();
}

void ResolveCountryAtBoot(const CountrySetting& setting, const BootSteps& steps) {
  int remaining = kBootAttempts - 1;
  for (;;) {
    steps.sleep(kBootAttemptPause);
    char domain[4] = {};
    GetRegulatoryDomain(setting.channel, domain);
    std::fprintf(stderr, "Called reg get; domain: %c%c (max remain = %d)\n", domain[0], domain[1],
                 remaining);
    const bool early_us =
        domain[0] == 'U' && domain[1] == 'S' && remaining > kBelieveUsFromRemaining;
    if (!NoAnswer(domain) && !early_us) {
      std::fprintf(stderr, "System reports regulatory domain of %c%c\n", domain[0], domain[1]);
      steps.survey();
      ApplyCountryCode(setting, domain, kPriorityKernel);
      steps.replay();
      return;
    }
    if (--remaining < 0) {
      break;
    }
  }

  char fallback[2];
  setting.codes.fallback_country_code.Load(fallback);
  if (fallback[0] != '\0' && fallback[1] != '\0') {
    ApplyCountryCode(setting, fallback, kPriorityFallback);
  } else if (const UniqueFile cache(std::fopen(setting.cache_path, "rbe")); cache != nullptr) {
    char cached[2];
    const size_t got = std::fread(cached, 1, sizeof cached, cache.get());
    if (got == sizeof cached) {
      std::fprintf(stderr, "Using /etc/softap_cache_domain cache: %c%c\n", cached[0], cached[1]);
      ApplyCountryCode(setting, cached, kPriorityCache);
    } else {
      std::fprintf(stderr,
                   "Could not read reg domain from cache file, giving up and not setting "
                   "domain.\n");
    }
  } else {
    std::fprintf(stderr,
                 "No remaining domain resolution systems available, giving up and not setting "
                 "domain.\n");
  }
  steps.replay();
}

bool CapitalCountryCode(const char* code, char out[3]) {
  for (int i = 0; i < 2; ++i) {
    const char c = code[i];
    if (c >= 'a' && c <= 'z') {
      out[i] = static_cast<char>(c - 'a' + 'A');
    } else if (c >= 'A' && c <= 'Z') {
      out[i] = c;
    } else {
      return false;
    }
  }
  out[2] = '\0';
  return true;
}

}  // namespace ww
