// Reading object blocks: every outcome, the status it reports, and where it leaves the stream.
#include "TestClasses.h"

#include <qarvex/stream/BlockStream.h>
#include <qarvex/stream/MemRWStream.h>

#include <gtest/gtest.h>

#include <memory>

namespace qarvex {

using namespace testclasses;

namespace {

// A block that follows the one under test, so each test can check that the stream stands at
// its header and that it is still readable.
const Bytes trailer = block(FlagTag, {0x42});

class ReadObject : public testing::Test {
protected:
    void TearDown() override { Persistent::setReferenceTable(nullptr); }

    // Reads one object from bytes; the stream stays open for the checks that follow.
    std::unique_ptr<Persistent::Base> readFrom(const Bytes &bytes) {
        buffer = bytes;
        stream.attach(int32_t(buffer.size()), buffer.data());
        status = -1;
        return std::unique_ptr<Persistent::Base>(Persistent::readObject(&stream, status));
    }
    // The next object is the trailer's flag. It is read outside any reference table.
    void expectTrailerNext() {
        Vector<void *> *table = Persistent::referenceTable();
        Persistent::setReferenceTable(nullptr);
        int32_t next = -1;
        std::unique_ptr<Persistent::Base> flag(Persistent::readObject(&stream, next));
        EXPECT_EQ(next, Persistent::Ok);
        auto *asFlag = dynamic_cast<Flag *>(flag.get());
        ASSERT_NE(asFlag, nullptr);
        EXPECT_EQ(asFlag->value, 0x42);
        Persistent::setReferenceTable(table);
    }

