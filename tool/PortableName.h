// PortableName: the entry names that Windows cannot hold as file names (devices such as CON or
// LPT1, names ending in a dot or a space, characters it reserves), and how --portable-names
// renames them so that an extraction gives the same files on every system.
#pragma once

#include "tool/EntryPath.h"

#include <string>
#include <string_view>

namespace qarvex {

namespace tool {

// Why Windows cannot hold component as a file or folder name, or null when it can.
const char *windowsNameTrouble(std::string_view component);

// component renamed so that Windows can hold it: each reserved character and each trailing dot or
// space becomes '_', and a device name gets '_' after it ("CON.txt" becomes "CON_.txt").
std::string portableName(std::string_view component);

// Why Windows cannot hold one of where's folders or its file, or null when it can hold them all.
const char *windowsPathTrouble(const EntryPath &where);

// Renames where's folders and file as portableName does, when Windows cannot hold one of them,
// and returns the name as written ("aux_\\notes.txt"); empty when nothing needed renaming.
std::string makePortable(EntryPath &where);

} // namespace tool

} // namespace qarvex
