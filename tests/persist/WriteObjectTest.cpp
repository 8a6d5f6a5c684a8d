// Writing object blocks: the bytes of each framing, reading them back, shared objects written
// as references, and the failures a writer reports.
#include "TestClasses.h"

#include <qarvex/stream/MemRWStream.h>

#include <gtest/gtest.h>

#include <memory>

namespace qarvex {

using namespace testclasses;

namespace {

class WriteObject : public testing::Test {
protected:
    void SetUp() override { stream.attach(int32_t(buffer.size()), buffer.data()); }
    void TearDown() override {
        Persistent::setReferenceTable(nullptr);
        Persistent::setWriteTable(nullptr);
    }
    Bytes written() { return Bytes(buffer.begin(), buffer.begin() + stream.getPosition()); }
    std::unique_ptr<Persistent::Base> readBack(int32_t &status) {
        stream.setPosition(readPosition);
        std::unique_ptr<Persistent::Base> object(Persistent::readObject(&stream, status));
        readPosition = stream.getPosition();
        return object;
    }

    Bytes buffer = Bytes(512, 0xCC);
    MemRWStream stream;
    int32_t readPosition = 0;
};

} // namespace

TEST_F(WriteObject, EachFramingGivesTheBlockTheReaderExpects) {
    Point point;
    point.x = 0x01020304;
    point.y = -1;
    Flag flag;
    flag.value = 0x5A;
    Indexed indexed;
    struct Case {
        const char *what;
        Persistent::Base *object;
        Persistent::Framing framing;
        Bytes expected;
    } cases[] = {
        {"versioned, by tag", &point, Persistent::Framing::ByTag,
         block(PointTag, pointBody(3, 0x01020304, -1))},
        {"versioned, by name", &point, Persistent::Framing::ByName,
         block(Persistent::NamedBlockTag, cat({named("TestPoint"), pointBody(3, 0x01020304, -1)}))},
        {"small tag, padded", &flag, Persistent::Framing::ByTag, cat({le32(12), le32(1), {0x5A, 0x00}})},
        {"small tag, by index", &flag, Persistent::Framing::ByIndex, cat({le32(12), le32(1), {0x5A, 0x00}})},
        {"by index", &indexed, Persistent::Framing::ByIndex, cat({le32(IndexedIndex), le32(0)})},
        {"empty body, by tag", &indexed, Persistent::Framing::ByTag, cat({text("TIDX"), le32(0)})},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        buffer.assign(buffer.size(), 0xCC); // padding must not keep these
        stream.attach(int32_t(buffer.size()), buffer.data());
        EXPECT_EQ(Persistent::writeObject(&stream, c.object, c.framing), Persistent::Ok);
        EXPECT_EQ(written(), c.expected);

        int32_t status = -1;
        readPosition = 0;
        auto back = readBack(status);
        EXPECT_EQ(status, Persistent::Ok);
        ASSERT_NE(back, nullptr);
        EXPECT_EQ(back->getClass(), c.object->getClass());
        EXPECT_EQ(readPosition, int32_t(c.expected.size()));
    }
}

TEST_F(WriteObject, NestedObjectsAndSharedOnesRoundTrip) {
    Point shared;
    shared.x = 4;
    shared.y = 5;
    Flag flag;
    flag.value = 3;
    Group inner;
    inner.owns = false;
    inner.members = {&shared};
    Group outer;
    outer.owns = false;
    outer.members = {&shared, &inner, &flag};

    Vector<void *> writeTable;
    Persistent::setWriteTable(&writeTable);
    ASSERT_EQ(Persistent::writeObject(&stream, &outer), Persistent::Ok);
    ASSERT_EQ(Persistent::writeObject(&stream, &flag, Persistent::Framing::ByName), Persistent::Ok);
    Persistent::setWriteTable(nullptr);
    EXPECT_EQ(writeTable.size(), 4); // outer, shared, inner, flag
    int32_t end = stream.getPosition();

    Vector<void *> readTable;
    Persistent::setReferenceTable(&readTable);
    int32_t status = -1;
    auto back = readBack(status);
    ASSERT_EQ(status, Persistent::Ok);
    auto *outerBack = dynamic_cast<Group *>(back.get());
    ASSERT_NE(outerBack, nullptr);
    outerBack->owns = false; // members are shared; the table below deletes them
    ASSERT_EQ(outerBack->members.size(), 3u);
    auto *sharedBack = dynamic_cast<Point *>(outerBack->members[0]);
    auto *innerBack = dynamic_cast<Group *>(outerBack->members[1]);
    ASSERT_NE(sharedBack, nullptr);
    ASSERT_NE(innerBack, nullptr);
    innerBack->owns = false;
    EXPECT_EQ(sharedBack->y, 5);
    ASSERT_EQ(innerBack->members.size(), 1u);
    EXPECT_EQ(innerBack->members[0], sharedBack); // one object, not two copies
    EXPECT_EQ(dynamic_cast<Flag *>(outerBack->members[2])->value, 3);

    // The flag written a second time came back as a reference to the first.
    auto again = readBack(status);
    EXPECT_EQ(status, Persistent::Ok);
    EXPECT_EQ(again.release(), outerBack->members[2]);
    EXPECT_EQ(readPosition, end);
    ASSERT_EQ(readTable.size(), 4);
    for (int32_t i = 1; i < readTable.size(); ++i)
        delete static_cast<Persistent::Base *>(readTable[i]);
}

TEST_F(WriteObject, FailuresAreReported) {
    class Classless : public Persistent::VersionedBase {};
    Classless classless;
    EXPECT_EQ(Persistent::writeObject(&stream, &classless), Persistent::NoClass);
    Point point;
    EXPECT_EQ(Persistent::writeObject(&stream, &point, Persistent::Framing::ByIndex), Persistent::NoClass);
    Sealed sealed;
    EXPECT_EQ(Persistent::writeObject(&stream, &sealed), Persistent::WriteFailed);
    stream.setPosition(0);
    EXPECT_EQ(Persistent::writeObject(&stream, nullptr), Persistent::WriteFailed);
    EXPECT_EQ(stream.getPosition(), 0);

    // Room for the header and the version, not the body.
    stream.attach(14, buffer.data());
    EXPECT_EQ(Persistent::writeObject(&stream, &point), Persistent::WriteFailed);
    stream.attach(4, buffer.data());
    EXPECT_EQ(Persistent::writeObject(&stream, &point), Persistent::WriteFailed);
    stream.attach(6, buffer.data());
    EXPECT_EQ(Persistent::writeReference(&stream, 1), Persistent::WriteFailed);
    stream.attach(12, buffer.data());
    EXPECT_EQ(Persistent::writeReference(&stream, 1), Persistent::Ok);
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 12), block(Persistent::ReferenceBlockTag, le32(1)));
}

} // namespace qarvex
