// The benchmark's arithmetic and its two outputs.
#include "bench/stats.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace ww::bench {
namespace {

TEST(BenchStats, QuantilesFollowTheNearestRankRule) {
  std::vector<double> hundred;
  for (int i = 100; i >= 1; --i) {
    hundred.push_back(i);  // unsorted on purpose
  }
  EXPECT_EQ(Quantile(hundred, 0.50), 50);
  EXPECT_EQ(Quantile(hundred, 0.99), 99);
  EXPECT_EQ(Quantile(hundred, 1.0), 100);
  EXPECT_EQ(Quantile(hundred, 0.0), 1);
  std::vector<double> one = {7};
  EXPECT_EQ(Quantile(one, 0.99), 7);
  std::vector<double> none;
  EXPECT_EQ(Quantile(none, 0.5), 0);
  // A few slow requests among many fast ones show in p99, not in p50.
  std::vector<double> tail(1000, 100);
  for (int i = 0; i < 20; ++i) {
    tail[static_cast<size_t>(i)] = 5000;
  }
  RoundTrip trip;
  Summarize(tail, trip);
  EXPECT_EQ(trip.p50_us, 100);
  EXPECT_EQ(trip.p99_us, 5000);
}

TEST(BenchStats, RatesAndRatiosNeverDivideByZero) {
  RoundTrip trip;
  trip.requests = 10;
  EXPECT_EQ(trip.Rate(), 0);
  trip.seconds = 2;
  EXPECT_EQ(trip.Rate(), 5);
  EXPECT_EQ(Ratio(3, 0), 0);
  EXPECT_EQ(Ratio(3, 2), 1.5);
}

TEST(BenchStats, JsonHoldsEveryRowBySectionAndStaysValid) {
  const std::vector<Row> rows = {
      {"round trip", "status, 1 clients, rate", 12345.5, "req/s", ""},
      {"footprint", "idle CPU", 0.01, "%", ""},
      {"round trip", "status, 1 clients, x thread floor", 1.25, "", ""},
      {"footprint", "odd \"name\"\n", std::numeric_limits<double>::quiet_NaN(), "", ""},
  };
  const nlohmann::json json = nlohmann::json::parse(FormatJson(rows, "cpu \"x\""));
  EXPECT_EQ(json["machine"], "cpu \"x\"");
  EXPECT_EQ(json["round trip"]["status, 1 clients, rate [req/s]"], 12345.5);
  EXPECT_EQ(json["round trip"]["status, 1 clients, x thread floor"], 1.25);
  EXPECT_EQ(json["footprint"]["idle CPU [%]"], 0.01);
  EXPECT_TRUE(json["footprint"]["odd \"name\"\n"].is_null());
  // Sections keep the order of their first row.
  EXPECT_LT(FormatJson(rows, "").find("round trip"), FormatJson(rows, "").find("footprint"));
}

TEST(BenchStats, TableGroupsRowsUnderTheirSections) {
  const std::vector<Row> rows = {
      {"client", "wavectl status", 812, "us", ""},
      {"client", "true", 400, "us", ""},
      {"footprint", "threads, idle", 5, "", ""},
  };
  EXPECT_EQ(FormatTable(rows),
            "client\n"
            "  wavectl status            812 us\n"
            "  true                      400 us\n"
            "\n"
            "footprint\n"
            "  threads, idle               5\n");
}

}  // namespace
}  // namespace ww::bench
