#pragma once

#include <cstddef>
#include <string>

namespace ww {

// snprintf for texts whose cut at `size` is part of the format: the reply and
// state buffers have fixed sizes that clients rely on. Returns the length
// written (not the length wanted).
[[gnu::format(printf, 3, 4)]] size_t FormatCut(char* buffer, size_t size, const char* format, ...);

// Appends the formatted text to `text`, whole however long.
[[gnu::format(printf, 2, 3)]] void Appendf(std::string& text, const char* format, ...);

}  // namespace ww
