// The search command: every volume that the volume arguments name is opened in turn and the
// names of its entries that match the expression are printed.
#pragma once

#include <cstdint>
#include <cstdio>

namespace qarvex {

namespace tool {
class Console;
}

namespace search {

// The most matches listed per volume.
inline constexpr int32_t MatchLimit = 16384;
// Follows a volume's matches when the limit cut them short (or they are exactly MatchLimit).
inline constexpr char ListFullLine[] = "... match list full, %s may have have more entries ..\n";

void printUsage(std::FILE *out);

// Searches the volumes of arguments[0..count) for entries matching expression. Results go to out,
// one-line diagnostics to err. Returns the exit code, which is always 0.
int run(const char *expression, char *const *arguments, int count, std::FILE *out, std::FILE *err);
// The same with the tool's console (text or JSON); recursive as forEachVolume takes it.
int run(const char *expression, char *const *arguments, int count, bool recursive, tool::Console &console);

} // namespace search

} // namespace qarvex
