// Small persistent classes for the persistence tests, and byte builders for their blocks.
#pragma once

#include <qarvex/core/LittleEndian.h>
#include <qarvex/persist/PersistentStream.h>
#include <qarvex/stream/StreamIO.h>

#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

namespace qarvex {

namespace testclasses {

using Bytes = std::vector<uint8_t>;

// Objects alive right now, so tests can tell that a failed read deleted its object.
inline int liveObjects = 0;

struct Counted {
    Counted() { ++liveObjects; }
    ~Counted() { --liveObjects; }
    Counted(const Counted &) = delete;
};

Persistent::AbstractTaggedClass *pointFactory();
Persistent::AbstractTaggedClass *flagFactory();
Persistent::AbstractTaggedClass *indexedFactory();
Persistent::AbstractTaggedClass *groupFactory();
Persistent::AbstractTaggedClass *sealedFactory();

// Versioned, by a four-character tag: version then two 32-bit coordinates. Versions above 3
// are refused with a code of the class's own.
class Point : public Persistent::VersionedBase, Counted {
public:
    static constexpr int32_t TooNew = 9;
    int32_t read(StreamIO *stream, int32_t storedVersion, int32_t extra) override {
        readVersionSeen = storedVersion;
        extraSeen = extra;
        if (storedVersion > 3)
            return TooNew;
        uint8_t bytes[8];
        if (!Persistent::readFully(stream, 8, bytes))
            return Persistent::ReadFailed;
        x = int32_t(le::read32(bytes));
        y = int32_t(le::read32(bytes + 4));
        return Persistent::Ok;
    }
    int32_t write(StreamIO *stream, int32_t, int32_t) override {
        uint8_t bytes[8];
        le::write32(bytes, uint32_t(x));
        le::write32(bytes + 4, uint32_t(y));
        return stream->write(8, bytes) ? Persistent::Ok : Persistent::WriteFailed;
    }
    int32_t version() override { return 3; }
    Persistent::AbstractTaggedClass *getClass() override { return pointFactory(); }

    int32_t x = 0, y = 0;
    int32_t readVersionSeen = -1, extraSeen = -1;
};

// Not versioned, by the small tag 12: one byte.
class Flag : public Persistent::Base, Counted {
public:
    int32_t read(StreamIO *stream, int32_t, int32_t) override {
        return Persistent::readFully(stream, 1, &value) ? Persistent::Ok : Persistent::ReadFailed;
    }
    int32_t write(StreamIO *stream, int32_t, int32_t) override {
        return stream->write(1, &value) ? Persistent::Ok : Persistent::WriteFailed;
    }
    Persistent::AbstractTaggedClass *getClass() override { return flagFactory(); }
    uint8_t value = 0;
};

// Not versioned, with a large tag and the small index 5; its body is empty.
class Indexed : public Persistent::Base, Counted {
public:
    Persistent::AbstractTaggedClass *getClass() override { return indexedFactory(); }
};

// Versioned container of other objects, each written and read as a nested block.
class Group : public Persistent::VersionedBase, Counted {
public:
    ~Group() override {
        for (Persistent::Base *member : members)
            if (owns)
                delete member;
    }
    int32_t read(StreamIO *stream, int32_t, int32_t) override {
        uint8_t countBytes[2];
        if (!Persistent::readFully(stream, 2, countBytes))
            return Persistent::ReadFailed;
        for (int i = le::read16(countBytes); i > 0; --i) {
            int32_t status = 0;
            Persistent::Base *member = Persistent::readObject(stream, status);
            if (status != Persistent::Ok)
                return status;
            members.push_back(member);
        }
        return Persistent::Ok;
    }
    int32_t write(StreamIO *stream, int32_t, int32_t) override {
        uint8_t countBytes[2];
        le::write16(countBytes, uint16_t(members.size()));
        if (!stream->write(2, countBytes))
            return Persistent::WriteFailed;
        for (Persistent::Base *member : members)
            if (int32_t status = Persistent::writeObject(stream, member))
                return status;
        return Persistent::Ok;
    }
    int32_t version() override { return 1; }
    Persistent::AbstractTaggedClass *getClass() override { return groupFactory(); }

    std::vector<Persistent::Base *> members;
    bool owns = true; // false when members are shared through references
};

// Versioned, but its data can be neither read nor written, like a retired format.
class Sealed : public Persistent::VersionedBase, Counted {
public:
    int32_t read(StreamIO *, int32_t, int32_t) override { return Persistent::WriteFailed; }
    int32_t write(StreamIO *, int32_t, int32_t) override { return Persistent::WriteFailed; }
    Persistent::AbstractTaggedClass *getClass() override { return sealedFactory(); }
};

constexpr uint32_t SealedTag = le::tag("TSLD");
constexpr uint32_t PointTag = le::tag("TPNT");
constexpr uint32_t FlagTag = 12;
constexpr uint32_t IndexedTag = le::tag("TIDX");
constexpr int32_t IndexedIndex = 5;
constexpr uint32_t GroupTag = le::tag("TGRP");

// Byte builders.
inline Bytes le32(int32_t value) {
    Bytes bytes(4);
    le::write32(bytes.data(), uint32_t(value));
    return bytes;
}
inline Bytes le16(int16_t value) {
    Bytes bytes(2);
    le::write16(bytes.data(), uint16_t(value));
    return bytes;
}
inline Bytes text(const std::string &characters) {
    return Bytes(characters.begin(), characters.end());
}
inline Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes &part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}
// A block: tag, size word (data length, bit 31 for 4-byte padding), data, padding of 0xEE.
inline Bytes block(uint32_t tag, const Bytes &data, bool padTo4 = false) {
    uint32_t unit = padTo4 ? 4 : 2;
    Bytes bytes =
        cat({le32(int32_t(tag)), le32(int32_t(uint32_t(data.size()) | (padTo4 ? 0x80000000u : 0))), data});
    while ((bytes.size() - 8) % unit != 0)
        bytes.push_back(0xEE);
    return bytes;
}
inline Bytes pointBody(int32_t version, int32_t x, int32_t y) {
    return cat({le32(version), le32(x), le32(y)});
}
inline Bytes named(const std::string &name) {
    Bytes bytes = cat({le16(int16_t(name.size())), text(name)});
    if (name.size() % 2)
        bytes.push_back(0x00);
    return bytes;
}

} // namespace testclasses

} // namespace qarvex
