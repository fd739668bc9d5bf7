#include "daemon/netlink/survey_report.h"

#include <net/if.h>
#include <sys/socket.h>

#include <cstring>

#include "common/util/interfaces.h"
#include "common/util/nl80211_ids.h"
#include "daemon/netlink/raw_channel.h"

namespace ww {
namespace {

using namespace nl80211;  // NOLINT(google-build-using-namespace)

constexpr uint16_t kSurveyFrequency = 1;
constexpr uint16_t kSurveyNoise = 2;
constexpr uint16_t kSurveyTime = 4;
constexpr uint16_t kSurveyTimeBusy = 5;

// Division by zero gives the infinity or NaN of the machine it runs on; a
// volatile keeps the compiler from folding it into a different one.
double Percent(int32_t busy, int32_t time) {
  volatile double divisor = time;
  return busy * 100.0 / divisor;
}

void WriteGeneric(uint16_t length, uint16_t type, nl::Bytes payload, FILE* out) {
  std::fprintf(out, "%d: %d\n", length, type);
  for (const uint8_t byte : payload) {
    std::fprintf(out, "%02x ", byte);
  }
  std::fputc('\n', out);
}

// The low 32 bits of a 64-bit item (or of whatever shorter value is there).
uint32_t Low32(nl::Bytes payload) {
  return payload.size() >= 4 ? nl::ReadU32(payload.data()) : 0;
}

}  // namespace

void WriteSurveyInfo(nl::Bytes payload, FILE* out) {
  uint32_t frequency = 0;
  uint32_t time = 0;
  uint32_t busy = 0;
  size_t offset = 0;
  // Unlike other walks, an item of length 0 is still reported before the
  // walk ends.
  while (payload.size() - offset >= nl::kAttributeHeaderSize) {
    const uint8_t* p = payload.data() + offset;
    const uint16_t length = nl::ReadU16(p);
    const uint16_t type = nl::ReadU16(p + 2);
    if (length != 0 && (length < nl::kAttributeHeaderSize || length > payload.size() - offset)) {
      break;
    }
    const nl::Bytes body = length == 0 ? nl::Bytes{}
                                       : payload.subspan(offset + nl::kAttributeHeaderSize,
                                                         length - nl::kAttributeHeaderSize);
    if (type == kSurveyFrequency && body.size() >= 4) {
      frequency = nl::ReadU32(body.data());
    } else if (type == kSurveyNoise && !body.empty()) {
      std::fprintf(out, "Noise: %d dB\n", static_cast<int8_t>(body[0]));
    } else if (type == kSurveyTime && body.size() >= 4) {
      time = Low32(body);
      std::fprintf(out, "Time: %d ns\n", static_cast<int32_t>(time));
    } else if (type == kSurveyTimeBusy && body.size() >= 4) {
      busy = Low32(body);
      std::fprintf(out, "Busy: %d ns\n", static_cast<int32_t>(busy));
    } else {
      WriteGeneric(length, type, body, out);
    }
    if (length == 0) {
      break;
    }
    offset += nl::Align4(length);
    if (offset >= payload.size()) {
      break;
    }
  }
  std::fprintf(out, "SUMMARY, %d, %.1f\n", static_cast<int32_t>(frequency),
               Percent(static_cast<int32_t>(busy), static_cast<int32_t>(time)));
}

void WriteSurveyMessage(const nl::Message& message, FILE* out) {
  nl::AttributeWalker attributes = nl::MessageAttributes(message);
  while (const std::optional<nl::Attribute> a = attributes.Next()) {
    switch (a->LowType()) {
      case 0:
      case kAttrIfindex:
        break;
      case kAttrIfname: {
        const std::string_view name = a->Text();
        std::fprintf(out, "NLMNAME: %.*s\n", static_cast<int>(name.size()), name.data());
        break;
      }
      case kAttrSurveyInfo:
        if (a->payload.empty()) {
          std::fprintf(out, "SUMMARY, %d, %.1f\n", 0, Percent(0, 0));
        } else {
          WriteSurveyInfo(a->payload, out);
        }
        break;
      default:
        std::fprintf(out, "NLM: %d\n", a->LowType());
        break;
    }
  }
}

void ReportChannelSurvey(RawChannel& channel, uint32_t ifindex, FILE* out) {
  nl::RequestBuilder request(0, nl::kFlagRequest | nl::kFlagAck | nl::kFlagDump, kCmdGetSurvey, 0);
  request.PutU32(kAttrIfindex, ifindex);
  struct Survey {
    uint16_t family;
    FILE* out;
  };
  Survey survey{static_cast<uint16_t>(channel.family_id), out};
  static constexpr ExchangeTrace kTrace{
      .sent =
          [](void* context, ssize_t sent) {
            std::fprintf(static_cast<Survey*>(context)->out, "NLScan: %d\n",
                         static_cast<int>(sent));
          },
      .received =
          [](void* context, ssize_t got) {
            std::fprintf(static_cast<Survey*>(context)->out, "Scan Returning: %d\n",
                         static_cast<int>(got));
          },
  };
  RunExchange(
      channel, request,
      [](void* context, const nl::Message& message) {
        const Survey& s = *static_cast<Survey*>(context);
        if (message.type != s.family) {
          std::fprintf(s.out, "NTLMMSG: %d (confusing)\n", message.type);
        } else {
          WriteSurveyMessage(message, s.out);
        }
        return Visit::kContinue;
      },
      &survey, /*all_types=*/true, &kTrace);
}

void ReportChannelSurvey(RawChannel& channel) {
  // The station interface by its own index: a fixed index would survey
  // whatever interface happens to carry it on this device.
  const unsigned ifindex = ::if_nametoindex(kStationInterface);
  if (ifindex == 0) {
    std::fprintf(stderr, "Error: could not get scan results for %s\n", kStationInterface);
    return;
  }
  ReportChannelSurvey(channel, ifindex, stderr);
}

}  // namespace ww
