// Persistent classes and factories: base behaviour, versions, registration and unregistration,
// and creation by tag, by small slot and by name.
#include "TestClasses.h"

#include <qarvex/stream/MemRWStream.h>

#include <gtest/gtest.h>

#include <memory>

namespace qarvex {

using namespace testclasses;

namespace {

class Other : public Persistent::Base {};
class Another : public Persistent::Base {};

template <typename T> bool createsA(Persistent::Base *object) {
    std::unique_ptr<Persistent::Base> owned(object);
    return dynamic_cast<T *>(object) != nullptr;
}

} // namespace

TEST(PersistentBase, ReadsAndWritesNothingAndHasNoClass) {
    Other object;
    uint8_t bytes[4] = {1, 2, 3, 4};
    MemRWStream stream;
    stream.attach(4, bytes);
    int32_t status = -1;
    EXPECT_EQ(object.readVersion(&stream, status), 0);
    EXPECT_EQ(status, Persistent::Ok);
    EXPECT_EQ(object.read(&stream, 0, 0), Persistent::Ok);
    EXPECT_EQ(object.writeVersion(&stream), Persistent::Ok);
    EXPECT_EQ(object.write(&stream, 0, 0), Persistent::Ok);
    EXPECT_EQ(stream.getPosition(), 0);
    EXPECT_EQ(object.version(), 0);
    EXPECT_EQ(object.getClass(), nullptr);
}

TEST(PersistentBase, VersionedClassesStoreTheirVersionInFourBytes) {
    Point point;
    uint8_t bytes[6] = {};
    MemRWStream stream;
    stream.attach(6, bytes);
    EXPECT_EQ(point.writeVersion(&stream), Persistent::Ok);
    EXPECT_EQ(Bytes(bytes, bytes + 4), le32(3));
    EXPECT_EQ(point.writeVersion(&stream), Persistent::WriteFailed); // only 2 bytes of room

    Bytes stored = le32(-2);
    stream.attach(4, stored.data());
    int32_t status = -1;
    EXPECT_EQ(point.readVersion(&stream, status), -2);
    EXPECT_EQ(status, Persistent::Ok);
    EXPECT_EQ(point.readVersion(&stream, status), 0);
    EXPECT_EQ(status, Persistent::ReadFailed);
}

TEST(PersistentClasses, CreateByTagUsesSmallSlotsAndTheTaggedList) {
    EXPECT_TRUE(createsA<Point>(Persistent::createByTag(PointTag)));
    EXPECT_TRUE(createsA<Flag>(Persistent::createByTag(FlagTag)));
    EXPECT_TRUE(createsA<Indexed>(Persistent::createByTag(uint32_t(IndexedIndex))));
    EXPECT_TRUE(createsA<Indexed>(Persistent::createByTag(IndexedTag)));
    EXPECT_EQ(Persistent::createByTag(le::tag("NONE")), nullptr);
    EXPECT_EQ(Persistent::createByTag(0), nullptr);
    EXPECT_EQ(Persistent::createByTag(2047), nullptr);
    EXPECT_EQ(Persistent::createByTag(2048), nullptr);
    EXPECT_EQ(Persistent::indexTableSlot(0), nullptr);
    EXPECT_EQ(Persistent::indexTableSlot(IndexedIndex), indexedFactory());
}

TEST(PersistentClasses, CreateByNameIgnoresCaseButNotLength) {
    EXPECT_TRUE(createsA<Point>(Persistent::createByName("testpoint")));
    EXPECT_TRUE(createsA<Group>(Persistent::createByName("TESTGROUP")));
    EXPECT_EQ(Persistent::createByName("TestPoints"), nullptr);
    EXPECT_EQ(Persistent::createByName("TestPoin"), nullptr);
    EXPECT_EQ(Persistent::createByName(std::string(128, 'A').c_str()), nullptr);
    EXPECT_EQ(Persistent::createByName(nullptr), nullptr);
}

TEST(PersistentClasses, TheListIsNewestFirstAndUnregistrationUnlinks) {
    auto *before = Persistent::taggedClassList();
    {
        Persistent::TaggedClass<Other> first("First", le::tag("TFST"));
        Persistent::TaggedClass<Another> second("Second", le::tag("TSND"));
        Persistent::TaggedClass<Other> third("Third", le::tag("TTRD"));
        EXPECT_EQ(Persistent::taggedClassList(), &third);
        EXPECT_EQ(third.next, &second);
        EXPECT_EQ(second.next, &first);
        EXPECT_EQ(first.next, before);

        Persistent::unregisterClass(&second);
        EXPECT_FALSE(second.isRegistered());
        EXPECT_EQ(third.next, &first);
        EXPECT_EQ(Persistent::createByTag(le::tag("TSND")), nullptr);
        EXPECT_EQ(Persistent::createByName("second"), nullptr);
        EXPECT_TRUE(createsA<Other>(Persistent::createByName("third")));
    }
    EXPECT_EQ(Persistent::taggedClassList(), before);
    EXPECT_EQ(Persistent::createByTag(le::tag("TTRD")), nullptr);
}

TEST(PersistentClasses, TheLaterOfTwoFactoriesInASlotAnswersAndLeavesItEmpty) {
    Persistent::TaggedClass<Other> earlier("Earlier", 77);
    {
        Persistent::TaggedClass<Another> later("Later", 77);
        EXPECT_TRUE(createsA<Another>(Persistent::createByTag(77)));
    }
    // The earlier factory is still listed, but the slot was cleared with the later one.
    EXPECT_TRUE(earlier.isRegistered());
    EXPECT_EQ(Persistent::createByTag(77), nullptr);
    EXPECT_TRUE(createsA<Other>(Persistent::createByName("earlier")));
}

TEST(PersistentClasses, AnIndexTakesASlotOnlyWhenTheTagIsLarge) {
    Persistent::TaggedClass<Other> smallTag("SmallTagged", 300, 301);
    Persistent::TaggedClass<Another> largeTag("LargeTagged", le::tag("TLRG"), 302);
    Persistent::TaggedClass<Other> noSlot("Unslotted", le::tag("TNOS"), 2048);
    EXPECT_EQ(Persistent::indexTableSlot(300), &smallTag);
    EXPECT_EQ(Persistent::indexTableSlot(301), nullptr);
    EXPECT_EQ(Persistent::indexTableSlot(302), &largeTag);
    EXPECT_TRUE(createsA<Other>(Persistent::createByTag(le::tag("TNOS"))));
    // The index is never compared on the list walk.
    EXPECT_EQ(Persistent::createByTag(2048), nullptr);
}

TEST(PersistentClasses, ANameThatDoesNotFitIsNotRegistered) {
    std::string longest(127, 'L');
    std::string tooLong(128, 'M');
    Persistent::TaggedClass<Other> fits(longest.c_str(), le::tag("TFIT"));
    Persistent::TaggedClass<Other> refused(tooLong.c_str(), le::tag("TREF"));
    EXPECT_TRUE(fits.isRegistered());
    EXPECT_STREQ(fits.name, longest.c_str());
    EXPECT_FALSE(refused.isRegistered());
    EXPECT_EQ(Persistent::createByTag(le::tag("TREF")), nullptr);
    EXPECT_TRUE(createsA<Other>(Persistent::createByName(std::string(127, 'l').c_str())));
}

TEST(PersistentClasses, PrintShowsTheTagAsASignedNumberAndTheName) {
    Persistent::TaggedClass<Other> obsolete("GFXObsoleteFont", le::tag("PFNT"));
    Persistent::TaggedClass<Other> small("Small", 7);
    Persistent::TaggedClass<Other> negative("High", 0xFFFFFFFEu);
    testing::internal::CaptureStdout();
    obsolete.print();
    small.print();
    negative.print();
    obsolete.classHook();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "1414415952 GFXObsoleteFont\n"
                                                      "       7 Small\n"
                                                      "      -2 High\n");
}

} // namespace qarvex
