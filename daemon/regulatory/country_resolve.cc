#include "daemon/regulatory/country_resolve.h"

#include <cstdio>
#include <cstring>

#include "common/util/nl80211_ids.h"
#include "daemon/netlink/raw_channel.h"
#include "daemon/regulatory/regdb.h"

namespace ww {
namespace {

using namespace nl80211;  // NOLINT(google-build-using-namespace)

}  // namespace

void GetRegulatoryDomain(RawChannel& channel, char* buffer) {
  nl::RequestBuilder request(0, nl::kFlagRequest | nl::kFlagAck | nl::kFlagDump, kCmdGetReg, 0);
  RunExchange(channel, request, [buffer](const nl::Message& message) {
    char alpha2[2] = {0, 0};
    bool has_wiphy = false;
    nl::AttributeWalker attributes = nl::MessageAttributes(message);
    while (const std::optional<nl::Attribute> a = attributes.Next()) {
      if (a->LowType() == kAttrRegAlpha2) {
        alpha2[0] = a->payload.size() > 0 ? static_cast<char>(a->payload[0]) : '\0';
        alpha2[1] = a->payload.size() > 1 ? static_cast<char>(a->payload[1]) : '\0';
      } else if (a->LowType() == kAttrWiphy) {
        has_wiphy = true;
      }
    }
    // Only a phy's own domain counts; the global one says little about
    // what this radio may do. The last phy wins.
    if (has_wiphy) {
      buffer[0] = alpha2[0];
      buffer[1] = alpha2[1];
    }
    return Visit::kContinue;
  });
}

void ResolveCountryCode(RawChannel& channel, const CountryCodes& country, char* buffer) {
  std::memset(buffer, 0, 4);
  GetRegulatoryDomain(channel, buffer);
  char adopted[2];
  country.useCountryCode.Load(adopted);
  if (buffer[0] != adopted[0] || buffer[1] != adopted[1]) {
    std::fprintf(stderr, "WARNING: useCountryCode=%c%c, gotreg=%c%c\n", adopted[0], adopted[1],
                 buffer[0], buffer[1]);
  }
  if (buffer[0] == '0' || buffer[0] == '\0') {
    buffer[0] = adopted[0];
    buffer[1] = adopted[1];
  }
  if (regdb_find(buffer) == nullptr) {
    std::fprintf(stderr, "WARNING: regdb_find couldn't find country code (%s)\n", buffer);
  }
}

}  // namespace ww
