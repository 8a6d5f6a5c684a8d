// FileRStream: a read-only stream over a file opened by name. Small reads are served from a
// 2048-byte window so that reading headers and records costs no system call each.
// Threads: one thread at a time per stream; different streams may be used by different threads.
#pragma once

#include <qarvex/platform/Platform.h>
#include <qarvex/stream/StreamIO.h>

namespace qarvex {

class FileRStream : public StreamIO {
public:
    static constexpr int32_t WindowSize = 2048;
    // Reads below this size go through the window; larger ones go to the file directly.
    static constexpr int32_t WindowThreshold = 1024;

    FileRStream() { status = Closed; }
    ~FileRStream() override;

    bool open(const char *path);

    int32_t getPosition() override;
    bool setPosition(int32_t position) override;
    int32_t query(int32_t code) override;
    bool flush() override;
    bool write(int32_t count, const void *buffer) override;
    bool read(int32_t count, void *buffer) override;
    void *getDataPointer() override;
    void close() override;

private:
    bool failFromSystem();
    bool fillWindow();
    void emptyWindow() { windowStart = -1; }
    bool windowInUse() const { return windowStart != -1; }

    uint8_t window[WindowSize];
    int32_t windowStart = -1;
    int32_t windowEnd = -1;
    int32_t windowPosition = 0;
    platform::FileHandle handle = platform::InvalidFile;
    bool ownsHandle = false;
};

} // namespace qarvex
