// MemRWStream: reads, writes and positions inside a caller's region, failing at the cursor, the
// direct data pointer and the query answers.
#include <qarvex/stream/MemRWStream.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace qarvex {

namespace {

class MemRWStreamTest : public ::testing::Test {
protected:
    void attachText(const char *text) {
        std::memcpy(region, text, std::strlen(text));
        stream.attach(int32_t(std::strlen(text)), region);
    }

    char region[64] = {};
    MemRWStream stream;
};

} // namespace

TEST_F(MemRWStreamTest, ClosedUntilAttached) {
    EXPECT_EQ(stream.getStatus(), StreamIO::Closed);
    EXPECT_EQ(stream.getPosition(), 0);
    EXPECT_EQ(stream.getDataPointer(), nullptr);
    char byte;
    EXPECT_FALSE(stream.read(0, &byte));
    EXPECT_FALSE(stream.write(1, "x"));
    EXPECT_FALSE(stream.setPosition(0));
    EXPECT_EQ(stream.getStatus(), StreamIO::Closed);
    EXPECT_EQ(stream.getLastCount(), 0);
}

TEST_F(MemRWStreamTest, QueryAnswersWhileAttachedAndClosed) {
    const int32_t attachedAnswers[] = {4, 1, 1, 1, 1, 0, 0};
    const int32_t closedAnswers[] = {4, 1, 1, 1, 0, 0, 0};
    attachText("abc");
    for (int32_t code = 0; code < 7; ++code)
        EXPECT_EQ(stream.query(code), attachedAnswers[code]) << code;
    EXPECT_EQ(stream.query(-1), 0);
    stream.close();
    for (int32_t code = 0; code < 7; ++code)
        EXPECT_EQ(stream.query(code), closedAnswers[code]) << code;
}

TEST_F(MemRWStreamTest, ReadsAndWritesInPlace) {
    attachText("0123456789");
    char got[4] = {};
    ASSERT_TRUE(stream.read(3, got));
    EXPECT_STREQ(got, "012");
    EXPECT_EQ(stream.getPosition(), 3);
    EXPECT_EQ(stream.getDataPointer(), region + 3);
    ASSERT_TRUE(stream.write(2, "ab"));
    EXPECT_EQ(std::string(region, 10), "012ab56789");
    EXPECT_EQ(stream.getPosition(), 5);
    ASSERT_TRUE(stream.write(0, nullptr));
    EXPECT_EQ(stream.getPosition(), 5);
    EXPECT_TRUE(stream.flush());
    EXPECT_EQ(stream.getLastCount(), 0); // this stream does not track transfer counts
}

TEST_F(MemRWStreamTest, AnEmptyRegion) {
    stream.attach(0, region);
    char byte = 'q';
    EXPECT_TRUE(stream.read(0, &byte));
    EXPECT_TRUE(stream.setPosition(0));
    EXPECT_FALSE(stream.read(1, &byte));
    EXPECT_EQ(stream.getStatus(), StreamIO::EndOfData);
    EXPECT_EQ(byte, 'q');
}

TEST_F(MemRWStreamTest, AShortReadDeliversWhatIsLeftAndEndsAtTheEnd) {
    attachText("0123456789");
    ASSERT_TRUE(stream.setPosition(6));
    char got[11] = {};
    EXPECT_FALSE(stream.read(10, got));
    EXPECT_STREQ(got, "6789");
    EXPECT_EQ(stream.getPosition(), 10);
    EXPECT_EQ(stream.getStatus(), StreamIO::EndOfData);
    // The status stays until a successful seek, and no pointer is handed out meanwhile.
    EXPECT_FALSE(stream.read(0, got));
    EXPECT_EQ(stream.getDataPointer(), nullptr);
    ASSERT_TRUE(stream.setPosition(2));
    EXPECT_EQ(stream.getStatus(), StreamIO::Ok);
    EXPECT_EQ(stream.getDataPointer(), region + 2);
}

TEST_F(MemRWStreamTest, PositionAtTheSizeIsAllowedButNothingIsReadThere) {
    attachText("0123");
    ASSERT_TRUE(stream.setPosition(4));
    EXPECT_EQ(stream.getDataPointer(), region + 4);
    char byte;
    EXPECT_FALSE(stream.read(1, &byte));
    EXPECT_EQ(stream.getStatus(), StreamIO::EndOfData);
    EXPECT_EQ(stream.getDataPointer(), nullptr);
    EXPECT_TRUE(stream.setPosition(4));
    EXPECT_EQ(stream.getDataPointer(), region + 4);
}

