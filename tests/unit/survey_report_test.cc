// The channel survey report: the request, every output line, and the reading
// loop against a fake kernel.
#include "daemon/netlink/survey_report.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <string>
#include <vector>

#include "daemon/core/daemon.h"
#include "tests/unit/fake_kernel.h"
#include "tests/unit/test_daemon.h"

namespace ww {
namespace {

using testing::Block;
using testing::BlockBuilder;
using Bytes = std::vector<uint8_t>;

using testing::kFamily;
constexpr uint16_t kAttrSurveyInfo = 84 | 0x8000;

Bytes U64(uint64_t v) {
  Bytes b(8);
  std::memcpy(b.data(), &v, 8);
  return b;
}

// A survey-info payload built from nested items.
class Survey {
 public:
  Survey& Frequency(uint32_t mhz) {
    b_.AttrU32(1, mhz);
    return *this;
  }
  Survey& Noise(uint8_t raw) {
    b_.Attr(2, {raw});
    return *this;
  }
  Survey& InUse() {
    b_.Attr(3, {});
    return *this;
  }
  Survey& Time(uint64_t v) {
    b_.Attr(4, U64(v));
    return *this;
  }
  Survey& Busy(uint64_t v) {
    b_.Attr(5, U64(v));
    return *this;
  }
  Survey& Item(uint16_t type, const Bytes& payload) {
    b_.Attr(type, payload);
    return *this;
  }
  Bytes Payload() { return b_.Payload(); }

