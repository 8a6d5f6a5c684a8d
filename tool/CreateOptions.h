// The options of the commands that write volumes: -c, -a and -u with their volume, -m with its
// method, -i, and the words of -u and of the manifest -x leaves. The main option reader hands
// these over.
#pragma once

#include "tool/Options.h"
#include <qarvex/volume/VolumeWriter.h>

#include <cstdio>
#include <string>

namespace qarvex {

namespace tool {

// Reads option letter ('c', 'a', 'u' or 'm'), whose value is rest (what follows the letter in its
// argument) or else next (the following argument). Returns the arguments used up (1 or 2), or -1
// on a usage error.
int parseCreateOption(char letter, const char *rest, const char *next, Options &options, std::string &error);
// When argument is --dry-run, --no-add or --no-manifest, records it and returns 1; else 0.
int parseUpdateOption(const char *argument, Options &options);
// Checks the options as a whole once they are all read.
bool finishCreateOptions(const Options &options, std::string &error);
// The method that -m names (stored when none); false for an unknown name.
bool methodFromName(const char *name, VolumeWriter::Method &method);

void printCreateHelp(std::FILE *out);

} // namespace tool

} // namespace qarvex
