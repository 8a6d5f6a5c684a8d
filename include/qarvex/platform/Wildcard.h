// Name matching and ordering shared by every implementation of the platform layer, so that the
// same directory yields the same names in the same order on every system.
// Threads: plain functions of their arguments; any thread may call them.
#pragma once

#include <string>
#include <vector>

namespace qarvex {

namespace platform {

// Compares two names without regard to letter case (C locale); names that differ only in case
// still get a fixed order, so that sorting is reproducible.
int compareNamesIgnoringCase(const std::string &a, const std::string &b);

// Sorts names by compareNamesIgnoringCase.
void sortNamesIgnoringCase(std::vector<std::string> &names);

} // namespace platform

} // namespace qarvex
