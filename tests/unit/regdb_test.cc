// The embedded channel plan, checked against the plan rows and country
// lists as published, parsed here from their written form.
#include "daemon/regulatory/regdb.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace ww {
namespace {

struct PlanRow {
  int client_eirp;
  int client_eirp_psd;
  const char* lists[4];  // 5g80, 5g160, 6g80, 6g160 as written
};

// clang-format off
const PlanRow kPlanRows[] = {
    {14, 1, "42, 58 DFS, 106 DFS, 122 DFS, 155", "50 DFS, 114 DFS", "lower six", "lower three"},
    {0, 0, "42, 58 DFS, 106 DFS, 122 DFS, 155", "50 DFS, 114 DFS", "none", "none"},
    {0, 0, "42, 58 DFS, 106 DFS, 122 DFS, 138 DFS, 155", "50 DFS, 114 DFS", "none", "none"},
    {0, 0, "42, 58 DFS, 106 DFS, 122 DFS", "50 DFS, 114 DFS", "none", "none"},
    {14, 1, "42, 58 DFS, 106 DFS, 122 DFS, 138 DFS, 155", "50 DFS, 114 DFS", "lower six", "lower three"},
    {14, 11, "42, 58 DFS, 106 DFS, 122 DFS, 138 DFS, 155", "50 DFS, 114 DFS", "lower six", "lower three"},
    {0, 0, "42, 58 DFS, 155", "50 DFS", "none", "none"},
    {14, -5, "42, 58 DFS, 106 DFS, 122 DFS, 138 DFS, 155, 171", "50 DFS, 114 DFS, 163", "all fourteen", "all seven"},
    {14, 1, "42, 58 DFS, 106 DFS, 138 DFS, 155", "50 DFS", "lower six", "lower three"},
    {0, 0, "42, 58 DFS", "50 DFS", "none", "none"},
    {14, 1, "42, 58 DFS, 106 DFS, 122 DFS", "50 DFS, 114 DFS", "lower six", "lower three"},
    {0, 0, "155", "none", "none", "none"},
    {0, 0, "42, 58, 106, 122, 138, 155", "50, 114", "none", "none"},
    {14, 1, "42, 155", "none", "lower six", "lower three"},
    {0, 0, "none", "none", "none", "none"},
    {14, 1, "42, 58, 106, 122, 138, 155", "50, 114", "lower six", "lower three"},
    {14, 1, "42, 58 DFS", "50 DFS", "lower six", "lower three"},
    {14, 1, "42, 58 DFS, 106 DFS, 122 DFS, 138 DFS", "50 DFS, 114 DFS", "lower six", "lower three"},
    {0, 0, "42, 58, 106, 138, 155", "50", "none", "none"},
    {14, 1, "42, 58, 106 DFS, 122 DFS, 155", "50, 114 DFS", "lower six", "lower three"},
    {17, -5, "42, 58 DFS, 106 DFS, 122 DFS, 138 DFS, 155", "50 DFS, 114 DFS", "all fourteen", "all seven"},
    {14, -5, "42, 58 DFS, 106 DFS, 138 DFS, 155, 171", "50 DFS, 163", "all fourteen", "all seven"},
    {0, 0, "42", "none", "none", "none"},
    {17, -1, "42, 58 DFS, 106 DFS, 122 DFS, 138 DFS, 155", "50 DFS, 114 DFS", "lower six", "lower three"},
    {14, 127, "42, 58 DFS, 106 DFS, 122 DFS, 138 DFS, 155", "50 DFS, 114 DFS", "all fourteen", "all seven"},
    {14, -8, "42, 58 DFS, 106 DFS, 122 DFS, 138 DFS, 155", "50 DFS, 114 DFS", "all fourteen", "all seven"},
    {14, 1, "155", "none", "lower six", "lower three"},
    {14, -5, "42, 58, 106, 122, 138, 155", "50, 114", "lower six", "lower three"},
    {14, 1, "42, 58, 106, 138, 155", "50", "lower six", "lower three"},
    {0, 0, "42, 58, 106, 122, 155", "50, 114", "none", "none"},
    {14, 1, "42, 58 DFS, 106 DFS, 122 DFS, 155, 171", "50 DFS, 114 DFS, 163", "lower six", "lower three"},
};

// Countries of plan 1, 2, ... in order.
const char* const kPlanCountries[] = {
    "AD AN AT AX BE BG BQ BV BW CH CW CY CZ DE DK EE ES FI FO FR GF GN GQ GR HU IE IS IT KE KM LI LT LU LV MC MD MG MQ MT MU MY NC NL NO PF PL PM PT RE RO SC SE SI SJ SK SL SM SX TF TG TR VA ZA",
    "AE AL AO BA BI BJ CD CV DJ ER GM GW HR IL KG KN KW LA LC LR ME MK ML PH RS RW SA SZ TJ TM UA VC ZM",
    "AG BF BM BN BO BS CG CO EC FM GD GT HT IN KY LB LY MH MO NI PE PG PK PW PY ST SV TC TT UG VU",
    "AF AI AW BL BT BY CM DZ ET GL IQ J1 KH KZ LS MF MR MW MZ NE SN TD WF WS YE ZW",
    "CK GH KR LK MN NA NU NZ SG TH TK TW TZ VN",
    "FK GB GG GI GS HK IM IO JE MS PN SH VG",
    "BB CN DM ID MV NG UY VE",
    "AS GU MP PR UM US VI",
    "AU CC CX HM NF",
    "EG GA TN TO UZ",
    "GE GP OM SR YT",
    "BD GY MM",
    "BZ JM PA",
    "AM JO",
    "AQ CF",
    "AZ RU",
    "EH MA",
    "JP XA",
    "AR",
    "BH",
    "BR",
    "CA",
    "CI",
    "CL",
    "CR",
    "DO",
    "FJ",
    "HN",
    "MX",
    "NP",
    "QA",
};
// clang-format on

// "42, 58 DFS, 155" -> entries; the named 6 GHz groups expand.
std::vector<BlockEntry> ParseList(const std::string& text) {
  static const std::map<std::string, std::vector<int>> kGroups = {
      {"lower six", {7, 23, 39, 55, 71, 87}},
      {"lower three", {15, 47, 79}},
      {"all fourteen", {7, 23, 39, 55, 71, 87, 103, 119, 135, 151, 167, 183, 199, 215}},
      {"all seven", {15, 47, 79, 111, 143, 175, 207}},
  };
  std::vector<BlockEntry> entries;
  if (text == "none") {
    return entries;
  }
  if (const auto group = kGroups.find(text); group != kGroups.end()) {
    for (const int centre : group->second) {
      entries.push_back(static_cast<BlockEntry>(centre));
    }
    return entries;
  }
  std::stringstream items(text);
  std::string item;
  while (std::getline(items, item, ',')) {
    const int centre = std::stoi(item);
    const bool dfs = item.find("DFS") != std::string::npos;
    entries.push_back(static_cast<BlockEntry>(centre | (dfs ? 0x8000 : 0)));
  }
  return entries;
}

std::vector<BlockEntry> ListOf(const BlockEntry* list, uint8_t count) {
  EXPECT_EQ(list == nullptr, count == 0);
  return count == 0 ? std::vector<BlockEntry>{} : std::vector<BlockEntry>(list, list + count);
}

TEST(ChannelPlanTable, EveryCountryHasItsPlan) {
  std::map<std::string, int> plan_of;
  for (size_t plan = 0; plan < std::size(kPlanCountries); ++plan) {
    std::stringstream codes(kPlanCountries[plan]);
    std::string code;
    while (codes >> code) {
      EXPECT_TRUE(plan_of.emplace(code, static_cast<int>(plan)).second) << code;
    }
  }
  ASSERT_EQ(plan_of.size(), 239u);
  ASSERT_EQ(ChannelPlans().size(), 239u);
  for (const ChannelPlan& record : ChannelPlans()) {
    const std::string code(record.code);
    ASSERT_EQ(code.size(), 2u);
    ASSERT_TRUE(plan_of.count(code)) << code;
    const PlanRow& row = kPlanRows[plan_of[code]];
    EXPECT_EQ(record.client_eirp, row.client_eirp) << code;
    EXPECT_EQ(record.client_eirp_psd, row.client_eirp_psd) << code;
    EXPECT_EQ(ListOf(record.list_5g80, record.count_5g80), ParseList(row.lists[0])) << code;
    EXPECT_EQ(ListOf(record.list_5g160, record.count_5g160), ParseList(row.lists[1])) << code;
    EXPECT_EQ(ListOf(record.list_6g80, record.count_6g80), ParseList(row.lists[2])) << code;
    EXPECT_EQ(ListOf(record.list_6g160, record.count_6g160), ParseList(row.lists[3])) << code;
    plan_of.erase(code);
  }
  EXPECT_TRUE(plan_of.empty());
}

TEST(ChannelPlanTable, CodesAscendInByteOrder) {
  const auto plans = ChannelPlans();
  for (size_t i = 1; i < plans.size(); ++i) {
    EXPECT_LT(std::strcmp(plans[i - 1].code, plans[i].code), 0) << plans[i].code;
  }
  const ChannelPlan* j1 = regdb_find("J1");
  ASSERT_NE(j1, nullptr);
  EXPECT_STREQ((j1 - 1)->code, "IT");
  EXPECT_STREQ((j1 + 1)->code, "JE");
}

TEST(ChannelPlanTable, EntriesUseOnlyCentreAndDfsBits) {
  for (const ChannelPlan& p : ChannelPlans()) {
    for (const auto& list :
         {Blocks(p.list_5g80, p.count_5g80), Blocks(p.list_5g160, p.count_5g160),
          Blocks(p.list_6g80, p.count_6g80), Blocks(p.list_6g160, p.count_6g160)}) {
      for (const BlockEntry e : list) {
        EXPECT_EQ(e & 0x7f00, 0) << p.code;
      }
    }
    for (const BlockEntry e : Blocks(p.list_6g80, p.count_6g80)) {
      EXPECT_FALSE(BlockNeedsDfs(e)) << p.code;
    }
  }
}

TEST(ChannelPlanTable, NamedRecords) {
  const ChannelPlan* us = regdb_find("US");
  ASSERT_NE(us, nullptr);
  EXPECT_EQ(us->client_eirp, 14);
  EXPECT_EQ(us->client_eirp_psd, -5);
  EXPECT_EQ(ListOf(us->list_5g80, us->count_5g80),
            (std::vector<BlockEntry>{42, 58 | kDfs, 106 | kDfs, 122 | kDfs, 138 | kDfs, 155, 171}));
  EXPECT_EQ(ListOf(us->list_5g160, us->count_5g160),
            (std::vector<BlockEntry>{50 | kDfs, 114 | kDfs, 163}));
  EXPECT_EQ(us->count_6g80, 14);
  EXPECT_EQ(us->count_6g160, 7);

  const ChannelPlan* de = regdb_find("DE");
  ASSERT_NE(de, nullptr);
  EXPECT_EQ(de->client_eirp, 14);
  EXPECT_EQ(de->client_eirp_psd, 1);
  EXPECT_EQ(ListOf(de->list_5g80, de->count_5g80),
            (std::vector<BlockEntry>{42, 58 | kDfs, 106 | kDfs, 122 | kDfs, 155}));
  EXPECT_EQ(ListOf(de->list_6g80, de->count_6g80),
            (std::vector<BlockEntry>{7, 23, 39, 55, 71, 87}));
  EXPECT_EQ(ListOf(de->list_6g160, de->count_6g160), (std::vector<BlockEntry>{15, 47, 79}));

  EXPECT_EQ(regdb_find("CR")->client_eirp_psd, kNoClientPsd);
  for (const char* empty : {"AQ", "CF"}) {
    const ChannelPlan* p = regdb_find(empty);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->count_5g80 + p->count_5g160 + p->count_6g80 + p->count_6g160, 0) << empty;
  }
  const ChannelPlan* ci = regdb_find("CI");
  ASSERT_NE(ci, nullptr);
  EXPECT_EQ(ListOf(ci->list_5g80, ci->count_5g80), (std::vector<BlockEntry>{42}));
  EXPECT_EQ(ci->count_5g160 + ci->count_6g80 + ci->count_6g160, 0);
}

TEST(RegdbFind, FoldsLettersAndNeedsExactlyTwoCharacters) {
  const ChannelPlan* us = regdb_find("US");
  EXPECT_EQ(regdb_find("us"), us);
  EXPECT_EQ(regdb_find("uS"), us);
  EXPECT_EQ(regdb_find("de"), regdb_find("DE"));
  EXPECT_EQ(regdb_find("j1"), regdb_find("J1"));
  const ChannelPlan* za = regdb_find("ZA");  // the letters at both ends of the range
  ASSERT_NE(za, nullptr);
  EXPECT_EQ(regdb_find("za"), za);
  for (const char* refused : {"00", "EU", "XX", "USA", "U", "", "u\x01", "1J"}) {
    EXPECT_EQ(regdb_find(refused), nullptr) << refused;
  }
  EXPECT_EQ(regdb_find(nullptr), nullptr);
}

}  // namespace
}  // namespace ww
