// The get-channels report: the JSON text per country, the error reply, the
// bound of the caller's buffer, and the command end to end without a kernel.
#include "daemon/regulatory/channel_list.h"

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "common/wifiquery/wifi_query.h"
#include "daemon/core/daemon.h"
#include "daemon/core/dispatch.h"
#include "tests/unit/request_test.h"

namespace ww {
namespace {

// The blocks DE's report lists, written out as a client sees them; the other
// reports are built from these and the blocks they add. The lengths are the
// ones clients have been told to expect.
constexpr const char* k5g80Low = R"({"center":42,"primaries":[36,40,44,48],"dfs":false})";
constexpr const char* k5g80High = R"({"center":155,"primaries":[149,153,157,161],"dfs":false})";
constexpr const char* k6g80 = R"({"center":7,"primaries":[5],"dfs":false},)"
                              R"({"center":23,"primaries":[21],"dfs":false},)"
                              R"({"center":39,"primaries":[37],"dfs":false},)"
                              R"({"center":55,"primaries":[53],"dfs":false},)"
                              R"({"center":71,"primaries":[69],"dfs":false},)"
                              R"({"center":87,"primaries":[85],"dfs":false})";
constexpr const char* k6g160 = R"({"center":15,"primaries":[5,21],"dfs":false},)"
                               R"({"center":47,"primaries":[37,53],"dfs":false},)"
                               R"({"center":79,"primaries":[69,85],"dfs":false})";

using Blocks = std::initializer_list<const char*>;

std::string Join(Blocks blocks) {
  std::string text;
  for (const char* block : blocks) {
    text += (text.empty() ? "" : ",") + std::string(block);
  }
  return text;
}

// A report: the country code and the blocks of each list.
std::string Report(const char* country, Blocks five80, Blocks five160, Blocks six80,
                   Blocks six160) {
  return std::string(R"({"country":")") + country + R"(","5g80":[)" + Join(five80) +
         R"(],"5g160":[)" + Join(five160) + R"(],"6g80":[)" + Join(six80) + R"(],"6g160":[)" +
         Join(six160) + "]}";
}

const std::string kDe = Report("DE", {k5g80Low, k5g80High}, {}, {k6g80}, {k6g160});

// DE's blocks, the 6 GHz lists going on to channel 215: 171 and 163 reach
// above channel 161; 50 and 114 need DFS.
const std::string kUs = Report("US", {k5g80Low, k5g80High}, {},
                               {k6g80, R"({"center":103,"primaries":[101],"dfs":false})",
                                R"({"center":119,"primaries":[117],"dfs":false})",
                                R"({"center":135,"primaries":[133],"dfs":false})",
                                R"({"center":151,"primaries":[149],"dfs":false})",
                                R"({"center":167,"primaries":[165],"dfs":false})",
                                R"({"center":183,"primaries":[181],"dfs":false})",
                                R"({"center":199,"primaries":[197],"dfs":false})",
                                R"({"center":215,"primaries":[213],"dfs":false})"},
                               {k6g160, R"({"center":111,"primaries":[101,117],"dfs":false})",
                                R"({"center":143,"primaries":[133,149],"dfs":false})",
                                R"({"center":175,"primaries":[165,181],"dfs":false})",
                                R"({"center":207,"primaries":[197,213],"dfs":false})"});

// No DFS marks: every 5 GHz block up to 155 and both 160 MHz blocks.
const std::string kAz =
    Report("AZ",
           {k5g80Low, R"({"center":58,"primaries":[52,56,60,64],"dfs":false})",
            R"({"center":106,"primaries":[100,104,108,112],"dfs":false})",
            R"({"center":122,"primaries":[116,120,124,128],"dfs":false})",
            R"({"center":138,"primaries":[132,136,140,144],"dfs":false})", k5g80High},
           {R"({"center":50,"primaries":[36,40,44,48,52,56,60,64],"dfs":false})",
            R"({"center":114,"primaries":[100,104,108,112,116,120,124,128],"dfs":false})"},
           {k6g80}, {k6g160});

const std::string kAq = Report("AQ", {}, {}, {}, {});

// Only one 5 GHz block, nothing else.
const std::string kCi = Report("CI", {k5g80Low}, {}, {}, {});

// The reply for a code with no channels, `code` spelled as the JSON text has it.
std::string ErrorReply(const std::string& code) {
  return R"({"country":")" + code + R"(","error":"No channels in domain"})" + "\n";
}

// Runs the formatter into a buffer of `size` bytes followed by a canary and
// returns the text; fails the test when it writes past `size` or returns a
// length that does not match the text.
std::string Format(const char* country, size_t size, bool& found) {
  constexpr unsigned char kCanary = 0xA5;
  constexpr size_t kGuard = 32;
  std::vector<unsigned char> buffer(size + kGuard, kCanary);
  char* out = reinterpret_cast<char*>(buffer.data());
  const size_t length = FormatChannelList(country, out, size, found);
  for (size_t i = size; i < buffer.size(); ++i) {
    EXPECT_EQ(buffer[i], kCanary) << country << " size " << size << " wrote byte " << i;
  }
  if (size == 0) {
    EXPECT_EQ(length, 0u);
    return {};
  }
  EXPECT_LT(length, size) << country;
  EXPECT_EQ(std::strlen(out), length) << country << " size " << size;
  return std::string(out, length);
}

std::string Format(const char* country, bool& found) {
  return Format(country, kChannelListSize, found);
}

TEST(ChannelListFormat, CountriesGiveTheirWholeReport) {
  struct Row {
    const char* country;
    const std::string& expected;
    size_t length;
  };
  const Row rows[] = {
      {"DE", kDe, 557}, {"US", kUs, 1113},  // the longest the table can produce
      {"AZ", kAz, 916}, {"AQ", kAq, 58},   {"CI", kCi, 109},
  };
  for (const Row& row : rows) {
    bool found = false;
    const std::string text = Format(row.country, found);
    EXPECT_TRUE(found) << row.country;
    EXPECT_EQ(text, row.expected) << row.country;
    EXPECT_EQ(text.size(), row.length) << row.country;
  }
}

TEST(ChannelListFormat, LookupIgnoresLetterCaseAndReportsTheTableCode) {
  for (const char* query : {"de", "De", "dE"}) {
    bool found = false;
    EXPECT_EQ(Format(query, found), kDe) << query;
    EXPECT_TRUE(found) << query;
  }
  bool found = false;
  EXPECT_EQ(Format("j1", found), Report("J1", {k5g80Low}, {}, {}, {}));
  EXPECT_TRUE(found);
}

TEST(ChannelListFormat, UnknownCodesGiveTheErrorReplyWithTheCodeAsGiven) {
  struct Row {
    const char* country;
    const char* spelled = nullptr;  // how the reply writes the code, where not as given
  };
  const Row rows[] = {
      {"00"},
      {"EU"},
      {"xx"},
      {"USA"},
      {"U"},
      {""},
      // A fallback code is any two bytes a client chose: the reply stays JSON.
      {"\"\\", "\\\"\\\\"},
      {"\n\xff", "\\u000a\\ufffd"},
  };
  for (const Row& row : rows) {
    bool found = true;
    EXPECT_EQ(Format(row.country, found), ErrorReply(row.spelled ? row.spelled : row.country))
        << row.country;
    EXPECT_FALSE(found) << row.country;
  }
}

TEST(ChannelListFormat, NeverWritesPastTheGivenSize) {
  const std::string error_us = ErrorReply("US");
  const std::string error_00 = ErrorReply("00");
  // Every size up to one past the longest report.
  for (size_t size = 0; size <= 1115; ++size) {
    bool found = false;
    const std::string us = Format("US", size, found);
    EXPECT_TRUE(found);
    if (size > 1113) {
      EXPECT_EQ(us, kUs) << size;
    } else {
      // A report that does not fit is replaced by the error reply, cut to fit.
      EXPECT_EQ(us, error_us.substr(0, size == 0 ? 0 : size - 1)) << size;
    }
    const std::string unknown = Format("00", size, found);
    EXPECT_FALSE(found);
    EXPECT_EQ(unknown, error_00.substr(0, size == 0 ? 0 : size - 1)) << size;
  }
  bool found = false;
  EXPECT_EQ(Format("AQ", 59, found), kAq);
  EXPECT_EQ(Format("DE", 558, found), kDe);
}

// The daemon without a kernel: the regulatory request goes nowhere, so the
// current country is the adopted one.
class ChannelListCommandTest : public testing::RequestTest {
 protected:
  void SetUp() override { daemon_.nl80211.socket_fd = -1; }

  // Runs `get-channels` through the request language; returns the reply and
  // keeps standard error.
  std::string GetChannels(char first, char second) {
    daemon_.country.useCountryCode.Store(first, second);
    return Run("get-channels");
  }
};

TEST_F(ChannelListCommandTest, KnownCountryIsSentOnceWithoutErrorLine) {
  EXPECT_EQ(GetChannels('D', 'E'), kDe);
  EXPECT_EQ(sink_.sends, 1);
  EXPECT_EQ(log_.find("error: lookup failed"), std::string::npos) << log_;

  EXPECT_EQ(GetChannels('d', 'e'), kDe);
  EXPECT_EQ(sink_.sends, 1);
}

TEST_F(ChannelListCommandTest, UnknownCountrySendsErrorReplyThenLogsIt) {
  for (const char* code : {"00", "EU"}) {
    const std::string log_line = std::string("error: lookup failed for country '") + code + "'\n";
    EXPECT_EQ(GetChannels(code[0], code[1]), ErrorReply(code));
    EXPECT_EQ(sink_.sends, 1);
    const size_t at = log_.find(log_line);
    ASSERT_NE(at, std::string::npos) << log_;
    // The error line is the last thing the command writes.
    EXPECT_EQ(at + log_line.size(), log_.size()) << log_;
  }
}

}  // namespace
}  // namespace ww