 private:
  BlockBuilder b_ = BlockBuilder::Nested();
};

using testing::MemoryStream;

std::string Info(const Bytes& payload) {
  MemoryStream c;
  WriteSurveyInfo(nl::Bytes(payload.data(), payload.size()), c.Out());
  return c.Text();
}

TEST(SurveyInfo, FrequencyTimeAndBusyGiveTheSummary) {
  EXPECT_EQ(Info(Survey().Frequency(2412).Noise(0xA1).Time(100).Busy(25).Payload()),
            "Noise: -95 dB\n"
            "Time: 100 ns\n"
            "Busy: 25 ns\n"
            "SUMMARY, 2412, 25.0\n");
}

TEST(SurveyInfo, InUseFlagAndOtherItemsAreWrittenInHex) {
  EXPECT_EQ(Info(Survey().Frequency(5180).InUse().Item(6, U64(0x0102)).Time(10).Busy(5).Payload()),
            "4: 3\n"
            "\n"
            "12: 6\n"
            "02 01 00 00 00 00 00 00 \n"
            "Time: 10 ns\n"
            "Busy: 5 ns\n"
            "SUMMARY, 5180, 50.0\n");
}

TEST(SurveyInfo, TimesAreTheLowWordReadAsSigned) {
  EXPECT_EQ(Info(Survey().Frequency(2437).Time(0x1'0000'0064).Busy(0xFFFFFFFF).Payload()),
            "Time: 100 ns\n"
            "Busy: -1 ns\n"
            "SUMMARY, 2437, -1.0\n");
}

TEST(SurveyInfo, NoTimeGivesADivisionByZero) {
  const std::string text = Info(Survey().Frequency(2412).Busy(25).Payload());
  EXPECT_EQ(text.substr(0, 12), "Busy: 25 ns\n");
  EXPECT_EQ(text.substr(12), "SUMMARY, 2412, inf\n");
  EXPECT_TRUE(std::regex_match(Info(Survey().Frequency(2412).Payload()),
                               std::regex("SUMMARY, 2412, -?nan\n")));
}

TEST(SurveyInfo, AZeroLengthItemIsWrittenAndEndsTheWalk) {
  Bytes payload = Survey().Frequency(2412).Payload();
  const Bytes zero = {0, 0, 9, 0};
  payload.insert(payload.end(), zero.begin(), zero.end());
  const Bytes after = Survey().Time(1).Payload();
  payload.insert(payload.end(), after.begin(), after.end());
  EXPECT_TRUE(std::regex_match(Info(payload), std::regex("0: 9\n\nSUMMARY, 2412, -?nan\n")));
}

TEST(SurveyInfo, MalformedLengthsEndTheWalkWithoutReadingPastIt) {
  Bytes payload = Survey().Frequency(2412).Payload();
  payload.insert(payload.end(), {200, 0, 4, 0, 1, 2});  // runs past the end
  EXPECT_TRUE(std::regex_match(Info(payload), std::regex("SUMMARY, 2412, -?nan\n")));
  EXPECT_TRUE(std::regex_match(Info({2, 0, 1, 0}), std::regex("SUMMARY, 0, -?nan\n")));
  EXPECT_TRUE(std::regex_match(Info({8, 0, 1, 0, 1, 2}), std::regex("SUMMARY, 0, -?nan\n")));
  uint32_t seed = 99;
  for (int round = 0; round < 3000; ++round) {
    Bytes random(seed % 48);
    for (uint8_t& b : random) {
      seed = seed * 1103515245u + 12345u;
      b = static_cast<uint8_t>((seed >> 16) % 24);
    }
    (void)Info(random);
  }
}

class SurveyReportTest : public testing::KernelTest<testing::TestDaemon> {
 protected:
  std::string Report(uint32_t ifindex) {
    MemoryStream c;
    ReportChannelSurvey(daemon_.nl80211, ifindex, c.Out());
    return c.Text();
  }
};

TEST_F(SurveyReportTest, RequestsTheSurveyOfTheGivenInterface) {
  kernel_.Answer({{BlockBuilder().Ack(2).Build()}});
  EXPECT_EQ(Report(5), "NLScan: 28\nScan Returning: 36\nScan Returning: -1\n");
  const Block expected = {28, 0, 0,  0, kFamily, 0, 0x05, 0x03, 2, 0, 0, 0, 0, 0,
                          0,  0, 50, 0, 0,       0, 8,    0,    3, 0, 5, 0, 0, 0};
  ASSERT_EQ(kernel_.Requests().size(), 1u);
  EXPECT_EQ(kernel_.Requests()[0], expected);
}

TEST_F(SurveyReportTest, ReportsEveryMessageOfEveryBlock) {
  BlockBuilder first;
  first.Message(kFamily, 2, 50)
      .AttrU32(3, 5)
      .AttrString(4, "wlan0")
      .Attr(kAttrSurveyInfo, Survey().Frequency(2412).Time(100).Busy(25).Payload())
      .AttrU32(200, 1);
  first.Message(0x99, 2, 0);  // someone else's type
  BlockBuilder second;
  second.Message(kFamily, 2, 50).Attr(kAttrSurveyInfo, {});
  second.Done(2);
  kernel_.Answer({{first.Build(), second.Build()}});
  const std::string text = Report(5);
  EXPECT_TRUE(std::regex_match(text, std::regex("NLScan: 28\n"
                                                "Scan Returning: \\d+\n"
                                                "NLMNAME: wlan0\n"
                                                "Time: 100 ns\n"
                                                "Busy: 25 ns\n"
                                                "SUMMARY, 2412, 25.0\n"
                                                "NLM: 200\n"
                                                "NTLMMSG: 153 \\(confusing\\)\n"
                                                "Scan Returning: \\d+\n"
                                                "SUMMARY, 0, -?nan\n"
                                                "Scan Returning: -1\n")))
      << text;
}

TEST_F(SurveyReportTest, StaleAnswersAreDroppedBeforeTheRequest) {
  BlockBuilder stale;
  stale.Message(kFamily, 1, 50).AttrString(4, "stale0");
  kernel_.Queue(stale.Build());
  kernel_.Answer({{BlockBuilder().Ack(2).Build()}});
  EXPECT_EQ(Report(5).find("stale0"), std::string::npos);
}

}  // namespace
}  // namespace ww
