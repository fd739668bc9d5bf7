#include "daemon/regulatory/channel_list.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <string>

#include "common/util/format.h"
#include "common/util/json_string.h"
#include "daemon/regulatory/regdb.h"

namespace ww {
namespace {

// The access point does not use 5 GHz channels above 161, so a block that
// reaches past it is not offered.
constexpr int kHighest5GhzPrimary = 161;

// A code as obtained (at most three bytes), each at most a six-byte escape.
constexpr size_t kEscapedCountryMax = 18;

struct ListKind {
  const char* key;
  const BlockEntry* const ChannelPlan::*list;
  uint8_t ChannelPlan::*count;
  int offsets[8];  // primaries relative to the centre, reported in this order
  int offset_count;
  bool five_ghz_limit;
};

// The 6 GHz offsets name only the preferred scanning channels of a block.
constexpr ListKind kListKinds[] = {
    {"5g80", &ChannelPlan::list_5g80, &ChannelPlan::count_5g80, {-6, -2, 2, 6}, 4, true},
    {"5g160",
     &ChannelPlan::list_5g160,
     &ChannelPlan::count_5g160,
     {-14, -10, -6, -2, 2, 6, 10, 14},
     8,
     true},
    {"6g80", &ChannelPlan::list_6g80, &ChannelPlan::count_6g80, {-2}, 1, false},
    {"6g160", &ChannelPlan::list_6g160, &ChannelPlan::count_6g160, {-10, 6}, 2, false},
};

// Text in a fixed buffer. Once a piece does not fit, the text is marked cut
// and later pieces are dropped; the buffer stays NUL-terminated.
struct BoundedText {
  BoundedText(char* buffer, size_t buffer_size)
      : out(buffer), size(buffer_size), cut(buffer_size == 0) {
    if (size != 0) {
      out[0] = '\0';
    }
  }
  char* out;
  size_t size;
  size_t length = 0;
  bool cut;
};

[[gnu::format(printf, 2, 3)]] void Append(BoundedText& text, const char* format, ...) {
  if (text.cut) {
    return;
  }
  const size_t room = text.size - text.length;
  va_list args;
  va_start(args, format);
  // va_start has just initialised it; the analyzer loses track of that.
  // NOLINTNEXTLINE(clang-analyzer-valist.Uninitialized)
  const int wanted = std::vsnprintf(text.out + text.length, room, format, args);
  va_end(args);
  if (wanted < 0 || static_cast<size_t>(wanted) >= room) {
    text.cut = true;
    return;
  }
  text.length += static_cast<size_t>(wanted);
}

void AppendKind(BoundedText& text, const ChannelPlan& plan, const ListKind& kind) {
  Append(text, ",\"%s\":[", kind.key);
  const char* block_separator = "";
  for (const BlockEntry entry : Blocks(plan.*kind.list, plan.*kind.count)) {
    if (BlockNeedsDfs(entry)) {
      continue;
    }
    const int centre = BlockCentre(entry);
    if (kind.five_ghz_limit && centre + kind.offsets[kind.offset_count - 1] > kHighest5GhzPrimary) {
      continue;
    }
    Append(text, "%s{\"center\":%u,\"primaries\":[", block_separator,
           static_cast<unsigned>(centre));
    const char* primary_separator = "";
    for (int i = 0; i < kind.offset_count; ++i) {
      Append(text, "%s%d", primary_separator, centre + kind.offsets[i]);
      primary_separator = ",";
    }
    // Radar-detection blocks are never listed, so every listed block is false.
    Append(text, "],\"dfs\":%s}", "false");
    block_separator = ",";
  }
  Append(text, "]");
}

}  // namespace

size_t FormatChannelList(const char* country, char* out, size_t size, bool& found) {
  const ChannelPlan* plan = regdb_find(country);
  found = plan != nullptr;
  if (plan != nullptr) {
    BoundedText text(out, size);
    // The record's own code, so a lower-case query is reported in upper case.
    Append(text, "{\"country\":\"%s\"", plan->code);
    for (const ListKind& kind : kListKinds) {
      AppendKind(text, *plan, kind);
    }
    Append(text, "}");
    if (!text.cut) {
      return text.length;
    }
    // A report that does not fit is never sent half-written; the client
    // gets the error reply instead.
  }
  // The code may be any two bytes a client set as the fallback country, so
  // it is escaped as in the state report and the reply stays JSON.
  std::string escaped;
  AppendJsonString(escaped, country, kEscapedCountryMax);
  return FormatCut(out, size, "{\"country\":\"%s\",\"error\":\"No channels in domain\"}\n",
                   escaped.c_str());
}

}  // namespace ww
