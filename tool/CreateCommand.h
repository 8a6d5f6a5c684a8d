// The commands that write volumes: -c creates one from files and folders, -a adds entries to an
// existing one (replacing entries of the same name) by writing it anew. Either the whole volume is
// written or the output stays as it was.
#pragma once

#include "tool/Console.h"
#include "tool/Options.h"
#include <qarvex/volume/VolumeStream.h>
#include <qarvex/volume/VolumeWriter.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace qarvex {

namespace tool {

int createVolume(const Options &options, Console &console);
int addToVolume(const Options &options, Console &console);

// Writes the volume file at path from entries (under a temporary name, renamed when whole; see
// VolumeWriter::writeFile for beforeRename). On failure says why on standard error and returns
// false: nothing was written.
bool writeVolumeFile(const char *path, const std::vector<VolumeWriter::Entry> &entries,
                     VolumeWriter::Variant variant, Console &console,
                     const std::function<bool()> &beforeRename = {});

// An entry to write that keeps an existing one's id, name, size and method; its stored bytes are
// for the caller to give.
VolumeWriter::Entry keptEntryOf(const VolumeItem &item);

// The id a file name gives with -i: eight hexadecimal digits, then the end or a dot and the
// extension ("000000FF.dat" gives 255). 0 for any other name.
uint32_t idFromFileName(const std::string &name);

} // namespace tool

} // namespace qarvex
