// Small text helpers shared by the commands, the reports and the threads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace ww {

inline constexpr int kFieldSize = 128;
using Field = char[kFieldSize];

// Splits `text` at TABs into `fields`. A NUL or newline ends the text. At most
// `max_fields` fields (and never more than fields.size()) receive characters,
// each at most 127 of them; `count` still counts every field seen, so it may
// exceed `max_fields`. Fields that receive no character keep their old
// contents: callers clear the buffers first.
void SplitFields(const char* text, int& count, std::span<Field> fields, int max_fields);

// Reads the beginning of a file (at most size - 1 bytes) and NUL-terminates
// it. A file that cannot be opened yields the empty text and 0; a read error
// yields its negative result with the buffer untouched.
int32_t ReadSmallFile(const char* path, char* buffer, size_t size);

}  // namespace ww
