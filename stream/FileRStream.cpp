// FileRStream: the windowed file reader. While the window is in use the stream's position is
// windowPosition and the file pointer stands just after the window's last byte; otherwise the
// stream's position is the file pointer.
#include <qarvex/stream/FileRStream.h>

#include <algorithm>
#include <cstring>

namespace qarvex {

FileRStream::~FileRStream() {
    close();
}

bool FileRStream::open(const char *path) {
    close();
    handle = platform::openFile(path, platform::OpenMode::ReadShared);
    if (handle == platform::InvalidFile) {
        status = AccessError;
        return false;
    }
    status = Ok;
    ownsHandle = true;
    return true;
}

void FileRStream::close() {
    if (ownsHandle && handle != platform::InvalidFile) {
        if (!platform::closeFile(handle)) {
            status = IOError;
            return;
        }
    }
    handle = platform::InvalidFile;
    status = Closed;
    emptyWindow();
}

bool FileRStream::failFromSystem() {
    switch (platform::lastError()) {
    case platform::error::FileNotFound:
    case platform::error::TooManyOpenFiles:
    case platform::error::InvalidHandle:
    case platform::error::InvalidAccess:
    case platform::error::SharingViolation:
    case platform::error::HandleDiskFull:
        status = AccessError;
        break;
    default:
        status = IOError;
        break;
    }
    return false;
}

int32_t FileRStream::getPosition() {
    if (windowInUse())
        return windowPosition;
    if (handle == platform::InvalidFile)
        return -1;
    return platform::seekFile(handle, 0, platform::SeekFrom::Current);
}

bool FileRStream::setPosition(int32_t position) {
    if (status == EndOfData)
        status = Ok;
    if (status != Ok)
        return false;
    if (windowInUse() && windowStart <= position && position <= windowEnd) {
        windowPosition = position;
        return true;
    }
    if (platform::seekFile(handle, position, platform::SeekFrom::Begin) == -1)
        return failFromSystem();
    emptyWindow();
    return true;
}

bool FileRStream::fillWindow() {
    // The window is empty, so the stream's position is the file pointer: one query of it, then
    // one read, and no seek.
    int32_t position = getPosition();
    if (position < 0)
        return failFromSystem();
    if (!platform::readFile(handle, window, WindowSize, lastCount)) {
        emptyWindow();
        return failFromSystem();
    }
    windowStart = windowPosition = position;
    windowEnd = position + lastCount - 1;
    return true;
}

bool FileRStream::read(int32_t count, void *buffer) {
    if (status != Ok)
        return false;
    if (count <= 0) {
        // A negative count is refused rather than reported as read.
        if (count == 0)
            return true;
        status = NotSupported;
        return false;
    }
    auto out = static_cast<uint8_t *>(buffer);
    if (!windowInUse() && count < WindowThreshold && !fillWindow())
        return false;
    if (windowInUse()) {
        int32_t taken = std::min(windowEnd - windowPosition + 1, count);
        if (taken > 0) {
            std::memcpy(out, window + (windowPosition - windowStart), size_t(taken));
            windowPosition += taken;
            out += taken;
            count -= taken;
        }
    }
    if (count > 0) {
        // The file pointer stands after the window, which is exactly where the stream is now.
        // The window goes before the direct read: if that read fails or comes up short, the
        // position must be the file pointer, or a later seek into the old window and a read past
        // it would continue from the wrong place in the file.
        emptyWindow();
        if (!platform::readFile(handle, out, count, lastCount))
            return failFromSystem();
        if (lastCount < count) {
            status = EndOfData;
            return false;
        }
    }
    if (windowInUse() && windowPosition > windowEnd)
        emptyWindow();
    return true;
}

bool FileRStream::write(int32_t, const void *) {
    status = NotSupported;
    return false;
}

bool FileRStream::flush() {
    return true;
}

void *FileRStream::getDataPointer() {
    return nullptr;
}

int32_t FileRStream::query(int32_t code) {
    switch (code) {
    case QueryKind:
        return KindFile;
    case QueryCanRead:
    case QueryCanSeek:
        return 1;
    default:
        return 0;
    }
}

} // namespace qarvex
