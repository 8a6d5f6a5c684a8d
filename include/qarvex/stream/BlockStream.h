// Block streams: one tagged, length-prefixed block inside another stream exposed as a stream of
// its own. Block header: a four-character tag and a size word whose bits 0-30 are the data
// length and whose bit 31 pads the data to 4 bytes instead of 2.
// Threads: one thread at a time per block stream, and its parent stream is not used elsewhere meanwhile.
#pragma once

#include <qarvex/stream/StreamIO.h>

namespace qarvex {

class BlockStream : public StreamIO {
public:
    static constexpr uint32_t PadTo4 = 0x80000000u;
    static constexpr uint32_t LengthMask = 0x7FFFFFFFu;
    static constexpr int32_t HeaderSize = 8;

    int32_t getPosition() override;
    bool setPosition(int32_t position) override;
    int32_t query(int32_t code) override;
    bool flush() override;
    bool write(int32_t count, const void *buffer) override;
    bool read(int32_t count, void *buffer) override;
    void *getDataPointer() override;

    bool isOpen() const { return inner != nullptr; }
    uint32_t dataLength() const { return blockSize & LengthMask; }
    // The offset just past the padding of a block whose header starts at blockStart.
    static int64_t blockEndFor(int64_t blockStart, uint32_t sizeWord);

protected:
    BlockStream() { status = Closed; }
    bool keepInnerInStep();
    bool transfer(int32_t count, void *readInto, const void *writeFrom);
    void forget();

    StreamIO *inner = nullptr; // not owned

public:
    // The header as read or written: tag, then size word. Users read them after opening.
    uint32_t blockId = 0;
    uint32_t blockSize = 0;

protected:
    int32_t position = 0;   // absolute position in the inner stream of the next byte
    int32_t blockStart = 0; // absolute position in the inner stream of the header
};

class BlockRStream : public BlockStream {
public:
    ~BlockRStream() override;

    // Opens the block that starts at the inner stream's position, whatever its tag.
    bool openAny(StreamIO *innerStream);
    // Opens the next block when it carries tag; otherwise skips it and returns false.
    bool open(StreamIO *innerStream, uint32_t tag);
    // Leaves the inner stream at the block end, padding included.
    void close() override;
    // Leaves the inner stream at the block's header, so the block can be opened again.
    void abandon();
};

class BlockRWStream : public BlockStream {
public:
    ~BlockRWStream() override;

    // Writes a header at the inner stream's position and opens the block for writing. A data
    // length of 0 in sizeWord is filled in by close; bit 31 chooses the padding.
    bool begin(StreamIO *innerStream, uint32_t tag, uint32_t sizeWord = 0);
    // Fills in a length left 0, brings the inner stream to the block end, and closes.
    void close() override;
};

} // namespace qarvex
