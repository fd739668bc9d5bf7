// JSON string bodies for the daemon's reports.
#pragma once

#include <cstddef>
#include <string>

namespace ww {

// Appends `value` as the body of a JSON string: quotes, backslashes and
// control characters below 0x20 escaped (DEL needs none and is kept), valid
// UTF-8 kept, other bytes as U+FFFD; at most `cap` bytes, never cutting an
// escape or a character.
void AppendJsonString(std::string& out, const char* value, size_t cap);

}  // namespace ww
