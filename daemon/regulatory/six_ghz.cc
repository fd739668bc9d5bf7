#include "daemon/regulatory/six_ghz.h"

#include <cstdio>
#include <cstring>

#include "common/util/interfaces.h"
#include "common/util/nl80211_ids.h"
#include "daemon/netlink/raw_channel.h"
#include "daemon/regulatory/country_resolve.h"

namespace ww {
namespace {

using namespace nl80211;  // NOLINT(google-build-using-namespace)

constexpr uint8_t kRuleFlags = 1;
constexpr uint8_t kRuleStart = 2;
constexpr uint8_t kRuleEnd = 3;
constexpr uint8_t kRuleMaxBandwidth = 4;
constexpr uint8_t kRuleMaxAntennaGain = 5;
constexpr uint8_t kRuleMaxEirp = 6;

constexpr uint32_t kRuleNoIr = 0x80;
// A rule ending above these reaches into the 6 GHz or the 5 GHz band.
constexpr uint32_t kSixGhzRuleAboveKhz = 6300999;
constexpr uint32_t kFiveGhzRuleAboveKhz = 5000999;

RegRule ParseRule(nl::Bytes nested) {
  RegRule rule{};
  nl::AttributeWalker attributes(nested);
  while (const std::optional<nl::Attribute> a = attributes.Next()) {
    const uint32_t value = a->U32().value_or(0);
    switch (a->LowType()) {
      case kRuleFlags:
        rule.flags = value;
        break;
      case kRuleStart:
        rule.start_khz = value;
        break;
      case kRuleEnd:
        rule.end_khz = value;
        break;
      case kRuleMaxBandwidth:
        rule.max_bandwidth_khz = value;
        break;
      case kRuleMaxAntennaGain:
        rule.max_antenna_gain = value;
        break;
      case kRuleMaxEirp:
        rule.max_eirp = value;
        break;
      default:
        break;
    }
  }
  return rule;
}

void ReadPhyDomain(const nl::Message& message, PhyRegulatory& out) {
  nl::AttributeWalker attributes = nl::MessageAttributes(message);
  while (const std::optional<nl::Attribute> a = attributes.Next()) {
    switch (a->LowType()) {
      case kAttrWiphy:
        out.phy = a->U32().value_or(0);
        break;
      case kAttrRegAlpha2:
        out.country[0] = !a->payload.empty() ? static_cast<char>(a->payload[0]) : '\0';
        out.country[1] = a->payload.size() > 1 ? static_cast<char>(a->payload[1]) : '\0';
        out.country[2] = '\0';
        break;
      case kAttrDfsRegion:
        out.dfs_region = a->U8().value_or(0);
        break;
      case kAttrRegRules: {
        nl::AttributeWalker rules(a->payload);
        while (const std::optional<nl::Attribute> r = rules.Next()) {
          if (out.rule_count < kMaxRegRules) {
            out.rules[out.rule_count++] = ParseRule(r->payload);
          }
        }
        break;
      }
      default:
        break;
    }
  }
}

}  // namespace

int FindWlan0Phy(RawChannel& channel, uint32_t* phy) {
  nl::RequestBuilder request(0, nl::kFlagRequest | nl::kFlagAck | nl::kFlagDump, kCmdGetInterface,
                             0);
  bool found = false;
  RunExchange(channel, request, [&](const nl::Message& message) {
    if (found) {
      return Visit::kContinue;  // later answers are only drained
    }
    std::optional<uint32_t> wiphy;
    bool named = false;
    nl::AttributeWalker attributes = nl::MessageAttributes(message);
    while (const std::optional<nl::Attribute> a = attributes.Next()) {
      if (a->LowType() == kAttrWiphy) {
        wiphy = a->U32();
      } else if (a->LowType() == kAttrIfname) {
        named = a->Text() == kStationInterface;
      }
    }
    if (named && wiphy) {
      *phy = *wiphy;
      found = true;
    }
    return Visit::kContinue;
  });
  return found ? 0 : -1;
}

int GetPhyRegulatoryRules(RawChannel& channel, uint32_t phy, PhyRegulatory& out) {
  out = PhyRegulatory{};
  nl::RequestBuilder request(0, nl::kFlagRequest | nl::kFlagAck | nl::kFlagDump, kCmdGetReg, 0);
  bool found = false;
  RunExchange(channel, request, [&](const nl::Message& message) {
    if (found) {
      return Visit::kContinue;
    }
    bool ours = false;
    nl::AttributeWalker attributes = nl::MessageAttributes(message);
    while (const std::optional<nl::Attribute> a = attributes.Next()) {
      if (a->LowType() == kAttrWiphy && a->U32() == phy) {
        ours = true;
        break;
      }
    }
    if (ours) {
      ReadPhyDomain(message, out);
      found = true;
    }
    return Visit::kContinue;
  });
  return found ? 0 : -1;
}

SixGhzFacts EvaluatePhyRules(const PhyRegulatory& domain) {
  SixGhzFacts facts{.no_6ghz = 1, .noir_mode = 0};
  const auto note_no_ir = [&facts](uint32_t flags) {
    if ((flags & kRuleNoIr) != 0) {
      std::fprintf(stderr,
                   "NOTE: Discovered NO-IR / PASSIVE-SCAN in this reg domain.  Enter NOIR mode\n");
      facts.noir_mode = 1;
    }
  };
  const int count = domain.rule_count < kMaxRegRules ? domain.rule_count : kMaxRegRules;
  for (int i = 0; i < count; ++i) {
    const RegRule& rule = domain.rules[i];
    if (rule.end_khz > kSixGhzRuleAboveKhz) {
      facts.no_6ghz = 0;
      std::fprintf(stderr, "NOTE: 6GHz rule: %u - %u MHz (flags=0x%x)\n", rule.start_khz / 1000,
                   rule.end_khz / 1000, rule.flags);
      note_no_ir(rule.flags);
    } else if (rule.end_khz > kFiveGhzRuleAboveKhz) {
      note_no_ir(rule.flags);
    }
  }
  return facts;
}

bool HiddenSsidBlockedIn(const char* country) {
  static constexpr const char* kBlocked[] = {"NL", "PL", "GB", "DE", "DK", "FR", "HR"};
  for (const char* blocked : kBlocked) {
    if (country[0] == blocked[0] && country[1] == blocked[1]) {
      return true;
    }
  }
  return false;
}

SixGhzAvailability CheckSixGhzAvailability(RawChannel& channel, const CountryCodes& country) {
  SixGhzAvailability found{.no_6ghz = 1, .noir_mode = 0, .hidden_ssid_blocked = 0};
  uint32_t phy = 0;
  PhyRegulatory domain{};
  if (FindWlan0Phy(channel, &phy) != 0) {
    std::fprintf(stderr, "Error: could not find the phy for %s.  Assuming no 6GHz support.\n",
                 kStationInterface);
  } else if (GetPhyRegulatoryRules(channel, phy, domain) != 0) {
    std::fprintf(stderr,
                 "Error: phy#%u (%s) has no self-managed regulatory domain.  Assuming no 6GHz "
                 "support.\n",
                 phy, kStationInterface);
  } else {
    const SixGhzFacts facts = EvaluatePhyRules(domain);
    found.no_6ghz = facts.no_6ghz;
    found.noir_mode = facts.noir_mode;
  }
  if (found.no_6ghz == 1) {
    std::fprintf(stderr,
                 "WARNING: Could not find 6GHz line in regulatory domain.  Assuming no 6GHz "
                 "support.\n");
  }
  char code[4];
  ResolveCountryCode(channel, country, code);
  found.hidden_ssid_blocked = HiddenSsidBlockedIn(code) ? 1 : 0;
  return found;
}

}  // namespace ww
