// The -u command: a volume brought up to date with the folder -x wrote. Edited files replace their
// entries, new files are added after them, everything else is copied as it is stored; the volume
// is written anew under a temporary name and takes its name only when whole.
#pragma once

#include "tool/Console.h"
#include "tool/Options.h"

namespace qarvex {

namespace tool {

int updateVolume(const Options &options, Console &console);

} // namespace tool

} // namespace qarvex
