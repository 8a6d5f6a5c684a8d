// The do-nothing behaviour of the abstract stream (reads and writes refused as NotSupported), and the
// length-prefixed string helpers.
#include <qarvex/stream/StreamIO.h>

#include <cstring>

namespace qarvex {

int32_t StreamIO::getStatus() {
    return status;
}

StreamIO::~StreamIO() = default;

int32_t StreamIO::getPosition() {
    return 0;
}

bool StreamIO::setPosition(int32_t) {
    return true;
}

int32_t StreamIO::query(int32_t) {
    return 0;
}

bool StreamIO::flush() {
    return true;
}

// A stream that moves no bytes must not let its caller believe some were moved.
bool StreamIO::write(int32_t, const void *) {
    status = NotSupported;
    return false;
}

bool StreamIO::read(int32_t, void *) {
    status = NotSupported;
    return false;
}

void *StreamIO::getDataPointer() {
    return nullptr;
}

void StreamIO::close() {}

int32_t StreamIO::readString(char *destination) {
    uint8_t length = 0;
    if (!read(1, &length)) {
        // Without its length byte nothing of the string can be trusted.
        destination[0] = '\0';
        return 0;
    }
    read(length, destination);
    destination[length] = '\0';
    return length;
}

bool StreamIO::writeString(const char *text) {
    size_t length = text ? std::strlen(text) : 0;
    uint8_t shown = length > 255 ? 255 : uint8_t(length);
    bool wrote = write(1, &shown);
    if (shown > 0)
        return write(shown, text);
    return wrote;
}

} // namespace qarvex
