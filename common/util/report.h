// The one format for reporting a failed library or system call:
// "[module:line in function] call: error text".
#pragma once

namespace ww {

// Thread-safe text for an errno value.
const char* ErrnoText(int err, char* buf, unsigned long size);

// Writes "[%s:%d in %s] %s: %s\n" to standard error. `module` is the source
// module's name without extension, `line` the fixed line number that callers
// depend on when they match the journal.
void ReportCallFailure(const char* module, int line, const char* function, const char* call,
                       int err);

// Writes "Error: could not save <path>: <error text>\n" to standard error:
// a file the daemon keeps across restarts could not be replaced.
void ReportSaveFailure(const char* path, int err);

}  // namespace ww
