// Block streams: reading, writing and finishing tagged blocks inside an inner stream.
#include <qarvex/stream/BlockStream.h>

#include <qarvex/core/LittleEndian.h>

namespace qarvex {

namespace {

void decodeHeader(const uint8_t *bytes, uint32_t &tag, uint32_t &sizeWord) {
    tag = le::read32(bytes);
    sizeWord = le::read32(bytes + 4);
}

void encodeHeader(uint8_t *bytes, uint32_t tag, uint32_t sizeWord) {
    le::write32(bytes, tag);
    le::write32(bytes + 4, sizeWord);
}

} // namespace

int64_t BlockStream::blockEndFor(int64_t blockStart, uint32_t sizeWord) {
    int64_t unit = (sizeWord & PadTo4) ? 4 : 2;
    int64_t length = sizeWord & LengthMask;
    return blockStart + HeaderSize + (length + unit - 1) / unit * unit;
}

void BlockStream::forget() {
    inner = nullptr;
    position = 0;
    blockStart = 0;
    status = Closed;
}

int32_t BlockStream::getPosition() {
    if (status == Ok || status == EndOfData)
        return position - blockStart - HeaderSize;
    return 0;
}

bool BlockStream::setPosition(int32_t blockPosition) {
    if (status != Ok && status != EndOfData)
        return false;
    if (blockPosition < 0) {
        status = NotSupported;
        return false;
    }
    bool clipped = false;
    uint32_t length = dataLength();
    if (length != 0 && uint32_t(blockPosition) > length) {
        blockPosition = int32_t(length);
        clipped = true;
    }
    int64_t target = int64_t(blockStart) + HeaderSize + blockPosition;
    if (target > INT32_MAX) {
        status = NotSupported;
        return false;
    }
    if (target != position) {
        if (!inner->setPosition(int32_t(target))) {
            position = inner->getPosition();
            status = IOError;
            return false;
        }
        status = inner->getStatus();
        position = int32_t(target);
    }
    if (clipped)
        status = EndOfData;
    return true;
}

bool BlockStream::keepInnerInStep() {
    if (inner->getPosition() != position && !inner->setPosition(position)) {
        status = IOError;
        return false;
    }
    return true;
}

bool BlockStream::transfer(int32_t count, void *readInto, const void *writeFrom) {
    if (!keepInnerInStep())
        return false;
    uint32_t length = dataLength();
    if (length != 0) {
        int64_t dataEnd = int64_t(blockStart) + HeaderSize + length;
        if (position + int64_t(count) > dataEnd) {
            status = EndOfData;
            int64_t left = dataEnd - position;
            if (left <= 0) {
                lastCount = 0;
                return false;
            }
            count = int32_t(left);
        }
    }
    bool done = readInto ? inner->read(count, readInto) : inner->write(count, writeFrom);
    if (!done) {
        position = inner->getPosition();
        status = IOError;
        lastCount = inner->getLastCount();
        return false;
    }
    position += count;
    lastCount = count;
    return true;
}

bool BlockStream::read(int32_t count, void *buffer) {
    if (!inner)
        return false;
    return transfer(count, buffer, nullptr);
}

bool BlockStream::write(int32_t count, const void *buffer) {
    if (status != Ok || !inner)
        return false;
    return transfer(count, nullptr, buffer);
}

bool BlockStream::flush() {
    if ((status != Ok && status != EndOfData) || !inner)
        return false;
    if (!inner->flush()) {
        status = IOError;
        return false;
    }
    return true;
}

int32_t BlockStream::query(int32_t code) {
    return inner ? inner->query(code) : 0;
}

void *BlockStream::getDataPointer() {
    return inner ? inner->getDataPointer() : nullptr;
}

BlockRStream::~BlockRStream() {
    close();
}

bool BlockRStream::openAny(StreamIO *innerStream) {
    close();
    if (innerStream->getStatus() != Ok)
        return false;
    inner = innerStream;
    blockStart = inner->getPosition();
    // Zeroed first: a block stream underneath may deliver fewer bytes and still succeed.
    uint8_t header[HeaderSize] = {};
    if (!inner->read(HeaderSize, header)) {
        inner = nullptr;
        blockStart = 0;
        return false;
    }
    decodeHeader(header, blockId, blockSize);
    position = blockStart + HeaderSize;
    status = Ok;
    return true;
}

bool BlockRStream::open(StreamIO *innerStream, uint32_t tag) {
    if (openAny(innerStream) && blockId == tag)
        return true;
    close();
    return false;
}

void BlockRStream::close() {
    if (!inner)
        return;
    int64_t end = blockEndFor(blockStart, blockSize);
    if (position != end) {
        if (inner->query(QueryCanSeek) != 0) {
            inner->setPosition(end > INT32_MAX ? INT32_MAX : int32_t(end));
        } else {
            uint8_t discarded;
            for (int64_t at = position; at < end; ++at)
                if (!inner->read(1, &discarded))
                    break;
        }
    }
    forget();
}

void BlockRStream::abandon() {
    if (inner)
        inner->setPosition(blockStart);
    forget();
}

BlockRWStream::~BlockRWStream() {
    close();
}

bool BlockRWStream::begin(StreamIO *innerStream, uint32_t tag, uint32_t sizeWord) {
    close();
    if (innerStream->getStatus() != Ok)
        return false;
    int32_t start = innerStream->getPosition();
    uint8_t header[HeaderSize];
    encodeHeader(header, tag, sizeWord);
    if (!innerStream->write(HeaderSize, header))
        return false;
    inner = innerStream;
    blockStart = start;
    blockId = tag;
    blockSize = sizeWord;
    position = start + HeaderSize;
    status = Ok;
    return true;
}

void BlockRWStream::close() {
    if (!inner)
        return;
    const int32_t writtenEnd = position; // zeros never go over data written through this block
    bool headerKnown = true;
    if (dataLength() == 0) {
        blockSize = (blockSize & PadTo4) | (uint32_t(position - blockStart - HeaderSize) & LengthMask);
        uint8_t header[HeaderSize];
        encodeHeader(header, blockId, blockSize);
        headerKnown = inner->setPosition(blockStart) && inner->write(HeaderSize, header);
        position = blockStart + HeaderSize;
    }
    if (headerKnown) {
        int64_t end = blockEndFor(blockStart, blockSize);
        if (position != end) {
            if (inner->query(QueryCanSeek) != 0) {
                inner->setPosition(end > INT32_MAX ? INT32_MAX : int32_t(end));
                position = inner->getPosition();
            }
            // The inner stream may still stand inside the data: after rewriting the header of a
            // stream that says it cannot seek, or after a seek that fell short. Zeros written
            // from there would destroy the data, so the fill starts only past it.
            const uint8_t zero = 0;
            if (position >= writtenEnd)
                for (int64_t at = position; at < end; ++at)
                    if (!inner->write(1, &zero))
                        break;
        }
    }
    forget();
}

} // namespace qarvex
