// Writes the seed corpora of the fuzz targets into DIR/<target>/<name>:
//   make_fuzz_seeds fuzz/corpus
// Requests and texts as clients and dnsmasq write them; netlink answers as
// the kernel sends them, built with the unit tests' block builder and framed
// as the kernel targets read their input (see fuzz_kernel.h).
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "fuzz/fuzz_kernel.h"
#include "tests/unit/fake_kernel.h"

namespace {

using ww::fuzzing::Answer;
using ww::fuzzing::Block;
using ww::fuzzing::kFamily;
using ww::testing::BlockBuilder;
using ww::testing::Rule;
using ww::testing::RuleList;

std::string out_dir;

void Write(const std::string& target, const std::string& name, const std::string& bytes) {
  const std::string dir = out_dir + "/" + target;
  (void)::mkdir(dir.c_str(), 0755);
  FILE* f = std::fopen((dir + "/" + name).c_str(), "wb");
  if (f == nullptr) {
    std::perror(name.c_str());
    return;
  }
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

void WriteAnswers(const std::string& target, const std::string& name,
                  const std::vector<Answer>& answers) {
  const Block bytes = ww::fuzzing::JoinAnswers(answers);
  Write(target, name, std::string(bytes.begin(), bytes.end()));
}

std::vector<uint8_t> Bytes(const std::string& text) {
  return {text.begin(), text.end()};
}

// --- controller ---------------------------------------------------------

constexpr uint16_t kCtrlFamilyId = 1;
constexpr uint16_t kCtrlFamilyName = 2;
constexpr uint16_t kCtrlVersion = 3;
constexpr uint16_t kCtrlMcastGroups = 7 | 0x8000;

BlockBuilder& FamilyMessage(BlockBuilder& b) {
  BlockBuilder group = BlockBuilder::Nested();
  group.AttrString(1, "mlme").AttrU32(2, 5);
  BlockBuilder groups = BlockBuilder::Nested();
  groups.Attr(0x8001, group.Payload());
  return b.Message(16, 1, 1)
      .AttrString(kCtrlFamilyName, "nl80211")
      .AttrU16(kCtrlFamilyId, kFamily)
      .AttrU32(kCtrlVersion, 1)
      .Attr(kCtrlMcastGroups, groups.Payload());
}

void ControlReply() {
  BlockBuilder one;
  FamilyMessage(one).Ack(1);
  WriteAnswers("control_reply", "family_and_ack", {{one.Build()}});
  BlockBuilder family;
  FamilyMessage(family);
  BlockBuilder ack;
  ack.Ack(1);
  WriteAnswers("control_reply", "family_then_ack", {{family.Build(), ack.Build()}});
  WriteAnswers("control_reply", "unknown_family", {{ack.Build()}});
  Block cut = family.Build();
  cut.insert(cut.end(), {64, 0, 0, 0, 16, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0});
  WriteAnswers("control_reply", "cut_message", {{cut, ack.Build()}});
}

// --- nl80211 ------------------------------------------------------------

constexpr uint16_t kAttrWiphy = 1;
constexpr uint16_t kAttrIfindex = 3;
constexpr uint16_t kAttrIfname = 4;
constexpr uint16_t kAttrIftype = 5;
constexpr uint16_t kAttrMac = 6;
constexpr uint16_t kAttrAlpha2 = 33;
constexpr uint16_t kAttrRegRules = 34 | 0x8000;
constexpr uint16_t kAttrWiphyFreq = 38;
constexpr uint16_t kAttrBss = 47 | 0x8000;
constexpr uint16_t kAttrSsid = 52;
constexpr uint16_t kAttrSurveyInfo = 84 | 0x8000;
constexpr uint16_t kAttrDfsRegion = 146;
constexpr uint16_t kAttrChannelWidth = 159;
constexpr uint16_t kAttrCenterFreq1 = 160;

constexpr uint8_t kCmdNewInterface = 7;
constexpr uint8_t kCmdGetReg = 31;
constexpr uint8_t kCmdNewScanResults = 34;
constexpr uint8_t kCmdNewSurveyResults = 51;

constexpr uint32_t kIftypeStation = 2;
constexpr uint32_t kIftypeAp = 3;

constexpr uint32_t kDfs = 0x10;
constexpr uint32_t kNoIr = 0x80;

const std::vector<Rule> kEuropeRules = {{2400000, 2483500, 0},
                                        {5150000, 5250000, 0},
                                        {5250000, 5350000, kDfs},
                                        {5470000, 5725000, kDfs},
                                        {5945000, 6425000, 0}};
const std::vector<Rule> kUsRules = {{2400000, 2472000, 0},    {5170000, 5250000, 0},
                                    {5250000, 5330000, kDfs}, {5490000, 5730000, kDfs},
                                    {5735000, 5835000, 0},    {5925000, 7125000, kNoIr}};
const std::vector<Rule> kNoSixGhzRules = {{2400000, 2483500, 0}, {5150000, 5350000, kNoIr}};

struct Interface {
  const char* name;
  uint32_t phy;
  uint32_t mhz;  // 0: none
  uint32_t iftype;
};

Block InterfaceDump(std::initializer_list<Interface> interfaces) {
  BlockBuilder b;
  uint32_t index = 3;
  for (const Interface& i : interfaces) {
    b.Message(kFamily, 2, kCmdNewInterface)
        .AttrU32(kAttrIfindex, index++)
        .AttrString(kAttrIfname, i.name)
        .AttrU32(kAttrWiphy, i.phy)
        .AttrU32(kAttrIftype, i.iftype)
        .Attr(kAttrMac, {0x02, 0x00, 0x00, 0x00, 0x01, static_cast<uint8_t>(index)});
    if (i.mhz != 0) {
      b.AttrU32(kAttrWiphyFreq, i.mhz)
          .AttrU32(kAttrChannelWidth, 3)
          .AttrU32(kAttrCenterFreq1, i.mhz + 30);
    }
  }
  b.Done(2);
  return b.Build();
}

// The global domain, then the phy's own one.
Block RegDump(uint32_t phy, const char* code, const std::vector<Rule>& rules, bool done = true) {
  BlockBuilder b;
  b.Message(kFamily, 3, kCmdGetReg)
      .AttrString(kAttrAlpha2, "00")
      .Attr(kAttrRegRules, RuleList({{2402000, 2472000, 0}}));
  b.Message(kFamily, 3, kCmdGetReg)
      .AttrString(kAttrAlpha2, code)
      .Attr(kAttrDfsRegion, {2})
      .AttrU32(kAttrWiphy, phy)
      .Attr(kAttrRegRules, RuleList(rules));
  if (done) {
    b.Done(3);
  }
  return b.Build();
}

void RegulatoryDomain() {
  WriteAnswers("regulatory_domain", "phy_de", {{RegDump(0, "DE", kEuropeRules)}});
  BlockBuilder second;
  second.Message(kFamily, 2, kCmdGetReg)
      .AttrString(kAttrAlpha2, "JP")
      .AttrU32(kAttrWiphy, 1)
      .Attr(kAttrRegRules, RuleList(kNoSixGhzRules))
      .Done(2);
  WriteAnswers("regulatory_domain", "two_phys_two_blocks",
               {{RegDump(0, "US", kUsRules, false), second.Build()}});
  BlockBuilder global;
  global.Message(kFamily, 2, kCmdGetReg)
      .AttrString(kAttrAlpha2, "00")
      .Attr(kAttrRegRules, RuleList(kEuropeRules))
      .Done(2);
  WriteAnswers("regulatory_domain", "global_only", {{global.Build()}});
  BlockBuilder short_code;
  short_code.Message(kFamily, 2, kCmdGetReg)
      .Attr(kAttrAlpha2, {'D'})
      .AttrU32(kAttrWiphy, 0)
      .Done(2);
  WriteAnswers("regulatory_domain", "short_alpha2", {{short_code.Build()}});
  BlockBuilder ack;
  ack.Ack(2);
  WriteAnswers("regulatory_domain", "ack_only", {{ack.Build()}});
}

void PhyRules() {
  const Block interfaces = InterfaceDump(
      {{"wlan0", 0, 5180, kIftypeStation}, {"wlanap", 0, 5955, kIftypeAp}, {"p2p0", 0, 0, 10}});
  WriteAnswers("phy_rules", "de_six_ghz",
               {{interfaces}, {RegDump(0, "DE", kEuropeRules)}, {RegDump(0, "DE", kEuropeRules)}});
  WriteAnswers("phy_rules", "us_no_ir",
               {{interfaces}, {RegDump(0, "US", kUsRules)}, {RegDump(0, "US", kUsRules)}});
  WriteAnswers(
      "phy_rules", "gb_no_six_ghz",
      {{interfaces}, {RegDump(0, "GB", kNoSixGhzRules)}, {RegDump(0, "GB", kNoSixGhzRules)}});
  const Block phy1 = InterfaceDump({{"wlan0", 1, 2437, kIftypeStation}});
  WriteAnswers("phy_rules", "phy_without_domain",
               {{phy1}, {RegDump(0, "DE", kEuropeRules)}, {RegDump(0, "DE", kEuropeRules)}});
  WriteAnswers(
      "phy_rules", "no_wlan0",
      {{InterfaceDump({{"eth0", 0, 0, kIftypeStation}})}, {RegDump(0, "FR", kEuropeRules)}});
}

void InterfaceFrequency() {
  const Block dump = InterfaceDump(
      {{"wlan0", 0, 2437, kIftypeStation}, {"wlanap", 0, 5180, kIftypeAp}, {"p2p0", 0, 5955, 10}});
  WriteAnswers("interface_frequency", "three_interfaces", {{dump}, {dump}});
  WriteAnswers("interface_frequency", "ap_down",
               {{InterfaceDump({{"wlan0", 0, 5745, kIftypeStation}, {"wlanap", 0, 0, kIftypeAp}})},
                {InterfaceDump({{"wlan0", 2, 0, kIftypeStation}})}});
  // One interface a block, as a long dump arrives.
  WriteAnswers("interface_frequency", "block_per_interface",
               {{InterfaceDump({{"wlan0", 0, 2412, kIftypeStation}}),
                 InterfaceDump({{"wlanap", 0, 6115, kIftypeAp}})},
                {InterfaceDump({{"wlan1", 1, 0, kIftypeStation}}),
                 InterfaceDump({{"wlan0", 0, 2412, kIftypeStation}})}});
}

// --- scan results -------------------------------------------------------

constexpr uint16_t kBssBssid = 1;
constexpr uint16_t kBssFrequency = 2;
constexpr uint16_t kBssIes = 6;
constexpr uint16_t kBssSignal = 7;
constexpr uint16_t kBssBeaconIes = 11;

std::vector<uint8_t> Elements(const std::string& ssid, const char* country) {
  std::vector<uint8_t> e = {0, static_cast<uint8_t>(ssid.size())};
  e.insert(e.end(), ssid.begin(), ssid.end());
  e.insert(e.end(), {1, 8, 0x8c, 0x12, 0x98, 0x24, 0xb0, 0x48, 0x60, 0x6c});  // rates
  e.insert(e.end(), {3, 1, 36});                                              // channel
  if (country != nullptr) {
    // The code, the environment, and one triplet: channels 36-48 at 23 dBm.
    e.insert(e.end(), {7, 6, static_cast<uint8_t>(country[0]), static_cast<uint8_t>(country[1]),
                       ' ', 36, 4, 23});
  }
  e.insert(e.end(), {48,   20,   1, 0, 0, 0x0f, 0xac, 4,    1, 0, 0,
                     0x0f, 0xac, 4, 1, 0, 0,    0x0f, 0xac, 2, 0, 0});  // RSN
  return e;
}

void AddBss(BlockBuilder& b, uint32_t mhz, const std::vector<uint8_t>* beacon,
            const std::vector<uint8_t>* other) {
  BlockBuilder nested = BlockBuilder::Nested();
  nested.Attr(kBssBssid, {0x02, 0x11, 0x22, 0x33, 0x44, static_cast<uint8_t>(mhz)})
      .AttrU32(kBssFrequency, mhz)
      .AttrU32(kBssSignal, static_cast<uint32_t>(-5500));
  if (other != nullptr) {
    nested.Attr(kBssIes, *other);
  }
  if (beacon != nullptr) {
    nested.Attr(kBssBeaconIes, *beacon);
  }
  b.Message(kFamily, 2, kCmdNewScanResults)
      .AttrU32(kAttrIfindex, 7)
      .Attr(kAttrBss, nested.Payload());
}

void ScanCountries() {
  const auto de = Elements("cafe", "DE");
  const auto us = Elements("office", "US");
  const auto none = Elements("hidden", nullptr);
  BlockBuilder one;
  AddBss(one, 5180, &de, &de);
  one.Done(2);
  WriteAnswers("scan_countries", "one_network", {{one.Build()}});
  BlockBuilder first;
  AddBss(first, 2412, &de, &us);
  AddBss(first, 2437, nullptr, &us);
  BlockBuilder second;
  AddBss(second, 5200, &none, &none);
  AddBss(second, 5745, &us, nullptr);
  second.Done(2);
  WriteAnswers("scan_countries", "mixed_two_blocks", {{first.Build(), second.Build()}});
  auto cut = Elements("cut", "FR");
  cut.resize(cut.size() - 25);  // the Country element runs past the end
  BlockBuilder cut_block;
  AddBss(cut_block, 5500, &cut, &none);
  cut_block.Done(2);
  WriteAnswers("scan_countries", "element_past_end", {{cut_block.Build()}});
  WriteAnswers("scan_countries", "empty_dump", {{BlockBuilder().Done(2).Build()}});
}

// --- survey -------------------------------------------------------------

std::vector<uint8_t> U64(uint64_t v) {
  std::vector<uint8_t> out;
  for (int i = 0; i < 8; ++i) {
    out.push_back(static_cast<uint8_t>(v >> (8 * i)));
  }
  return out;
}

BlockBuilder& AddSurvey(BlockBuilder& b, uint32_t mhz, int8_t noise, uint64_t time, uint64_t busy,
                        bool in_use = false) {
  BlockBuilder info = BlockBuilder::Nested();
  info.AttrU32(1, mhz).Attr(2, {static_cast<uint8_t>(noise)});
  if (in_use) {
    info.Attr(3, {});
  }
  info.Attr(4, U64(time)).Attr(5, U64(busy)).Attr(7, U64(busy / 2)).Attr(8, U64(busy / 8));
  return b.Message(kFamily, 2, kCmdNewSurveyResults)
      .AttrU32(kAttrIfindex, 5)
      .Attr(kAttrSurveyInfo, info.Payload());
}

void SurveyReport() {
  BlockBuilder b;
  AddSurvey(b, 2412, -92, 1000, 250);
  AddSurvey(b, 2437, -90, 1000, 600, true);
  AddSurvey(b, 5180, -95, 0, 0).Done(2);
  WriteAnswers("survey_report", "three_channels", {{b.Build()}});
  BlockBuilder first;
  AddSurvey(first, 5955, -97, 5000, 12);
  first.Message(0x99, 2, 0);  // someone else's type
  BlockBuilder second;
  second.Message(kFamily, 2, kCmdNewSurveyResults)
      .AttrString(kAttrIfname, "wlan0")
      .Attr(kAttrSurveyInfo, {})
      .AttrU32(200, 1)
      .Done(2);
  WriteAnswers("survey_report", "odd_items_two_blocks", {{first.Build(), second.Build()}});
  WriteAnswers("survey_report", "ack_only", {{BlockBuilder().Ack(2).Build()}});
}

// --- libnl readers ------------------------------------------------------

void WifiInfo() {
  const auto info = [](uint32_t iftype, const char* ssid, uint32_t mhz, uint32_t width) {
    BlockBuilder b;
    b.Message(kFamily, 0, kCmdNewInterface)
        .AttrU32(kAttrIfindex, 4)
        .AttrString(kAttrIfname, iftype == kIftypeAp ? "wlanap" : "wlan0")
        .AttrU32(kAttrWiphy, 0)
        .AttrU32(kAttrIftype, iftype)
        .Attr(kAttrMac, {0x02, 0, 0, 0, 0, 4});
    if (ssid != nullptr) {
      b.Attr(kAttrSsid, Bytes(ssid));
    }
    if (mhz != 0) {
      b.AttrU32(kAttrWiphyFreq, mhz)
          .AttrU32(kAttrChannelWidth, width)
          .AttrU32(kAttrCenterFreq1, mhz);
    }
    return b;
  };
  const auto write = [](const char* name, const Block& block) {
    Write("wifi_info", name, std::string(block.begin(), block.end()));
  };
  write("ap_six_ghz", info(kIftypeAp, "MyNet", 5955, 5).Build());
  write("station_five_ghz", info(kIftypeStation, "upstream", 5180, 3).Build());
  write("station_unassociated", info(kIftypeStation, nullptr, 0, 0).Build());
  write("station_then_done", info(kIftypeStation, "café ☕", 2437, 1).Done(0).Build());
  write("ack", BlockBuilder().Ack(0).Build());
}

void Events() {
  constexpr uint8_t kNewStation = 19;
  constexpr uint8_t kDelStation = 20;
  constexpr uint8_t kConnect = 46;
  const std::vector<uint8_t> mac = {0x02, 0xaa, 0xbb, 0xcc, 0xdd, 0xee};
  const auto event = [&](uint8_t command) {
    BlockBuilder b;
    b.Message(kFamily, 0, command)
        .AttrU32(kAttrWiphy, 0)
        .AttrU32(kAttrIfindex, 1)
        .Attr(kAttrMac, mac);
    return b.Build();
  };
  const auto write = [](const char* name, const Block& block) {
    Write("events", name, std::string(block.begin(), block.end()));
  };
  write("new_station", event(kNewStation));
  write("del_station", event(kDelStation));
  write("connect", event(kConnect));
  // A new IPv4 default route: rtmsg (family, lengths, tos, main table,
  // boot protocol, universe scope, unicast, no flags), table, gateway, oif.
  const auto route = [](uint8_t family, uint8_t dst_len) {
    BlockBuilder b;
    b.Message(24, 0, 0, false)
        .Raw({family, dst_len, 0, 0, 254, 3, 0, 1, 0, 0, 0, 0})
        .AttrU32(15, 254)
        .Attr(5, {192, 0, 2, 1})
        .AttrU32(4, 1);
    if (dst_len != 0) {
      b.Attr(1, {198, 51, 100, 0});
    }
    return b.Build();
  };
  write("default_route", route(2, 0));
  write("other_route", route(2, 24));
}

// --- texts --------------------------------------------------------------

void Requests() {
  const std::pair<const char*, std::string> requests[] = {
      {"create_hbs_nat", "create\tnet\tsecret12\thbs\tnat"},
      {"create_defaults", "create\t-\t-\tscs\tnoroute"},
      {"create_flags",
       "create\tHome 'Net'\tpa$$ \"word\"\thbs6\ttransparent\t--channel56\t36\t37\t--hidden\t"
       "--width\t160"},
      {"create_psc", "create\tnet\tsecret12\thbs\tnat\t37"},
      {"create_channels", "create\tnet\tsecret12\thbs6\tnat\t--channel\t5\t--channel5\t149"},
      {"test", "test\tlab\tsecret12\t5\t36"},
      {"teardown", "teardown"},
      {"state", "state"},
      {"getcreds", "getcreds"},
      {"get_channels", "get-channels"},
      {"refresh", "refresh\t--dump-keys"},
      {"fallback", "set-fallback-country-code\tDE"},
      {"unknown", "bogus\tcommand\n"},
      // Overflowed in the PSC channel check before it was mended.
      {"crash_psc_channel_overflow", "create\tnet\tsecret12\thbs\tnat\t -9223372036854775808"},
  };
  for (const auto& [name, text] : requests) {
    Write("request", name, text);
  }
}

void StateReport() {
  using namespace std::string_literals;
  const std::string strings = "DE\0Running\tMyNet\tsecret12\0secret12\0upstream\0MyNet\0"s;
  Write("state_report", "two_clients",
        strings +
            "1700000000 02:aa:bb:cc:dd:01 192.168.4.23 phone 01:02:aa:bb:cc:dd:01\n"
            "1700000100 02:aa:bb:cc:dd:02 192.168.4.24 * *\n");
  Write("state_report", "hostile_names",
        "GB\0Running\tcaf\xc3\xa9 \"net\"\tp\\w\0p\\w \xff\0\x01\x7f\0\xe2\x98\x95\0"s
        "1700000000 02:aa:bb:cc:dd:01 192.168.4.23 \"},{\"x\":` 01:02\n"
        "1700000000 02:aa:bb:cc:dd:03 192.168.4.25 na\xefve\tname,with 'quotes'\n"
        "garbage\n");
  Write("state_report", "idle_no_leases", "00\0Idle\0\0\0\0"s);
  std::string many = strings;
  for (int i = 0; i < 40; ++i) {
    many += "1700000000 02:aa:bb:cc:dd:" + std::to_string(10 + i) + " 192.168.4." +
            std::to_string(30 + i) + " client-" + std::to_string(i) + " *\n";
  }
  Write("state_report", "many_clients", many);
}

void Streaming() {
  using namespace std::string_literals;
  Write("streaming", "streamon", "streamon\twlanap");
  Write("streaming", "on_on_off", "streamon\twlanap\0streamon\tp2p0\0streamoff\twlanap"s);
  Write("streaming", "newline_and_repeat", "streamon\twlan0\n\0streamon\twlan0\0streamon\twlan0"s);
  Write("streaming", "long_name_and_unknown",
        "streamon\tan-interface-name-too-long\0streamoff\0hello\tworld"s);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s CORPUS_DIR\n", argv[0]);
    return 2;
  }
  out_dir = argv[1];
  (void)::mkdir(out_dir.c_str(), 0755);
  Requests();
  ControlReply();
  RegulatoryDomain();
  PhyRules();
  InterfaceFrequency();
  ScanCountries();
  SurveyReport();
  WifiInfo();
  StateReport();
  Streaming();
  Events();
  return 0;
}
