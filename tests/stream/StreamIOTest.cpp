// StreamIO: the do-nothing answers of the interface itself and the length-prefixed strings that
// every stream inherits.
#include <qarvex/stream/MemRWStream.h>
#include <qarvex/stream/StreamIO.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace qarvex {

TEST(StreamIO, TheInterfaceItselfDoesNothingAndRefusesToMoveBytes) {
    StreamIO stream;
    char byte = 'k';
    EXPECT_EQ(stream.getStatus(), StreamIO::Ok);
    EXPECT_EQ(stream.getLastCount(), 0);
    EXPECT_EQ(stream.getPosition(), 0);
    EXPECT_TRUE(stream.setPosition(99));
    EXPECT_EQ(stream.getPosition(), 0);
    for (int32_t code = -1; code < 6; ++code)
        EXPECT_EQ(stream.query(code), 0);
    EXPECT_TRUE(stream.flush());
    EXPECT_EQ(stream.getDataPointer(), nullptr);
    stream.close();
    EXPECT_EQ(stream.getStatus(), StreamIO::Ok);

    // Reads and writes, and the strings made of them, fail as not supported.
    EXPECT_FALSE(stream.write(1, &byte));
    EXPECT_EQ(stream.getStatus(), StreamIO::NotSupported);
    StreamIO reader;
    EXPECT_FALSE(reader.read(1, &byte));
    EXPECT_EQ(reader.getStatus(), StreamIO::NotSupported);
    EXPECT_EQ(byte, 'k');
    char text[256] = "x";
    EXPECT_EQ(reader.readString(text), 0);
    EXPECT_STREQ(text, "");
    EXPECT_FALSE(reader.writeString("abc"));
}

namespace {

class StringsTest : public ::testing::Test {
protected:
    void SetUp() override { stream.attach(sizeof region, region); }
    std::string written() {
        return std::string(reinterpret_cast<char *>(region), size_t(stream.getPosition()));
    }

    uint8_t region[600] = {};
    MemRWStream stream;
};

} // namespace

TEST_F(StringsTest, WriteStringStoresALengthByteAndTheCharacters) {
    ASSERT_TRUE(stream.writeString("PVOL name"));
    EXPECT_EQ(written(), std::string("\x09PVOL name"));
}

TEST_F(StringsTest, EmptyAndMissingTextsWriteOnlyTheLengthByte) {
    ASSERT_TRUE(stream.writeString(""));
    ASSERT_TRUE(stream.writeString(nullptr));
    EXPECT_EQ(written(), std::string(2, '\0'));
}

TEST_F(StringsTest, LongTextsAreCutTo255Characters) {
    std::string text;
    for (int i = 0; i < 300; ++i)
        text += char('a' + i % 26);
    ASSERT_TRUE(stream.writeString(text.c_str()));
    std::string expected(1, char(0xFF));
    expected.append(text, 0, 255);
    EXPECT_EQ(written(), expected);

    stream.setPosition(0);
    char back[256];
    EXPECT_EQ(stream.readString(back), 255);
    EXPECT_EQ(std::string(back), text.substr(0, 255));
}

TEST_F(StringsTest, ReadStringReturnsTheLengthAndTerminates) {
    std::memcpy(region,
                "\x03"
                "abcX"
                "\x00"
                "Y",
                7);
    char back[256];
    std::memset(back, '#', sizeof back);
    EXPECT_EQ(stream.readString(back), 3);
    EXPECT_STREQ(back, "abc");
    EXPECT_EQ(stream.getPosition(), 4);
    std::memset(back, '#', sizeof back);
    ASSERT_TRUE(stream.setPosition(5));
    EXPECT_EQ(stream.readString(back), 0);
    EXPECT_STREQ(back, "");
}

TEST_F(StringsTest, ATextCutShortByTheEndIsStillTerminatedAtItsLength) {
    stream.attach(4, region);
    std::memcpy(region,
                "\x06"
                "abc",
                4);
    char back[256];
    std::memset(back, '#', sizeof back);
    EXPECT_EQ(stream.readString(back), 6);
    EXPECT_EQ(stream.getStatus(), StreamIO::EndOfData);
    EXPECT_EQ(std::string(back, 3), "abc");
    EXPECT_EQ(back[6], '\0');
}

TEST_F(StringsTest, AMissingLengthByteGivesAnEmptyText) {
    stream.attach(0, region);
    char back[256];
    std::memset(back, '#', sizeof back);
    EXPECT_EQ(stream.readString(back), 0);
    EXPECT_STREQ(back, "");
    EXPECT_EQ(stream.getStatus(), StreamIO::EndOfData);
}

TEST_F(StringsTest, AWriteThatDoesNotFitReportsFailure) {
    stream.attach(4, region);
    EXPECT_FALSE(stream.writeString("abcdef"));
    EXPECT_EQ(stream.getStatus(), StreamIO::AccessError);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(region), 4), "\x06"
                                                                "abc");
}

} // namespace qarvex
