// RLERStream: expands run and literal packets into the caller's buffer; a packet may continue
// across reads. The first failure of the source lasts until the stream is attached again.
#include "stream/RLERStream.h"

#include <algorithm>
#include <climits>
#include <cstring>

RLERStream::RLERStream() : DecodingRStream(KindRLE) {}

void RLERStream::attach(StreamIO *newSource) {
    detach();
    if (!newSource)
        return;
    source = newSource;
    runValue = runRemaining = literalRemaining = 0;
    decodedPosition = 0;
    status = source->getStatus();
}

void RLERStream::detach() {
    if (!source)
        return;
    flush();
    source = nullptr;
    status = NoSource;
}

void RLERStream::close() {
    detach();
}

bool RLERStream::failFromSource() {
    status = source->getStatus();
    // A source that fails without saying why must still leave this stream failed.
    if (status == Ok)
        status = IOError;
    return false;
}

bool RLERStream::read(int32_t count, void *buffer) {
    if (status != Ok)
        return false;
    if (count == 0)
        return true;
    if (!source || count < 0 || count > INT32_MAX - decodedPosition) {
        status = NotSupported;
        return false;
    }
    uint8_t *out = static_cast<uint8_t *>(buffer);
    int32_t remaining = count;
    for (;;) {
        if (literalRemaining > 0) {
            int32_t k = std::min<int32_t>(remaining, literalRemaining);
            if (!source->read(k, out))
                return failFromSource();
            literalRemaining = uint8_t(literalRemaining - k);
            out += k;
            remaining -= k;
            decodedPosition += k;
        } else if (runRemaining > 0) {
            int32_t k = std::min<int32_t>(remaining, runRemaining);
            std::memset(out, runValue, size_t(k));
            runRemaining = uint8_t(runRemaining - k);
            out += k;
            remaining -= k;
            decodedPosition += k;
        }
        if (remaining == 0)
            return true;
        uint8_t control = 0;
        if (!source->read(1, &control))
            return failFromSource();
        if (control & RunFlag) {
            runRemaining = control & LengthMask;
            if (!source->read(1, &runValue))
                return failFromSource();
        } else {
            literalRemaining = control;
            runRemaining = 0;
        }
    }
}

bool RLERStream::setPosition(int32_t position) {
    if (status != Ok)
        return false;
    if (!source || position < 0) {
        status = NotSupported;
        return false;
    }
    int32_t skip = position - decodedPosition;
    if (position < decodedPosition) {
        // Expansion only runs forwards: start again from the beginning of the coded data.
        if (!source->setPosition(0))
            return failFromSource();
        runRemaining = literalRemaining = 0;
        decodedPosition = 0;
        skip = position;
    }
    return skipForward(skip);
}
