// Figures of the benchmark: latency summaries, ratios and the printed table
// with its JSON twin. Pure functions over plain values, so the arithmetic is
// tested apart from the measuring.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ww::bench {

// One measured run of request/reply exchanges.
struct RoundTrip {
  long requests = 0;   // answered exchanges
  long errors = 0;     // refused, failed or empty
  double seconds = 0;  // wall time of the run
  double p50_us = 0;
  double p99_us = 0;
  double Rate() const { return seconds > 0 ? static_cast<double>(requests) / seconds : 0; }
};

// The value at quantile `q` (0..1) of `samples`, by the nearest-rank rule;
// 0 for no samples. Sorts `samples`.
double Quantile(std::vector<double>& samples, double q);

// Fills the latency fields of `trip` from per-request latencies in µs.
void Summarize(std::vector<double>& latencies_us, RoundTrip& trip);

// a / b, or 0 when b is 0.
double Ratio(double a, double b);

// One line of the report: a name, a value with its unit, and optional
// comparisons ("1.23x floor").
struct Row {
  std::string section;
  std::string name;
  double value = 0;
  std::string unit;
  std::string note;
};

// The table as printed: sections as headers, values right-aligned.
std::string FormatTable(const std::vector<Row>& rows);

// The same figures as one JSON object: {"section": {"name": value, ...}},
// with the machine description under "machine".
std::string FormatJson(const std::vector<Row>& rows, const std::string& machine);

}  // namespace ww::bench
