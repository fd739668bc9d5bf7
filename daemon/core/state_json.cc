#include "daemon/core/state_json.h"

#include <array>
#include <cstring>

#include "common/util/fields.h"
#include "common/util/json_string.h"
#include "daemon/lifecycle/daemon_state.h"

namespace ww {
namespace {

constexpr size_t kLeaseLineSize = 1024;
constexpr int kTextFields = 8;
constexpr size_t kUnlimited = static_cast<size_t>(-1);

// The report's name of `value` in `names`, "" for one it does not know.
template <size_t N>
const char* ReportName(const ValueName (&names)[N], int32_t value) {
  for (const ValueName& name : names) {
    if (name.value == value) {
      return name.report_name;
    }
  }
  return "";
}

void Append(std::string& out, const char* text) {
  out += text;
}

void AppendNumber(std::string& out, long value) {
  out += std::to_string(value);
}

// `"key" : "value"` pieces are assembled by hand to keep the exact spacing
// of the report's text.
struct Caps {
  size_t value;  // JSON bytes per string value
};

// One interface's object: `head` opens it, `password` (when given) follows
// the SSID, `tail` closes it.
std::string Interface(const char* head, const WifiInfo& info, const char* password, Caps caps,
                      const char* tail) {
  std::string s = head;
  AppendNumber(s, static_cast<int32_t>(info.frequency));
  Append(s, ", \"channel\" : ");
  AppendNumber(s, static_cast<int32_t>(info.channel));
  Append(s, ", \"SSID\" : \"");
  AppendJsonString(s, info.ssid, caps.value);
  if (password != nullptr) {
    Append(s, "\", \"password\" : \"");
    AppendJsonString(s, password, caps.value);
  }
  Append(s, "\", \"connected\" : ");
  AppendNumber(s, info.connected);
  Append(s, ", \"isAP\" : ");
  AppendNumber(s, info.is_ap);
  Append(s, ", \"band\" : ");
  AppendNumber(s, info.band);
  Append(s, ", \"width\" : ");
  AppendNumber(s, info.width);
  Append(s, tail);
  return s;
}

std::string Status(const StateReportInputs& in, Caps caps) {
  Field fields[kTextFields] = {};
  int count = 0;
  SplitFields(in.text, count, fields, kTextFields);
  const char country[3] = {in.country[0], in.country[1], '\0'};
  std::string s = "{ \"country\" : \"";
  AppendJsonString(s, country, 12);
  Append(s, "\", \"noir\" : ");
  AppendNumber(s, in.noir);
  Append(s, ", \"mode\" : \"");
  Append(s, ReportName(kModeNames, in.mode));
  Append(s, "\", \"route\" : \"");
  Append(s, ReportName(kRouteNames, in.route));
  Append(s, "\", \"state\" : ");
  AppendNumber(s, in.state);
  Append(s, ", \"text\" : \"");
  AppendJsonString(s, fields[0], caps.value);
  if (count <= 1) {
    Append(s, "\" }");
    return s;
  }
  Append(s, "\", \"stations\" : ");
  AppendNumber(s, in.stations);
  Append(s, ", \"ssid\" : \"");
  AppendJsonString(s, fields[1], caps.value);
  Append(s, "\",  \"password\" : \"");
  AppendJsonString(s, fields[2], caps.value);
  Append(s, "\" }");
  return s;
}

std::string Fixed(const StateReportInputs& in, Caps caps) {
  return Interface("{ \"sta\" : { \"frequency\" : ", in.sta, nullptr, caps, " },") +
         Interface("\"ap\" : { \"frequency\" : ", in.ap, in.password, caps, " }, ") +
         "\"status\" : " + Status(in, caps) + ", \"clients\" : [\n";
}

}  // namespace

void CleanLeaseLine(char* line) {
  for (char* p = line; *p != '\0'; ++p) {
    const auto c = static_cast<unsigned char>(*p);
    if (c == '\n') {
      *p = '\0';
      return;
    }
    if (c == ' ') {
      *p = '\t';
    } else if (c < 32 || c == '\'' || c == '"' || c == ',' || c == '`' || c >= 128) {
      *p = '~';
    }
  }
}

std::string BuildStateReport(const StateReportInputs& in) {
  static constexpr const char* kClose = "] }";
  const size_t close_length = std::strlen(kClose);
  // Ordinary values are kept whole; only when hostile ones would crowd out
  // the report's own structure are string values cut, step by step.
  static constexpr std::array<size_t, 5> kCaps = {kUnlimited, 80, 48, 32, 16};
  std::string report;
  for (const size_t cap : kCaps) {
    report = Fixed(in, Caps{cap});
    if (report.size() + close_length <= kStateReportMax) {
      break;
    }
  }
  if (in.leases != nullptr) {
    bool first = true;
    char line[kLeaseLineSize];
    while (std::fgets(line, sizeof line, in.leases) != nullptr) {
      CleanLeaseLine(line);
      Field fields[kTextFields] = {};
      int count = 0;
      SplitFields(line, count, fields, kTextFields);
      if (count < 4) {
        continue;
      }
      std::string entry = first ? "" : ", ";
      entry += "{ \"leastTime\" : \"";
      AppendJsonString(entry, fields[0], kUnlimited);
      entry += "\", \"mac\" : \"";
      AppendJsonString(entry, fields[1], kUnlimited);
      entry += "\", \"ip\" : \"";
      AppendJsonString(entry, fields[2], kUnlimited);
      entry += "\", \"name\" : \"";
      AppendJsonString(entry, fields[3], kUnlimited);
      entry += "\" }\n";
      // Clients that do not fit are left out whole, so the text stays JSON.
      if (report.size() + entry.size() + close_length > kStateReportMax) {
        break;
      }
      report += entry;
      first = false;
    }
  }
  report += kClose;
  return report;
}

}  // namespace ww
