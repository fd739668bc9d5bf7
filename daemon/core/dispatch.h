// The management request language: one request in, at most one reply out.
// Pure over its inputs apart from the daemon state the commands change, so
// the whole table is tested without sockets.
#pragma once

#include <cstddef>

#include "common/util/fields.h"

namespace ww {

struct Daemon;
struct WifiInfo;
struct WifiQueryContext;

inline constexpr int kQueryOpen = 1;
inline constexpr int kQueryClosed = 0;
inline constexpr int kQueryFailed = -1;

inline constexpr int kRequestMax = 1024;  // one read of at most this many bytes
inline constexpr int kMaxWords = 16;
inline constexpr int kUsedWords = 15;  // words after the fifteenth are never used

// Where a command sends its one reply. The command thread sends it on the
// connection in one call; tests record it.
class ReplySink {
 public:
  virtual ~ReplySink() = default;
  virtual void Send(const char* data, size_t length) = 0;
};

struct Request {
  const char* raw;  // the bytes read, NUL-terminated after them
  size_t length;    // bytes read
  Field* words;     // kMaxWords cleared word buffers, filled by SplitFields
  int count;        // words seen, at most kUsedWords
};

struct CommandEnv {
  Daemon& daemon;
  WifiQueryContext& query;  // the thread's own, used when the pool has none free
  // kQueryClosed: a query is opened (or taken from the daemon's pool) by the
  // first command that asks an interface; most requests never do.
  // kQueryFailed after that failed.
  int query_state = kQueryOpen;
  int pooled = -1;           // the pool slot in use, -1 for `query`
  bool query_clean = true;   // false once a query timed out: its answer may still come
  bool from_replay = false;  // the boot replay's wavectl sent the request
};

// The command thread's interface query, opened or taken from the pool if it
// is not open yet. Null when it cannot be opened ("Error initializing netlink
// in HandleCommandThread" on standard error): the command then ends without
// a reply, as every command did when the context was opened up front.
WifiQueryContext* OpenQuery(CommandEnv& env);

// Asks nl80211 about `name` through `query` (the hook), noting a time-out.
int QueryInterface(CommandEnv& env, WifiQueryContext& query, const char* name, WifiInfo& out);

// At the end of the connection: a pooled query goes back to the pool, kept
// open unless a query on it timed out. The thread's own is its owner's to
// release.
void CloseQuery(CommandEnv& env);

// Logs, splits and dispatches one request (`raw` is NUL-terminated after
// `length` bytes, length <= kRequestMax). Runs on a command thread.
void ExecuteRequest(CommandEnv& env, const char* raw, size_t length, ReplySink& sink);

}  // namespace ww
