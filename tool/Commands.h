// The commands that options select. Each walks the volumes with the search command's matcher and
// returns the exit status (tool::ExitStatus).
#pragma once

#include "tool/Console.h"
#include "tool/Options.h"

namespace qarvex {

namespace tool {

// -l: each volume with matches, one aligned row per matching entry, and a total line.
int listEntries(const Options &options, Console &console);
// -x: every matching entry decoded into a file under the target folder.
int extractEntries(const Options &options, Console &console);
// -t: every matching entry decoded to its size, the failures reported, and a summary line.
int testEntries(const Options &options, Console &console);

} // namespace tool

} // namespace qarvex
