// The state report: the exact text for ordinary values, and valid JSON within
// the budget whatever the names, passphrases, texts and leases hold. Every
// report is read back with a real JSON parser.
#include "daemon/core/state_json.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <random>
#include <string>

#include "daemon/lifecycle/daemon_state.h"

namespace ww {
namespace {

using nlohmann::json;

// A lease file in memory.
class Leases {
 public:
  explicit Leases(std::string text) : text_(std::move(text)) {
    file_ = fmemopen(text_.data(), text_.size(), "r");
  }
  ~Leases() {
    if (file_ != nullptr) {
      std::fclose(file_);
    }
  }
  Leases(const Leases&) = delete;
  Leases& operator=(const Leases&) = delete;
  FILE* File() { return file_; }

 private:
  std::string text_;
  FILE* file_ = nullptr;
};

StateReportInputs Idle() {
  StateReportInputs in{};
  in.password = "";
  in.text = "Idle";
  in.country[0] = '0';
  in.country[1] = '0';
  in.sta.frequency = 2437;
  in.sta.channel = 6;
  std::strcpy(in.sta.ssid, "upstream");
  in.sta.connected = 1;
  in.sta.band = 2;
  in.sta.width = 20;
  return in;
}

StateReportInputs Running() {
  StateReportInputs in = Idle();
  in.password = "secret12";
  in.state = kStateRunning;
  in.text = "SoftAP Running\tnet\tsecret12";
  in.mode = kModeHbs;
  in.route = kRouteNat;
  in.stations = 2;
  in.noir = 3;
  in.country[0] = 'D';
  in.country[1] = 'E';
  in.ap.frequency = 6135;
  in.ap.channel = 37;
  std::strcpy(in.ap.ssid, "net");
  in.ap.is_ap = 1;
  in.ap.band = 6;
  in.ap.width = 160;
  return in;
}

// Builds the report and checks it parses and fits.
json Parsed(const StateReportInputs& in, std::string* text = nullptr) {
  const std::string report = BuildStateReport(in);
  EXPECT_LE(report.size(), kStateReportMax);
  if (text != nullptr) {
    *text = report;
  }
  json parsed;
  try {
    parsed = json::parse(report);
  } catch (const json::exception& e) {
    ADD_FAILURE() << e.what() << "\n" << report;
  }
  return parsed;
}

TEST(StateReport, IdleDaemonIsTheExactText) {
  std::string text;
  Parsed(Idle(), &text);
  EXPECT_EQ(text,
            "{ \"sta\" : { \"frequency\" : 2437, \"channel\" : 6, \"SSID\" : \"upstream\", "
            "\"connected\" : 1, \"isAP\" : 0, \"band\" : 2, \"width\" : 20 },"
            "\"ap\" : { \"frequency\" : 0, \"channel\" : 0, \"SSID\" : \"\", \"password\" : \"\", "
            "\"connected\" : 0, \"isAP\" : 0, \"band\" : 0, \"width\" : 0 }, "
            "\"status\" : { \"country\" : \"00\", \"noir\" : 0, \"mode\" : \"\", \"route\" : \"\", "
            "\"state\" : 0, \"text\" : \"Idle\" }, "
            "\"clients\" : [\n] }");
}

TEST(StateReport, RunningAccessPointHasStationsAndCredentials) {
  std::string text;
  const json j = Parsed(Running(), &text);
  EXPECT_NE(text.find("\"text\" : \"SoftAP Running\", \"stations\" : 2, \"ssid\" : \"net\",  "
                      "\"password\" : \"secret12\" }"),
            std::string::npos);
  EXPECT_EQ(j["status"]["country"], "DE");
  EXPECT_EQ(j["status"]["noir"], 3);
  EXPECT_EQ(j["status"]["mode"], "HBS");
  EXPECT_EQ(j["status"]["route"], "NAT");
  EXPECT_EQ(j["ap"]["SSID"], "net");
  EXPECT_EQ(j["ap"]["password"], "secret12");
  EXPECT_EQ(j["ap"]["isAP"], 1);
  EXPECT_EQ(j["ap"]["width"], 160);
}

TEST(StateReport, ModeAndRouteNames) {
  StateReportInputs in = Idle();
  const std::pair<int32_t, const char*> modes[] = {
      {kModeHbs, "HBS"}, {kModeScs, "SCS"}, {kModeTest, "TEST"}, {kModeHbs6, "HBS6"}, {0, ""}};
  for (const auto& [mode, name] : modes) {
    in.mode = mode;
    EXPECT_EQ(Parsed(in)["status"]["mode"], name);
  }
  const std::pair<int32_t, const char*> routes[] = {
      {kRouteNone, "No Route"}, {kRouteNat, "NAT"}, {kRouteTransparent, "Transparent"}, {7, ""}};
  for (const auto& [route, name] : routes) {
    in.route = route;
    EXPECT_EQ(Parsed(in)["status"]["route"], name);
  }
}

TEST(StateReport, LeasesBecomeClients) {
  Leases leases(
      "1765200000 aa:bb:cc:dd:ee:ff 10.35.78.21 phone,one 01:aa:bb:cc:dd:ee:ff\n"
      "1765200001 11:22:33:44:55:66 10.35.78.22\n"
      "1765200002 11:22:33:44:55:77 10.35.78.23 laptop *\n");
  StateReportInputs in = Running();
  in.leases = leases.File();
  std::string text;
  const json j = Parsed(in, &text);
  EXPECT_NE(
      text.find("\"clients\" : [\n{ \"leastTime\" : \"1765200000\", \"mac\" : "
                "\"aa:bb:cc:dd:ee:ff\", \"ip\" : \"10.35.78.21\", \"name\" : \"phone~one\" }\n"
                ", { \"leastTime\" : \"1765200002\""),
      std::string::npos)
      << text;
  ASSERT_EQ(j["clients"].size(), 2u);  // the three-field line is skipped
  EXPECT_EQ(j["clients"][1]["name"], "laptop");
  EXPECT_EQ(text.substr(text.size() - 4), "\n] }");
}

TEST(CleanLeaseLine, KeepsOnlyWhatIsSafe) {
  char line[] = "a b\tc'd\"e,f`g\x01h\x80i\\j\x7fk\nafter";
  CleanLeaseLine(line);
  EXPECT_STREQ(line, "a\tb~c~d~e~f~g~h~i\\j\x7fk");
}

TEST(StateReport, HostileValuesStayValidJson) {
  const char* hostile[] = {"\"}, \"x\" : 1, {\"",  "back\\slash",  "ctl\x01\x1f\x7f",
                           "bad\xff\xfe",          "half\xe2\x82", "caf\xc3\xa9 \xf0\x9f\x98\x80",
                           "\xed\xa0\x80surrogate"};
  for (const char* value : hostile) {
    StateReportInputs in = Running();
    std::strcpy(in.ap.ssid, "");
    std::strncat(in.ap.ssid, value, 32);
    in.password = value;
    const std::string text = std::string("SoftAP Running\t") + value + "\t" + value;
    in.text = text.c_str();
    const json j = Parsed(in);
    // Nothing leaked out of its string into the structure.
    EXPECT_FALSE(j.contains("x"));
    EXPECT_FALSE(j["ap"].contains("x"));
    EXPECT_EQ(j["status"]["state"], kStateRunning);
  }
  StateReportInputs in = Running();
  in.password = "caf\xc3\xa9";
  EXPECT_EQ(Parsed(in)["ap"]["password"], "caf\xc3\xa9");  // valid UTF-8 is kept
  in.password = "\"}, \"x\" : 1, {\"";
  EXPECT_EQ(Parsed(in)["ap"]["password"], "\"}, \"x\" : 1, {\"");
  in.password = "a\"b\\c\x01";
  EXPECT_EQ(Parsed(in)["ap"]["password"], "a\"b\\c\x01");  // escaped, not lost
  in.password = "x\xff";
  EXPECT_EQ(Parsed(in)["ap"]["password"], "x\xef\xbf\xbd");
  in.password = "del\x7f";  // JSON needs no escape for DEL: the byte itself
  std::string report;
  Parsed(in, &report);
  EXPECT_NE(report.find("\"password\" : \"del\x7f\""), std::string::npos) << report;
}

TEST(StateReport, LongValuesAreCutToKeepTheReportWhole) {
  const std::string long_value(1000, '"');
  StateReportInputs in = Running();
  in.password = long_value.c_str();
  const std::string text =
      "SoftAP Running\t" + std::string(127, 'n') + "\t" + std::string(127, '\\');
  in.text = text.c_str();
  const json j = Parsed(in);
  EXPECT_FALSE(j["ap"]["password"].get<std::string>().empty());
  EXPECT_EQ(j["status"]["state"], kStateRunning);
}

TEST(StateReport, AHundredClientsAreCutWholeWithinTheBudget) {
  std::string text;
  for (int i = 0; i < 100; ++i) {
    text += "17652000" + std::to_string(i) + " aa:bb:cc:dd:ee:" + std::to_string(10 + i) +
            " 10.35.78." + std::to_string(i) + " host" + std::to_string(i) + " *\n";
  }
  Leases leases(text);
  StateReportInputs in = Running();
  in.leases = leases.File();
  std::string report;
  const json j = Parsed(in, &report);
  ASSERT_GT(j["clients"].size(), 0u);
  EXPECT_LT(j["clients"].size(), 100u);
  EXPECT_EQ(j["clients"][0]["name"], "host0");
  for (size_t i = 0; i < j["clients"].size(); ++i) {
    EXPECT_EQ(j["clients"][i]["name"], "host" + std::to_string(i));
  }
}

TEST(StateReport, LongLeaseLinesAreReadInPieces) {
  Leases leases("1 2 3 " + std::string(1500, 'x') + "\n");
  StateReportInputs in = Idle();
  in.leases = leases.File();
  const json j = Parsed(in);
  EXPECT_EQ(j["clients"].size(), 1u);  // the rest of the line has one field
}

TEST(StateReport, RandomInputsAlwaysParseAndFit) {
  std::mt19937 rng(7);
  const auto random_text = [&rng](size_t max) {
    std::string s(rng() % max, ' ');
    for (char& c : s) {
      c = static_cast<char>(1 + rng() % 255);
    }
    return s;
  };
  for (int round = 0; round < 2000; ++round) {
    StateReportInputs in = Running();
    const std::string password = random_text(200);
    const std::string state_text = random_text(300);
    const std::string ssid = random_text(33);
    std::strcpy(in.ap.ssid, ssid.c_str());
    in.password = password.c_str();
    in.text = state_text.c_str();
    in.country[0] = static_cast<char>(rng());
    Leases leases(random_text(2000));
    in.leases = leases.File();
    Parsed(in);
    if (HasFailure()) {
      break;
    }
  }
}

}  // namespace
}  // namespace ww
