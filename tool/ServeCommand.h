// The "--serve" command: qarvex hands its whole command line to the viewer program installed
// beside it (qarvex-viewer), which holds the HTTP server, so that every other command starts
// without loading it.
#pragma once

#include "tool/Console.h"

#include <cstdio>

namespace qarvex {

namespace tool {

inline constexpr const char *ViewerProgram = "qarvex-viewer";

// Runs the viewer with argv (null-terminated); its exit status, or Failure when it cannot start.
int startViewer(char *const *argv, Console &console);

void printServeHelp(std::FILE *out);

} // namespace tool

} // namespace qarvex
