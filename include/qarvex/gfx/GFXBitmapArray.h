// GFXBitmapArray: an ordered list of owned bitmaps with optional per-bitmap user records and a
// remap table of logical indices, stored as one "PBMA" chunk.
// Threads: one thread at a time per array. Loading makes bitmaps, which are numbered by the unlocked
// bitmapSerialCounter, so arrays and bitmaps are loaded by one thread at a time.
#pragma once

#include <cstdint>
#include <memory>

namespace qarvex {

class StreamIO;
struct GFXBitmap;

class GFXBitmapArray {
public:
    // Flag of read and load: re-index the array by its remap table afterwards.
    static constexpr uint32_t ExpandByRemap = 0x20000000u;
    // Chunk counts are 24-bit.
    static constexpr int32_t MaxEntries = 0x00FFFFFF;
    // Re-indexing makes a slot for every logical index up to the largest; a table reaching beyond
    // this many slots is refused rather than turned into a huge mostly empty array.
    static constexpr int32_t MaxSlots = 1 << 20;

    GFXBitmapArray() = default;
    ~GFXBitmapArray() { release(); }
    GFXBitmapArray(const GFXBitmapArray &) = delete;
    GFXBitmapArray &operator=(const GFXBitmapArray &) = delete;

    // An empty array filled by read; null (everything freed) when the read fails.
    static GFXBitmapArray *load(StreamIO &stream, uint32_t flags);
    static void destroy(GFXBitmapArray *array);
    // Owns an array from load.
    struct Deleter {
        void operator()(GFXBitmapArray *array) const { destroy(array); }
    };
    using Ptr = std::unique_ptr<GFXBitmapArray, Deleter>;

    // Replaces the contents with the array at the stream's position. False for a damaged or
    // truncated array, which is then left released and empty. A bitmap that fails to load leaves
    // a null entry and does not fail the array.
    bool read(StreamIO &stream, uint32_t flags);
    // False, with nothing written, for an array holding null entries or sizes no reader takes.
    bool write(StreamIO &stream, uint32_t flags);
    // The value stored in the PBMA size field (not the chunk's length).
    uint32_t storedSize() const;
    // Destroys the bitmaps and frees the tables; count and userSize stay.
    void release();
    // Makes bitmaps[k] the bitmap of logical index k. False, with nothing changed, for a remap
    // table that is not strictly ascending from 0 or up, or whose slots would not fit memory.
    bool expandByRemap();

    GFXBitmap **bitmaps = nullptr;
    uint8_t *userData = nullptr;
    int32_t *remap = nullptr;
    int32_t count = 0;
    int32_t userSize = 0;

private:
    bool fail();
    bool growEntries(int32_t n);
    bool hasUserRecords() const { return userData && count > 0; }
};

} // namespace qarvex