    Bytes buffer;
    MemRWStream stream;
    int32_t status = -1;
};

} // namespace

TEST_F(ReadObject, TaggedBlocksAreReadAndLeftAfterTheirPadding) {
    struct Case {
        const char *what;
        Bytes data;
        bool padTo4;
    } cases[] = {
        {"exact body", pointBody(3, 10, -20), false},
        {"body shorter than the block, odd length", cat({pointBody(2, 10, -20), text("xyz")}), false},
        {"padding to 4", cat({pointBody(3, 10, -20), text("x")}), true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        Bytes bytes = block(PointTag, c.data, c.padTo4);
        size_t blockEnd = bytes.size();
        auto object = readFrom(cat({bytes, trailer}));
        EXPECT_EQ(status, Persistent::Ok);
        auto *point = dynamic_cast<Point *>(object.get());
        ASSERT_NE(point, nullptr);
        EXPECT_EQ(point->x, 10);
        EXPECT_EQ(point->y, -20);
        EXPECT_EQ(point->extraSeen, 0);
        EXPECT_EQ(stream.getPosition(), int32_t(blockEnd));
        expectTrailerNext();
    }
}

TEST_F(ReadObject, UnversionedClassesBySmallTagAndBySmallIndex) {
    auto flag = readFrom(cat({block(FlagTag, {0x07}), trailer}));
    EXPECT_EQ(status, Persistent::Ok);
    ASSERT_NE(dynamic_cast<Flag *>(flag.get()), nullptr);
    EXPECT_EQ(static_cast<Flag *>(flag.get())->value, 0x07);
    EXPECT_EQ(stream.getPosition(), 10);
    expectTrailerNext();

    auto indexed = readFrom(cat({block(uint32_t(IndexedIndex), text("ignored")), trailer}));
    EXPECT_EQ(status, Persistent::Ok);
    EXPECT_NE(dynamic_cast<Indexed *>(indexed.get()), nullptr);
    EXPECT_EQ(stream.getPosition(), 16);
    expectTrailerNext();
}

TEST_F(ReadObject, NamedBlocksFindTheClassByNameInAnyCase) {
    Bytes bytes = block(Persistent::NamedBlockTag, cat({named("testPOINT"), pointBody(3, 5, 6)}));
    auto object = readFrom(cat({bytes, trailer}));
    EXPECT_EQ(status, Persistent::Ok);
    auto *point = dynamic_cast<Point *>(object.get());
    ASSERT_NE(point, nullptr);
    EXPECT_EQ(point->readVersionSeen, 3);
    EXPECT_EQ(point->y, 6);
    EXPECT_EQ(stream.getPosition(), int32_t(bytes.size()));
    expectTrailerNext();

    auto flag = readFrom(cat({block(Persistent::NamedBlockTag, cat({named("TestFlag"), {0x33}})), trailer}));
    EXPECT_EQ(status, Persistent::Ok);
    ASSERT_NE(dynamic_cast<Flag *>(flag.get()), nullptr);
    EXPECT_EQ(static_cast<Flag *>(flag.get())->value, 0x33);
}

TEST_F(ReadObject, FailuresGiveNullAStatusAndStillPassTheBlock) {
    const uint32_t pers = Persistent::NamedBlockTag;
    struct Case {
        const char *what;
        Bytes bytes;
        int32_t status;
    } cases[] = {
        {"unknown tag", block(le::tag("NONE"), pointBody(3, 1, 2)), Persistent::NoClass},
        {"empty slot", block(2000, {1, 2, 3}), Persistent::NoClass},
        {"unknown name", block(pers, cat({named("Nobody"), pointBody(3, 1, 2)})), Persistent::NoClass},
        {"name of 128 bytes", block(pers, cat({le16(128), Bytes(128, 'N')})), Persistent::NoClass},
        {"name of 129 bytes", block(pers, cat({le16(129), Bytes(130, 'N')})), Persistent::NameTooLong},
        {"negative name length", block(pers, cat({le16(-1), Bytes(8, 'N')})), Persistent::NameTooLong},
        {"name longer than the block", block(pers, cat({le16(9), text("TestPo")})), Persistent::ReadFailed},
        {"half a name length", block(pers, {0x05}), Persistent::ReadFailed},
        {"version cut short", block(PointTag, {3, 0}), Persistent::ReadFailed},
        {"body cut short", block(PointTag, cat({le32(3), le32(1), {2, 0}})), Persistent::ReadFailed},
        {"class's own code", block(PointTag, pointBody(4, 1, 2)), Point::TooNew},
        {"class that cannot read its data", block(SealedTag, le32(1)), Persistent::WriteFailed},
        {"that class with no version", block(SealedTag, {}), Persistent::ReadFailed},
        {"that class with half a version", block(SealedTag, {1, 0}), Persistent::ReadFailed},
        {"no data for a versioned class", block(PointTag, {}), Persistent::ReadFailed},
        {"no data for an unversioned class", block(FlagTag, {}), Persistent::ReadFailed},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        int before = liveObjects;
        auto object = readFrom(cat({c.bytes, trailer}));
        EXPECT_EQ(object, nullptr);
        EXPECT_EQ(status, c.status);
        EXPECT_EQ(liveObjects, before); // a partly read object is deleted
        EXPECT_EQ(stream.getPosition(), int32_t(c.bytes.size()));
        expectTrailerNext();
    }
}

TEST_F(ReadObject, AnEmptyBlockNeverLendsItsObjectTheBytesThatFollow) {
    // The data length 0 leaves a block unbounded while it is open; the object must still see
    // no data, and the next block must still be read as a block.
    Bytes following = block(PointTag, pointBody(3, 7, 8));
    auto object = readFrom(cat({block(PointTag, {}), following}));
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(status, Persistent::ReadFailed);
    EXPECT_EQ(stream.getPosition(), 8);
    auto next = std::unique_ptr<Persistent::Base>(Persistent::readObject(&stream, status));
    EXPECT_EQ(status, Persistent::Ok);
    ASSERT_NE(dynamic_cast<Point *>(next.get()), nullptr);
    EXPECT_EQ(static_cast<Point *>(next.get())->x, 7);

    // An unversioned class with an empty body is fine with an empty block.
    auto indexed = readFrom(cat({block(IndexedTag, {}), trailer}));
    EXPECT_EQ(status, Persistent::Ok);
    EXPECT_NE(indexed, nullptr);
    EXPECT_EQ(stream.getPosition(), 8);
    expectTrailerNext();
}

TEST_F(ReadObject, NoBlockAtThePositionGivesNullWithStatusZero) {
    for (const Bytes &bytes : {Bytes{}, Bytes{'T', 'P', 'N', 'T', 4}}) {
        auto object = readFrom(bytes);
        EXPECT_EQ(object, nullptr);
        EXPECT_EQ(status, Persistent::Ok);
    }
}

TEST_F(ReadObject, ABlockLongerThanTheStreamFailsWithoutLooping) {
    // The body is cut short by the end of the stream.
    Bytes bytes = cat({le32(int32_t(PointTag)), le32(100), le32(3), le32(1)});
    auto object = readFrom(bytes);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(status, Persistent::ReadFailed);
    // There is nothing after the block to stand at; the stream no longer yields blocks.
    auto next = std::unique_ptr<Persistent::Base>(Persistent::readObject(&stream, status));
    EXPECT_EQ(next, nullptr);
    EXPECT_EQ(status, Persistent::Ok);

    // The body is complete although the block claims more: the object stands.
    object = readFrom(cat({le32(int32_t(PointTag)), le32(100), pointBody(3, 1, 2)}));
    EXPECT_NE(object, nullptr);
    EXPECT_EQ(status, Persistent::Ok);
    next.reset(Persistent::readObject(&stream, status));
    EXPECT_EQ(next, nullptr);
    EXPECT_EQ(status, Persistent::Ok);

    Bytes hugeLength = cat({le32(int32_t(le::tag("NONE"))), le32(0x7FFFFFFF), Bytes(4, 0)});
    object = readFrom(hugeLength);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(status, Persistent::NoClass);
}

TEST_F(ReadObject, ABodyReadingPastItsBlockStopsAtTheBlockEnd) {
    // Two bytes of body for a class that wants eight: the read stops at the data end even
    // though the trailer's bytes follow.
    Bytes bytes = block(PointTag, cat({le32(3), le32(1)}));
    auto object = readFrom(cat({bytes, trailer}));
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(status, Persistent::ReadFailed);
    EXPECT_EQ(stream.getPosition(), int32_t(bytes.size()));
    expectTrailerNext();
}

TEST_F(ReadObject, NestedObjectsReadFromTheirParentsBlock) {
    Bytes members = cat({block(PointTag, pointBody(3, 1, 2)), block(FlagTag, {9})});
    Bytes group = block(GroupTag, cat({le32(1), le16(2), members, text("pad")}));
    auto object = readFrom(cat({group, trailer}));
    EXPECT_EQ(status, Persistent::Ok);
    auto *asGroup = dynamic_cast<Group *>(object.get());
    ASSERT_NE(asGroup, nullptr);
    ASSERT_EQ(asGroup->members.size(), 2u);
    EXPECT_EQ(dynamic_cast<Point *>(asGroup->members[0])->y, 2);
    EXPECT_EQ(dynamic_cast<Flag *>(asGroup->members[1])->value, 9);
    EXPECT_EQ(stream.getPosition(), int32_t(group.size()));
    expectTrailerNext();

    // A member block that runs past its parent's data fails the parent.
    Bytes cut = block(GroupTag, cat({le32(1), le16(1), cat({le32(int32_t(PointTag)), le32(12), le32(3)})}));
    object.reset();
    int before = liveObjects;
    object = readFrom(cat({cut, trailer}));
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(status, Persistent::ReadFailed);
    EXPECT_EQ(liveObjects, before);
    EXPECT_EQ(stream.getPosition(), int32_t(cut.size()));
    expectTrailerNext();
}

TEST_F(ReadObject, ReferencesNeedAnInstalledTableAndAnIndexInIt) {
    auto object = readFrom(cat({block(Persistent::ReferenceBlockTag, le32(0)), trailer}));
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(status, Persistent::BadReference);
    EXPECT_EQ(stream.getPosition(), 12);
    expectTrailerNext();

    Point first, second;
    Vector<void *> table;
    table.append(&first);
    table.append(nullptr);
    table.append(&second);
    Persistent::setReferenceTable(&table);
    struct Case {
        const char *what;
        Bytes data;
        Persistent::Base *expected;
        int32_t status;
    } cases[] = {
        {"first entry", le32(0), &first, Persistent::Ok},
        {"third entry", le32(2), &second, Persistent::Ok},
        {"null entry", le32(1), nullptr, Persistent::Ok},
        {"past the end", le32(3), nullptr, Persistent::BadReference},
        {"negative", le32(-1), nullptr, Persistent::BadReference},
        {"index cut short", {2, 0}, nullptr, Persistent::BadReference},
        {"no index", {}, nullptr, Persistent::BadReference},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        Bytes bytes = block(Persistent::ReferenceBlockTag, c.data);
        buffer = cat({bytes, trailer});
        stream.attach(int32_t(buffer.size()), buffer.data());
        Persistent::Base *found = Persistent::readObject(&stream, status);
        EXPECT_EQ(found, c.expected);
        EXPECT_EQ(status, c.status);
        EXPECT_EQ(stream.getPosition(), int32_t(bytes.size()));
        expectTrailerNext();
    }
    EXPECT_EQ(table.size(), 3); // references take no entries
}

TEST_F(ReadObject, EveryObjectBlockTakesOneEntryNullWhenItFailed) {
    Vector<void *> table;
    Persistent::setReferenceTable(&table);
    buffer = cat({
        block(PointTag, pointBody(3, 1, 1)),           // entry 0: the point
        block(le::tag("NONE"), {}),                    // entry 1: null, no class
        block(PointTag, pointBody(4, 1, 1)),           // entry 2: null, the class refused
        block(Persistent::ReferenceBlockTag, le32(0)), // no entry
        block(GroupTag, cat({le32(1), le16(2), block(FlagTag, {5}),
                             block(Persistent::ReferenceBlockTag, le32(0))})), // entries 3, 4
    });
    stream.attach(int32_t(buffer.size()), buffer.data());
    std::vector<Persistent::Base *> results;
    for (int i = 0; i < 5; ++i)
        results.push_back(Persistent::readObject(&stream, status));
    EXPECT_EQ(stream.getPosition(), int32_t(buffer.size()));

    ASSERT_EQ(table.size(), 5);
    EXPECT_EQ(table[0], results[0]);
    EXPECT_NE(results[0], nullptr);
    EXPECT_EQ(table[1], nullptr);
    EXPECT_EQ(table[2], nullptr); // never left pointing at the deleted object
    EXPECT_EQ(results[3], results[0]);
    auto *group = dynamic_cast<Group *>(results[4]);
    ASSERT_NE(group, nullptr);
    EXPECT_EQ(table[3], group);
    EXPECT_EQ(table[4], group->members[0]);
    EXPECT_EQ(group->members[1], results[0]);
    group->members.pop_back(); // shared with results[0]
    delete group;
    delete results[0];
}

namespace {

// Knows its data by a magic word at the start of the block; reads it without the block.
class MagicRecognizer : public Persistent::AbstractRecognizer {
public:
    explicit MagicRecognizer(uint32_t word) : magic(word) {}
    bool recognize(StreamIO *stream) override {
        ++asked;
        positionSeen = stream->getPosition();
        uint8_t bytes[4];
        return Persistent::readFully(stream, 4, bytes) && le::read32(bytes) == magic;
    }
    int32_t extra() override { return 77; }
    Persistent::Base *create() override { return failCreate ? nullptr : new Point; }

    uint32_t magic;
    int asked = 0;
    int32_t positionSeen = -1;
    bool failCreate = false;
};

} // namespace

TEST_F(ReadObject, ClassesFoundByContentReadFromTheStreamItself) {
    MagicRecognizer wrong(le::tag("XXXX"));
    MagicRecognizer right(le::tag("MAGC"));
    Persistent::registerRecognizer(&wrong);
    Persistent::registerRecognizer(&right);
    Persistent::registerRecognizer(&wrong); // already listed: no change
    EXPECT_EQ(Persistent::recognizerList(), &right);

    // A point stored without a block, starting with its version 3, which "right" knows: the
    // words read as a header name the empty slot 3, so the recognizers are asked, and the
    // point then reads the stream itself from the start.
    right.magic = 3;
    Bytes bytes = cat({le32(3), le32(11), le32(12)});
    auto object = readFrom(cat({bytes, trailer}));
    EXPECT_EQ(status, Persistent::Ok);
    auto *point = dynamic_cast<Point *>(object.get());
    ASSERT_NE(point, nullptr);
    EXPECT_EQ(right.positionSeen, 0);
    EXPECT_EQ(wrong.asked, 0);
    EXPECT_EQ(point->readVersionSeen, 3);
    EXPECT_EQ(point->x, 11);
    EXPECT_EQ(point->y, 12);
    EXPECT_EQ(point->extraSeen, 77);
    EXPECT_EQ(stream.getPosition(), 12); // where the read ended
    expectTrailerNext();

    // An entry that answers no is undone before the next is asked.
    right.magic = le::tag("NOPE");
    wrong.magic = 3;
    object = readFrom(cat({bytes, trailer}));
    EXPECT_EQ(status, Persistent::Ok);
    EXPECT_EQ(right.positionSeen, 0);
    EXPECT_EQ(wrong.positionSeen, 0);
    EXPECT_NE(dynamic_cast<Point *>(object.get()), nullptr);

    // Nobody answers: no class, and the stream is past the block.
    Bytes unknown = block(le::tag("NONE"), text("data"));
    object = readFrom(cat({unknown, trailer}));
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(status, Persistent::NoClass);
    EXPECT_EQ(stream.getPosition(), int32_t(unknown.size()));
    expectTrailerNext();

    // An empty unknown block: the stream still moves past it.
    object = readFrom(cat({block(le::tag("NONE"), {}), trailer}));
    EXPECT_EQ(status, Persistent::NoClass);
    EXPECT_EQ(stream.getPosition(), 8);

    // A recognised class that cannot be made.
    wrong.failCreate = true;
    object = readFrom(cat({bytes, trailer}));
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(status, Persistent::ReadFailed);

    Persistent::unregisterRecognizer(&right);
    Persistent::unregisterRecognizer(&wrong);
    EXPECT_EQ(Persistent::recognizerList(), nullptr);
}

TEST_F(ReadObject, BlocksInsideABlockStreamLeaveItAfterEachBlock) {
    // Objects stored inside an enclosing block, read through a block stream over it.
    Bytes inner = cat({block(PointTag, cat({pointBody(3, 1, 2), {0}})), block(FlagTag, {4})});
    buffer = cat({block(le::tag("LIST"), inner), trailer});
    stream.attach(int32_t(buffer.size()), buffer.data());
    BlockRStream list;
    ASSERT_TRUE(list.open(&stream, le::tag("LIST")));
    std::unique_ptr<Persistent::Base> first(Persistent::readObject(&list, status));
    EXPECT_EQ(status, Persistent::Ok);
    EXPECT_EQ(list.getPosition(), 22);
    std::unique_ptr<Persistent::Base> second(Persistent::readObject(&list, status));
    EXPECT_EQ(status, Persistent::Ok);
    EXPECT_NE(dynamic_cast<Flag *>(second.get()), nullptr);
    EXPECT_EQ(list.getPosition(), int32_t(inner.size()));
    std::unique_ptr<Persistent::Base> none(Persistent::readObject(&list, status));
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(status, Persistent::Ok);
    list.close();
    expectTrailerNext();
}

} // namespace qarvex
