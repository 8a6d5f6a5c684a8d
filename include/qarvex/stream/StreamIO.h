// StreamIO: the one interface through which the library reads and writes bytes. Operations
// report success as their result and leave the reason for a failure in the status code.
// Threads: a stream serves one thread at a time; the interface keeps no shared state, so different streams
// may be used by different threads.
#pragma once

#include <cstdint>

namespace qarvex {

class StreamIO {
public:
    // The numbers are part of the interface: callers compare against them.
    enum Status {
        Ok = 0,
        AccessError = 1,
        EndOfData = 2,
        IOError = 3,
        NotSupported = 4,
        Closed = 5,
        NoSource = 6,
    };

    enum Query {
        QueryKind = 0,
        QueryCanWrite = 1,
        QueryCanRead = 2,
        QueryCanSeek = 3,
        QueryCode4 = 4,
    };

    // Answers to QueryKind.
    enum Kind {
        KindFile = 2,
        KindMemory = 4,
        KindRLE = 7,
        KindLZH = 9,
    };

    StreamIO() = default;
    StreamIO(const StreamIO &) = delete;
    StreamIO &operator=(const StreamIO &) = delete;

    // The slot order below is the interface's; derived classes keep it.
    virtual int32_t getStatus();
    virtual ~StreamIO();
    virtual int32_t getPosition();
    virtual bool setPosition(int32_t position);
    virtual int32_t query(int32_t code);
    virtual bool flush();
    virtual bool write(int32_t count, const void *buffer);
    virtual bool read(int32_t count, void *buffer);
    virtual void *getDataPointer();
    virtual void close();
    // Reads a length byte and that many characters into a 256-byte destination, terminated.
    virtual int32_t readString(char *destination);
    // Writes a length byte (at most 255) and that many characters of text (null: empty).
    virtual bool writeString(const char *text);

    int32_t getLastCount() const { return lastCount; }

protected:
    int32_t lastCount = 0;
    int32_t status = Ok;
};

} // namespace qarvex
