// The "--png FILE..." command: graphics files on disk shown as PNG pictures.
#pragma once

#include "tool/Console.h"
#include "tool/Options.h"

namespace qarvex {

namespace tool {

// Converts every operand; the pictures go beside each file, or into the -C folder. Returns the
// exit status (tool::ExitStatus).
int convertFiles(const Options &options, Console &console);

} // namespace tool

} // namespace qarvex
