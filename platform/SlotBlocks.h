// SlotBlocks: a table that signal handlers read without locks and that still grows. Slots come in
// fixed blocks; when every slot is taken, another block is linked on with an atomic pointer (and
// never freed), so a handler walking the blocks always meets whole ones.
#pragma once

#include <atomic>
#include <new>

namespace qarvex {

namespace platform {

template <class Slot, int Count> struct SlotBlocks {
    static_assert(std::atomic<SlotBlocks *>::is_always_lock_free,
                  "the blocks are walked inside a signal handler");

    Slot slots[Count];
    std::atomic<SlotBlocks *> next{nullptr};

    template <class Visit> void forEach(Visit visit) {
        for (SlotBlocks *block = this; block; block = block->next.load())
            for (Slot &slot : block->slots)
                visit(slot);
    }

    // The first slot that tryClaim(slot) takes, linking on a block when all are taken; null when
    // none could be had (memory ran out).
    template <class Claim> Slot *claim(Claim tryClaim) {
        for (SlotBlocks *block = this;;) {
            for (Slot &slot : block->slots)
                if (tryClaim(slot))
                    return &slot;
            SlotBlocks *following = block->next.load();
            if (!following) {
                auto *fresh = new (std::nothrow) SlotBlocks;
                if (!fresh)
                    return nullptr;
                // Another thread may have linked one on meanwhile: then that one is used.
                if (block->next.compare_exchange_strong(following, fresh))
                    following = fresh;
                else
                    delete fresh;
            }
            block = following;
        }
    }
};

} // namespace platform

} // namespace qarvex
