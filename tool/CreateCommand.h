// The commands that write volumes: -c creates one from files and folders, -a adds entries to an
// existing one (replacing entries of the same name) by writing it anew. Either the whole volume is
// written or the output stays as it was.
#pragma once

#include "tool/Console.h"
#include "tool/Options.h"

#include <cstdint>
#include <string>

namespace qarvex {

namespace tool {

int createVolume(const Options &options, Console &console);
int addToVolume(const Options &options, Console &console);

// The id a file name gives with -i: eight hexadecimal digits, then the end or a dot and the
// extension ("000000FF.dat" gives 255). 0 for any other name.
uint32_t idFromFileName(const std::string &name);

} // namespace tool

} // namespace qarvex
