// The "--from-png PICTURE..." command: edited pictures on disk turned back into the graphics files
// that their sidecars name.
#pragma once

#include "tool/Console.h"
#include "tool/Options.h"

namespace qarvex {

namespace tool {

// Rebuilds the graphics file of every picture operand (each file once, however many of its pictures
// are named) beside its sidecar, or into the -C folder. Returns the exit status (tool::ExitStatus).
int convertPicturesBack(const Options &options, Console &console);

} // namespace tool

} // namespace qarvex
