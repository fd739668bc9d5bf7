#include "daemon/core/query_pool.h"

namespace ww {

QueryPool::~QueryPool() {
  for (WifiQueryContext& context : contexts) {
    ReleaseWifiQuery(context);  // a closed slot's context is zeroed
  }
}

int TakePooledQuery(QueryPool& pool, bool& open) {
  std::lock_guard<std::mutex> lock(pool.lock);
  int closed = -1;
  for (int i = 0; i < kQueryPoolSize; ++i) {
    if (pool.slots[i] == QueryPool::kIdle) {
      pool.slots[i] = QueryPool::kBusy;
      open = true;
      return i;
    }
    if (pool.slots[i] == QueryPool::kClosed && closed < 0) {
      closed = i;
    }
  }
  if (closed >= 0) {
    pool.slots[closed] = QueryPool::kBusy;
  }
  open = false;
  return closed;
}

void ReturnPooledQuery(QueryPool& pool, int index, bool keep) {
  if (index < 0 || index >= kQueryPoolSize) {
    return;
  }
  if (!keep) {
    // Only this thread holds a busy slot: release it before giving it back.
    ReleaseWifiQuery(pool.contexts[index]);
  }
  std::lock_guard<std::mutex> lock(pool.lock);
  pool.slots[index] = keep ? QueryPool::kIdle : QueryPool::kClosed;
}

}  // namespace ww
