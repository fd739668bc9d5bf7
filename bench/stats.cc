#include "bench/stats.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>

namespace ww::bench {
namespace {

// A JSON key or string body: the names here are ours, but escape anyway.
std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", c);
      out += escape;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string Number(double value) {
  if (!std::isfinite(value)) {
    return "null";
  }
  char text[64];
  std::snprintf(text, sizeof text, "%.6g", value);
  return text;
}

std::string Key(const Row& row) {
  return row.unit.empty() ? row.name : row.name + " [" + row.unit + "]";
}

}  // namespace

double Quantile(std::vector<double>& samples, double q) {
  if (samples.empty()) {
    return 0;
  }
  std::sort(samples.begin(), samples.end());
  const double clamped = std::clamp(q, 0.0, 1.0);
  auto rank = static_cast<size_t>(std::ceil(clamped * static_cast<double>(samples.size())));
  rank = std::clamp<size_t>(rank, 1, samples.size());
  return samples[rank - 1];
}

void Summarize(std::vector<double>& latencies_us, RoundTrip& trip) {
  trip.p50_us = Quantile(latencies_us, 0.50);
  trip.p99_us = Quantile(latencies_us, 0.99);
}

double Ratio(double a, double b) {
  return b != 0 ? a / b : 0;
}

std::string FormatTable(const std::vector<Row>& rows) {
  size_t width = 0;
  for (const Row& row : rows) {
    width = std::max(width, row.name.size());
  }
  std::string out;
  std::string section;
  for (const Row& row : rows) {
    if (row.section != section) {
      section = row.section;
      out += (out.empty() ? "" : "\n") + section + "\n";
    }
    char line[512];
    std::snprintf(line, sizeof line, "  %-*s %14.6g %-6s %s", static_cast<int>(width),
                  row.name.c_str(), row.value, row.unit.c_str(), row.note.c_str());
    std::string text = line;
    while (!text.empty() && text.back() == ' ') {
      text.pop_back();
    }
    out += text + "\n";
  }
  return out;
}

std::string FormatJson(const std::vector<Row>& rows, const std::string& machine) {
  // Sections in their first order; names in theirs.
  std::vector<std::string> order;
  std::map<std::string, std::vector<const Row*>> sections;
  for (const Row& row : rows) {
    if (sections.find(row.section) == sections.end()) {
      order.push_back(row.section);
    }
    sections[row.section].push_back(&row);
  }
  std::string out = "{\n  \"machine\": " + Quoted(machine);
  for (const std::string& section : order) {
    out += ",\n  " + Quoted(section) + ": {";
    const char* separator = "\n";
    for (const Row* row : sections[section]) {
      out += separator;
      out += "    " + Quoted(Key(*row)) + ": " + Number(row->value);
      separator = ",\n";
    }
    out += "\n  }";
  }
  return out + "\n}\n";
}

}  // namespace ww::bench