TEST_F(MemRWStreamTest, ABadPositionFailsAtTheCursor) {
    // The status depends on where the cursor stood: at the end it reads as the end of the data.
    struct Case {
        int32_t from;
        int32_t to;
        int32_t status;
    };
    const Case cases[] = {
        {0, 5, StreamIO::AccessError},
        {2, -1, StreamIO::AccessError},
        {4, 5, StreamIO::EndOfData},
        {4, -3, StreamIO::EndOfData},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.from) + " to " + std::to_string(c.to));
        attachText("0123");
        ASSERT_TRUE(stream.setPosition(c.from));
        EXPECT_FALSE(stream.setPosition(c.to));
        EXPECT_EQ(stream.getStatus(), c.status);
        EXPECT_EQ(stream.getPosition(), c.from);
    }
}

TEST_F(MemRWStreamTest, AccessErrorLastsUntilTheNextAttach) {
    attachText("0123");
    EXPECT_FALSE(stream.setPosition(9));
    ASSERT_EQ(stream.getStatus(), StreamIO::AccessError);
    char byte;
    EXPECT_FALSE(stream.setPosition(0));
    EXPECT_FALSE(stream.read(1, &byte));
    EXPECT_FALSE(stream.write(1, "x"));
    EXPECT_EQ(stream.getDataPointer(), nullptr);
    EXPECT_EQ(stream.getStatus(), StreamIO::AccessError);

    stream.attach(4, region);
    EXPECT_EQ(stream.getStatus(), StreamIO::Ok);
    EXPECT_TRUE(stream.read(1, &byte));
    EXPECT_EQ(byte, '0');
}

TEST_F(MemRWStreamTest, AWritePastTheEndWritesWhatFitsAndFails) {
    attachText("......");
    ASSERT_TRUE(stream.setPosition(2));
    ASSERT_TRUE(stream.write(4, "abcd")); // exactly fills the rest
    EXPECT_EQ(stream.getPosition(), 6);
    EXPECT_FALSE(stream.write(1, "e"));
    EXPECT_EQ(stream.getStatus(), StreamIO::AccessError);
    EXPECT_FALSE(stream.setPosition(0));

    attachText("......");
    ASSERT_TRUE(stream.setPosition(4));
    EXPECT_FALSE(stream.write(5, "vwxyz"));
    EXPECT_EQ(std::string(region, 6), "....vw");
    EXPECT_EQ(stream.getPosition(), 6);
    EXPECT_EQ(stream.getStatus(), StreamIO::AccessError);
    EXPECT_EQ(region[6], '\0'); // nothing beyond the region
}

TEST_F(MemRWStreamTest, NegativeCountsAreRefusedWithoutTouchingTheRegion) {
    // A negative count would copy a huge length, or move the cursor before the region.
    attachText("abcdef");
    ASSERT_TRUE(stream.setPosition(3));
    char out[8] = {};
    EXPECT_FALSE(stream.read(-1, out));
    EXPECT_EQ(stream.getStatus(), StreamIO::NotSupported);
    EXPECT_EQ(stream.getPosition(), 3);

    attachText("abcdef");
    ASSERT_TRUE(stream.setPosition(3));
    EXPECT_FALSE(stream.write(-2, "xy"));
    EXPECT_EQ(stream.getStatus(), StreamIO::NotSupported);
    EXPECT_EQ(stream.getPosition(), 3);
    EXPECT_EQ(std::string(region, 6), "abcdef");
}

TEST_F(MemRWStreamTest, AttachReplacesTheRegionAndCloseForgetsIt) {
    char other[3] = {'x', 'y', 'z'};
    attachText("0123");
    ASSERT_TRUE(stream.setPosition(3));
    stream.attach(3, other);
    EXPECT_EQ(stream.getPosition(), 0);
    char got[3];
    ASSERT_TRUE(stream.read(3, got));
    EXPECT_EQ(std::string(got, 3), "xyz");

    stream.close();
    EXPECT_EQ(stream.getStatus(), StreamIO::Closed);
    EXPECT_EQ(stream.getPosition(), 0);
    EXPECT_EQ(stream.getDataPointer(), nullptr);
    EXPECT_EQ(std::string(other, 3), "xyz"); // the region is left alone
}

TEST_F(MemRWStreamTest, StreamsOverOneRegionKeepTheirOwnCursors) {
    attachText("abcdef");
    MemRWStream second;
    second.attach(6, region + 2);
    char a, b;
    ASSERT_TRUE(stream.read(1, &a));
    ASSERT_TRUE(second.read(1, &b));
    EXPECT_EQ(a, 'a');
    EXPECT_EQ(b, 'c');
    EXPECT_EQ(stream.getPosition(), 1);
}

} // namespace qarvex
