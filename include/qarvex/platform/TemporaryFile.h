// TemporaryFile: a new file under a fresh hidden name, for output that is renamed into place once
// it is complete, so that a reader never sees half of it. Its data is flushed to the disk before
// the rename, so that after a power cut the name holds the old file or the new one, whole; and an
// interrupted run removes its temporary files on the way out.
// Threads: any thread may create, keep and discard temporary files; the table of live ones is lock-free, so
// an interruption may read it at any moment.
#pragma once

#include <qarvex/platform/Platform.h>

#include <string>

namespace qarvex {

namespace platform {

// Creates a new file named ".qarvex-XXXXXXXX.part" (eight random hexadecimal digits) in `folder`,
// trying another name while the one tried is taken, up to sixteen times. Returns InvalidFile when
// creating fails for another reason or every name was taken (lastError() tells which); `name`
// holds the last name tried. Until keepTemporary or discardTemporary, the file is live: an
// interruption (see removeTemporariesOnInterrupt) removes it.
FileHandle createTemporaryIn(FolderHandle folder, std::string &name);

// Flushes the complete file's data to the disk and closes it. False, with lastError(), when either
// failed; the handle is closed all the same, and the file must then be discarded, never kept.
bool finishTemporary(FileHandle file);

// Gives a finished temporary file its real name (renameIn: replacing target, or failing with
// error::AlreadyExists when it is taken), after which it is no longer live. A cache file, which
// may come out old or missing after a power cut, is closed with closeFile instead of finished and
// kept with Durability::Cache: neither its data nor its name is waited for.
bool keepTemporary(FolderHandle folder, const std::string &name, const char *target, bool replace,
                   Durability durability = Durability::Durable);

// Removes a temporary file that will not be kept.
void discardTemporary(FolderHandle folder, const std::string &name);

// From now on an interruption (onInterrupt) removes every live temporary file of this process
// before it ends. Live files beyond the first 256 at once are left behind as stale ".part" files.
void removeTemporariesOnInterrupt();

} // namespace platform

} // namespace qarvex
