// How wavectl turns its arguments into one request.
#pragma once

#include <cstddef>

namespace ww {

inline constexpr size_t kCtlRequestSize = 8192;
inline constexpr size_t kCtlReplySize = 2048;

// Joins the arguments into `buffer`: each followed by a TAB, the last by a NUL
// (which is part of the request). What does not fit is cut at the buffer's
// end. Returns the number of bytes to send.
size_t BuildRequest(int argc, const char* const* argv, char* buffer, size_t size);

}  // namespace ww
