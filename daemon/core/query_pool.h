// Interface-query contexts kept open between command threads. Opening one
// costs a socket, a bind and libnl's allocations, about as much as the query
// itself; `state` and `getcreds` take an open one from here when one is
// free and give it back when their connection ends. Each context is used by
// one thread at a time; the pool hands it over under its lock.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>

#include "common/wifiquery/wifi_query.h"

namespace ww {

inline constexpr int kQueryPoolSize = 4;

struct QueryPool {
  enum Slot : uint8_t { kClosed, kIdle, kBusy };

  QueryPool() = default;
  QueryPool(const QueryPool&) = delete;
  QueryPool& operator=(const QueryPool&) = delete;
  ~QueryPool();  // releases the open contexts (the daemon's pool lives on)

  std::mutex lock;
  // Contexts never move: libnl's handlers point into them.
  std::array<WifiQueryContext, kQueryPoolSize> contexts{};
  std::array<Slot, kQueryPoolSize> slots{};
};

// Takes a slot for the caller: an open idle context first (`open` true),
// else a closed one for the caller to open (`open` false). -1 when every
// slot is busy; the caller then uses a context of its own.
int TakePooledQuery(QueryPool& pool, bool& open);

// Gives back a slot that TakePooledQuery handed out. `keep`: the context is
// open and nothing of an earlier query can still arrive on it; otherwise it
// is released (a context that never opened is zeroed, which releases as
// nothing) and the slot is closed.
void ReturnPooledQuery(QueryPool& pool, int index, bool keep);

}  // namespace ww
