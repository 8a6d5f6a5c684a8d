// The stream format of persistent objects: each object is one block whose tag names its class
// (a four-character tag or a small table slot), or "PERS" with the class name inside, or
// "DICT", a reference to an object read earlier. Reading and writing such blocks.
// Threads: reading and writing objects go through the process-wide factory list: one thread at a time.
#pragma once

#include <qarvex/core/LittleEndian.h>
#include <qarvex/core/Vector.h>
#include <qarvex/persist/Persistent.h>

namespace qarvex {

namespace Persistent {

constexpr uint32_t NamedBlockTag = le::tag("PERS");
constexpr uint32_t ReferenceBlockTag = le::tag("DICT");
// The longest class name a named block may carry.
constexpr int32_t MaxStoredNameLength = 128;

// Reads one object block at the stream's position and returns the new object (the caller owns
// it) or null, with the persistence status in status. Null with status 0: no block could be
// opened there, or a reference named a null entry. Afterwards the stream stands after the
// block, padding included, whatever the outcome; only a class found by content reads from the
// stream itself and leaves it where its read ended.
Base *readObject(StreamIO *stream, int32_t &status);

// The reference table: while one is installed every object block read appends one entry (the
// object, or null when none was made), and "DICT" blocks index it from 0. Null uninstalls.
// The table belongs to the caller, and so do the objects in it.
void setReferenceTable(Vector<void *> *table);
Vector<void *> *referenceTable();

// How writeObject names the class of an object.
enum class Framing {
    ByTag,   // the factory's tag
    ByIndex, // the factory's table slot: its tag when that is 1 to 2047, else its index
    ByName,  // a "PERS" block with the factory's name
};

// Writes object as one block: the framing, then writeVersion and write of the object. While a
// write table is installed an object already in it is written as a "DICT" block instead, and
// every object block written appends the object, mirroring what the reader's table will hold.
// Returns a persistence status: 2 when the object has no factory (or none that the framing
// can name), 4 when the stream refused the bytes, or the object's own failure.
int32_t writeObject(StreamIO *stream, Base *object, Framing framing = Framing::ByTag);
// A "DICT" block naming entry index of the reference table.
int32_t writeReference(StreamIO *stream, int32_t index);
void setWriteTable(Vector<void *> *table);
Vector<void *> *writeTable();

// Reads exactly count bytes. Unlike a bare read, a read that stops at a block's data end with
// fewer bytes counts as failed; the bytes not delivered are zero.
bool readFully(StreamIO *stream, int32_t count, void *buffer);

} // namespace Persistent

} // namespace qarvex
