// TemporaryFile: a new file under a fresh hidden name, for output that is renamed into place once
// it is complete, so that a reader never sees half of it.
#pragma once

#include <qarvex/platform/Platform.h>

#include <string>

namespace qarvex {

namespace platform {

// Creates a new file named ".qarvex-XXXXXXXX.part" (eight random hexadecimal digits) in `folder`,
// trying another name while the one tried is taken, up to sixteen times. Returns InvalidFile when
// creating fails for another reason or every name was taken (lastError() tells which); `name`
// holds the last name tried.
FileHandle createTemporaryIn(FolderHandle folder, std::string &name);

} // namespace platform

} // namespace qarvex
