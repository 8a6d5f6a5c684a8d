// TemporaryFile: random hidden names, created with the platform's exclusive create, and the table
// of live ones that an interruption removes. The table is read inside a signal handler, so it is
// made of fixed blocks of slots claimed and released with atomic operations, never a container.
#include <qarvex/platform/TemporaryFile.h>

#include "platform/SlotBlocks.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <random>

namespace qarvex {

namespace platform {

namespace {

enum SlotState : int { Free, Filling, Live };

struct LiveTemporary {
    std::atomic<int> state{Free};
    FolderHandle folder = InvalidFolder;
    char name[24] = {}; // ".qarvex-XXXXXXXX.part"
};

// Any number of temporaries may be live at once (see SlotBlocks).
SlotBlocks<LiveTemporary, 256> live;
std::atomic<bool> interrupted{false};

static_assert(std::atomic<int>::is_always_lock_free && std::atomic<bool>::is_always_lock_free,
              "the table is read inside a signal handler");

// A slot holding folder and name, or null when no slot could be had (memory ran out).
LiveTemporary *claimSlot(FolderHandle folder, const std::string &name) {
    if (name.size() >= sizeof live.slots[0].name)
        return nullptr;
    return live.claim([&](LiveTemporary &slot) {
        int expected = Free;
        if (!slot.state.compare_exchange_strong(expected, Filling))
            return false;
        slot.folder = folder;
        std::memcpy(slot.name, name.c_str(), name.size() + 1);
        slot.state.store(Live);
        return true;
    });
}

void releaseSlot(FolderHandle folder, const std::string &name) {
    bool released = false;
    live.forEach([&](LiveTemporary &slot) {
        if (!released && slot.state.load() == Live && slot.folder == folder && name == slot.name) {
            slot.state.store(Free);
            released = true;
        }
    });
}

void removeLiveTemporaries() {
    interrupted.store(true);
    live.forEach([](LiveTemporary &slot) {
        if (slot.state.load() == Live)
            removeFileIn(slot.folder, slot.name);
    });
}

} // namespace

FileHandle createTemporaryIn(FolderHandle folder, std::string &name) {
    thread_local std::mt19937 random{std::random_device{}()};
    for (int attempt = 0; attempt < 16; ++attempt) {
        char text[32];
        std::snprintf(text, sizeof text, ".qarvex-%08x.part", unsigned(random()));
        name = text;
        // Live before it exists: an interruption between the two finds nothing to remove, never a
        // file it does not know of.
        LiveTemporary *slot = claimSlot(folder, name);
        if (!slot) {
            // Never a file that an interruption would leave behind.
            setLastError(error::NotEnoughMemory);
            return InvalidFile;
        }
        FileHandle file = createFileIn(folder, name.c_str());
        if (file == InvalidFile) {
            uint32_t why = lastError();
            slot->state.store(Free);
            if (why != error::AlreadyExists)
                return InvalidFile;
            continue;
        }
        // On Windows the removal runs beside this thread and may have passed the slot already.
        if (interrupted.load()) {
            closeFile(file);
            removeFileIn(folder, name.c_str());
            return InvalidFile;
        }
        return file;
    }
    return InvalidFile;
}

bool finishTemporary(FileHandle file) {
    bool flushed = flushFile(file);
    // A close that succeeds leaves the flush's reason in lastError().
    bool closed = closeFile(file);
    return flushed && closed;
}

bool keepTemporary(FolderHandle folder, const std::string &name, const char *target, bool replace,
                   Durability durability) {
    if (!renameIn(folder, name.c_str(), target, replace, durability))
        return false;
    releaseSlot(folder, name);
    return true;
}

void discardTemporary(FolderHandle folder, const std::string &name) {
    removeFileIn(folder, name.c_str());
    releaseSlot(folder, name);
}

void removeTemporariesOnInterrupt() {
    onInterrupt(removeLiveTemporaries);
}

} // namespace platform

} // namespace qarvex
