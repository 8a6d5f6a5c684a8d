// Fuzz target: arbitrary bytes read as a series of persistent object blocks, with small test
// classes registered (versioned and not, by tag, by small slot, by index, nested, and one
// found by content). The first byte chooses whether a reference table is installed.
#include <qarvex/core/LittleEndian.h>
#include <qarvex/core/Vector.h>
#include <qarvex/persist/PersistentStream.h>
#include <qarvex/stream/MemRWStream.h>

#include <cstddef>
#include <cstdint>
#include <set>
#include <vector>

using namespace qarvex;

namespace {

Persistent::AbstractTaggedClass *groupFactory();

class FuzzPoint : public Persistent::VersionedBase {
public:
    int32_t read(StreamIO *stream, int32_t storedVersion, int32_t) override {
        if (storedVersion > 3)
            return 9;
        uint8_t bytes[8];
        return Persistent::readFully(stream, 8, bytes) ? Persistent::Ok : Persistent::ReadFailed;
    }
    int32_t version() override { return 3; }
};

class FuzzFlag : public Persistent::Base {
public:
    int32_t read(StreamIO *stream, int32_t, int32_t) override {
        uint8_t value;
        return Persistent::readFully(stream, 1, &value) ? Persistent::Ok : Persistent::ReadFailed;
    }
};

class FuzzEmpty : public Persistent::Base {};

// Holds the objects of nested blocks. With a reference table installed the table owns every
// object (members may be shared), otherwise the group owns its members.
class FuzzGroup : public Persistent::VersionedBase {
public:
    ~FuzzGroup() override {
        if (owns)
            for (Persistent::Base *member : members)
                delete member;
    }
    int32_t read(StreamIO *stream, int32_t, int32_t) override {
        owns = Persistent::referenceTable() == nullptr;
        uint8_t countBytes[2];
        if (!Persistent::readFully(stream, 2, countBytes))
            return Persistent::ReadFailed;
        if (depth >= 32)
            return Persistent::ReadFailed;
        ++depth;
        int32_t status = Persistent::Ok;
        for (int i = le::read16(countBytes); i > 0 && status == Persistent::Ok; --i) {
            Persistent::Base *member = Persistent::readObject(stream, status);
            if (member && status == Persistent::Ok)
                members.push_back(member);
            else if (status == Persistent::Ok)
                break; // no further block
        }
        --depth;
        return status;
    }
    Persistent::AbstractTaggedClass *getClass() override { return groupFactory(); }

    std::vector<Persistent::Base *> members;
    bool owns = true;
    static inline int depth = 0;
};

// Knows a point by a first word of 3 (its version) where a block header would be.
class PointRecognizer : public Persistent::AbstractRecognizer {
public:
    bool recognize(StreamIO *stream) override {
        uint8_t bytes[4];
        return Persistent::readFully(stream, 4, bytes) && le::read32(bytes) == 3;
    }
    int32_t extra() override { return 1; }
    Persistent::Base *create() override { return new FuzzPoint; }
};

Persistent::TaggedClass<FuzzPoint> pointClass("FuzzPoint", le::tag("FPNT"));
Persistent::TaggedClass<FuzzFlag> flagClass("FuzzFlag", 12);
Persistent::TaggedClass<FuzzEmpty> emptyClass("FuzzEmpty", le::tag("FEMP"), 5);
Persistent::TaggedClass<FuzzGroup> groupClass("FuzzGroup", le::tag("FGRP"));
PointRecognizer recognizer;

Persistent::AbstractTaggedClass *groupFactory() {
    return &groupClass;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1 || size > 1 << 20)
        return 0;
    static bool recognizerRegistered = false;
    if (!recognizerRegistered) {
        Persistent::registerRecognizer(&recognizer);
        recognizerRegistered = true;
    }
    bool withTable = data[0] & 1;
    std::vector<uint8_t> bytes(data + 1, data + size);
    MemRWStream stream;
    stream.attach(int32_t(bytes.size()), bytes.data());

    Vector<void *> table;
    Persistent::setReferenceTable(withTable ? &table : nullptr);
    std::vector<Persistent::Base *> results;
    for (int i = 0; i < 256; ++i) {
        int32_t before = stream.getPosition();
        int32_t status = -1;
        Persistent::Base *object = Persistent::readObject(&stream, status);
        if (object)
            results.push_back(object);
        if (!object && status == Persistent::Ok && !withTable)
            break;
        if (stream.getStatus() != StreamIO::Ok || stream.getPosition() == before)
            break;
    }
    Persistent::setReferenceTable(nullptr);

    // Each object once: with a table, the table holds every object that was made.
    std::set<Persistent::Base *> owned;
    if (withTable) {
        for (void *entry : table)
            if (entry)
                owned.insert(static_cast<Persistent::Base *>(entry));
    } else {
        owned.insert(results.begin(), results.end());
    }
    for (Persistent::Base *object : owned)
        delete object;
    return 0;
}
