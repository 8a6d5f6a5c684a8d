// FileRStream: opening and closing, the 2048-byte window and its 1024-byte threshold, the end of
// the file, the lasting effect of a write, and which operations reach the operating system.
#include "core/ScratchDirectory.h"
#include <qarvex/platform/Platform.h>
#include <qarvex/stream/FileRStream.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qarvex {

namespace {

char patternByte(int32_t offset) {
    return char(offset * 7 + offset / 251);
}

std::string pattern(int32_t from, int32_t count) {
    std::string bytes;
    for (int32_t i = from; i < from + count; ++i)
        bytes += patternByte(i);
    return bytes;
}

// Counts the file calls made while a statement runs.
class CallCounter {
public:
    CallCounter() : start(platform::fileCallCount()) {}
    uint64_t calls() const { return platform::fileCallCount() - start; }

private:
    uint64_t start;
};

class FileRStreamTest : public ::testing::Test {
protected:
    void SetUp() override { path = scratch.write("data.bin", pattern(0, FileSize)); }

    std::string readBytes(int32_t count, bool expected = true) {
        std::string bytes(size_t(count), '\0');
        EXPECT_EQ(stream.read(count, bytes.data()), expected);
        return bytes;
    }

    static constexpr int32_t FileSize = 5000;
    ScratchDirectory scratch;
    std::string path;
    FileRStream stream;
};

} // namespace

TEST_F(FileRStreamTest, ClosedUntilOpened) {
    EXPECT_EQ(stream.getStatus(), StreamIO::Closed);
    EXPECT_EQ(stream.getPosition(), -1);
    char byte;
    EXPECT_FALSE(stream.read(0, &byte));
    EXPECT_FALSE(stream.read(1, &byte));
    EXPECT_FALSE(stream.setPosition(0));
    EXPECT_EQ(stream.getStatus(), StreamIO::Closed);
}

TEST_F(FileRStreamTest, QueryAnswers) {
    const int32_t answers[] = {2, 0, 1, 1, 0, 0};
    for (int32_t code = 0; code < 6; ++code)
        EXPECT_EQ(stream.query(code), answers[code]) << code;
    EXPECT_TRUE(stream.flush());
    EXPECT_EQ(stream.getDataPointer(), nullptr);
}

TEST_F(FileRStreamTest, OpenReadsFromTheStart) {
    ASSERT_TRUE(stream.open(path.c_str()));
    EXPECT_EQ(stream.getStatus(), StreamIO::Ok);
    EXPECT_EQ(stream.getPosition(), 0);
    EXPECT_EQ(readBytes(10), pattern(0, 10));
    EXPECT_EQ(stream.getPosition(), 10);
    EXPECT_EQ(stream.getLastCount(), 2048); // the window fill
}

TEST_F(FileRStreamTest, OpeningAMissingFileOrADirectoryIsAnAccessError) {
    for (const std::string &name : {scratch.file("missing.bin"), scratch.path.string()}) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(stream.open(name.c_str()));
        EXPECT_EQ(stream.getStatus(), StreamIO::AccessError);
        EXPECT_EQ(stream.getPosition(), -1);
    }
    // A failed open leaves nothing open, and a good one still works afterwards.
    ASSERT_TRUE(stream.open(path.c_str()));
    EXPECT_EQ(readBytes(3), pattern(0, 3));
}

TEST_F(FileRStreamTest, OpeningASecondFileClosesTheFirst) {
    std::string other = scratch.write("other.bin", "other bytes");
    ASSERT_TRUE(stream.open(path.c_str()));
    readBytes(100);
    ASSERT_TRUE(stream.open(other.c_str()));
    EXPECT_EQ(stream.getPosition(), 0);
    EXPECT_EQ(readBytes(5), "other");
    // Nobody holds the first file any more: it can be opened without sharing.
    platform::FileHandle exclusive = platform::openFile(path.c_str(), platform::OpenMode::ReadWriteExclusive);
    EXPECT_NE(exclusive, platform::InvalidFile);
    platform::closeFile(exclusive);
}

TEST_F(FileRStreamTest, CloseAndDestructionReleaseTheFile) {
    {
        FileRStream local;
        ASSERT_TRUE(local.open(path.c_str()));
        platform::FileHandle blocked =
            platform::openFile(path.c_str(), platform::OpenMode::ReadWriteExclusive);
        EXPECT_EQ(blocked, platform::InvalidFile);
        EXPECT_EQ(platform::lastError(), platform::error::SharingViolation);
        FileRStream reader; // shared reading is allowed
        EXPECT_TRUE(reader.open(path.c_str()));
    }
    platform::FileHandle exclusive = platform::openFile(path.c_str(), platform::OpenMode::ReadWriteExclusive);
    EXPECT_NE(exclusive, platform::InvalidFile);
    platform::closeFile(exclusive);

    ASSERT_TRUE(stream.open(path.c_str()));
    readBytes(10);
    stream.close();
    EXPECT_EQ(stream.getStatus(), StreamIO::Closed);
    EXPECT_EQ(stream.getPosition(), -1);
    char byte;
    EXPECT_FALSE(stream.read(1, &byte));
}

TEST_F(FileRStreamTest, AZeroByteReadChangesNothing) {
    ASSERT_TRUE(stream.open(path.c_str()));
    ASSERT_TRUE(stream.setPosition(33));
    CallCounter counter;
    char byte = 'z';
    EXPECT_TRUE(stream.read(0, &byte));
    EXPECT_EQ(byte, 'z');
    EXPECT_EQ(counter.calls(), 0u);
    EXPECT_EQ(stream.getPosition(), 33);
}

TEST_F(FileRStreamTest, ANegativeCountIsRefusedNotReportedAsRead) {
    ASSERT_TRUE(stream.open(path.c_str()));
    ASSERT_TRUE(stream.setPosition(33));
    char byte = 'z';
    ASSERT_TRUE(stream.read(1, &byte)); // the window is in use now
    EXPECT_FALSE(stream.read(-5, &byte));
    EXPECT_EQ(stream.getStatus(), StreamIO::NotSupported);
    EXPECT_EQ(stream.getPosition(), 34);
}

TEST_F(FileRStreamTest, ReadingUpToTheEndAndOneByteMore) {
    ASSERT_TRUE(stream.open(path.c_str()));
    ASSERT_TRUE(stream.setPosition(FileSize - 8));
    EXPECT_EQ(readBytes(8), pattern(FileSize - 8, 8));
    EXPECT_EQ(stream.getPosition(), FileSize);
    char byte;
    EXPECT_FALSE(stream.read(1, &byte));
    EXPECT_EQ(stream.getStatus(), StreamIO::EndOfData);
    EXPECT_FALSE(stream.read(1, &byte)); // the status stays until a seek

    ASSERT_TRUE(stream.setPosition(100));
    EXPECT_EQ(stream.getStatus(), StreamIO::Ok);
    EXPECT_EQ(readBytes(4), pattern(100, 4));
}

TEST_F(FileRStreamTest, AShortReadKeepsWhatItGotAndStandsAtTheEnd) {
    struct Case {
        int32_t from;
        int32_t count; // below and above the threshold
    };
    for (const Case c : {Case{4990, 20}, Case{4000, 1500}, Case{3000, 1000}, Case{3000, 2500}}) {
        SCOPED_TRACE(std::to_string(c.from) + " + " + std::to_string(c.count));
        ASSERT_TRUE(stream.open(path.c_str()));
        ASSERT_TRUE(stream.setPosition(c.from));
        std::string got = readBytes(c.count, c.from + c.count <= FileSize);
        int32_t available = std::min(c.count, FileSize - c.from);
        EXPECT_EQ(got.substr(0, size_t(available)), pattern(c.from, available));
        if (c.from + c.count > FileSize) {
            EXPECT_EQ(stream.getStatus(), StreamIO::EndOfData);
            EXPECT_EQ(stream.getPosition(), FileSize);
        }
    }
}

TEST_F(FileRStreamTest, ASeekPastTheEndIsAcceptedAndTheReadReportsTheEnd) {
    ASSERT_TRUE(stream.open(path.c_str()));
    EXPECT_TRUE(stream.setPosition(FileSize + 100));
    char byte;
    EXPECT_FALSE(stream.read(1, &byte));
    EXPECT_EQ(stream.getStatus(), StreamIO::EndOfData);
}

TEST_F(FileRStreamTest, ANegativeSeekFailsAndStays) {
    ASSERT_TRUE(stream.open(path.c_str()));
    EXPECT_FALSE(stream.setPosition(-1));
    int32_t status = stream.getStatus();
    EXPECT_TRUE(status == StreamIO::AccessError || status == StreamIO::IOError) << status;
    EXPECT_FALSE(stream.setPosition(0));
    EXPECT_TRUE(stream.open(path.c_str()));
}

TEST_F(FileRStreamTest, AWriteMakesTheStreamUnusableUntilReopened) {
    ASSERT_TRUE(stream.open(path.c_str()));
    EXPECT_FALSE(stream.write(1, "x"));
    EXPECT_EQ(stream.getStatus(), StreamIO::NotSupported);
    char byte;
    EXPECT_FALSE(stream.read(1, &byte));
    EXPECT_FALSE(stream.setPosition(0));
    EXPECT_EQ(stream.getStatus(), StreamIO::NotSupported);
    ASSERT_TRUE(stream.open(path.c_str()));
    EXPECT_EQ(readBytes(2), pattern(0, 2));

    FileRStream closed;
    EXPECT_FALSE(closed.write(0, nullptr));
    EXPECT_EQ(closed.getStatus(), StreamIO::NotSupported);
}

TEST_F(FileRStreamTest, SmallReadsAndSeeksInsideTheWindowMakeNoSystemCall) {
    ASSERT_TRUE(stream.open(path.c_str()));
    ASSERT_TRUE(stream.setPosition(1000));
    {
        CallCounter counter;
        EXPECT_EQ(readBytes(16), pattern(1000, 16)); // fills the window at 1000
        EXPECT_LE(counter.calls(), 2u);
    }
    CallCounter counter;
    EXPECT_EQ(readBytes(100), pattern(1016, 100));
    ASSERT_TRUE(stream.setPosition(1000));
    EXPECT_EQ(readBytes(1023), pattern(1000, 1023));
    ASSERT_TRUE(stream.setPosition(3047)); // the window's last byte
    EXPECT_EQ(stream.getPosition(), 3047);
    EXPECT_EQ(readBytes(1), pattern(3047, 1));
    EXPECT_EQ(counter.calls(), 0u);

    // Reading the last byte used the window up; positions outside it go to the system.
    ASSERT_TRUE(stream.setPosition(1000));
    EXPECT_GT(counter.calls(), 0u);
}

TEST_F(FileRStreamTest, ThresholdDecidesBetweenTheWindowAndADirectRead) {
    ASSERT_TRUE(stream.open(path.c_str()));
    EXPECT_EQ(readBytes(1023), pattern(0, 1023)); // fills the window
    EXPECT_EQ(stream.getLastCount(), 2048);
    {
        CallCounter counter;
        ASSERT_TRUE(stream.setPosition(5));
        EXPECT_EQ(counter.calls(), 0u);
    }

    ASSERT_TRUE(stream.open(path.c_str()));
    EXPECT_EQ(readBytes(1024), pattern(0, 1024)); // bypasses it
    EXPECT_EQ(stream.getLastCount(), 1024);
    CallCounter counter;
    ASSERT_TRUE(stream.setPosition(5));
    EXPECT_GT(counter.calls(), 0u);
    EXPECT_EQ(readBytes(3), pattern(5, 3));
}

TEST_F(FileRStreamTest, ALargeReadDrainsTheWindowThenReadsDirectly) {
    ASSERT_TRUE(stream.open(path.c_str()));
    EXPECT_EQ(readBytes(10), pattern(0, 10));
    EXPECT_EQ(readBytes(3000), pattern(10, 3000));
    EXPECT_EQ(stream.getLastCount(), 3010 - 2048);
    EXPECT_EQ(stream.getPosition(), 3010);
    EXPECT_EQ(readBytes(10), pattern(3010, 10));
}

TEST_F(FileRStreamTest, ASmallReadAcrossTheWindowEndTakesTheRestFromTheFile) {
    ASSERT_TRUE(stream.open(path.c_str()));
    std::string all;
    for (int i = 0; i < 30; ++i)
        all += readBytes(100); // 3000 bytes in reads that straddle the window's end
    EXPECT_EQ(all, pattern(0, 3000));
    EXPECT_EQ(stream.getPosition(), 3000);
}

TEST_F(FileRStreamTest, AfterAShortDirectReadTheOldWindowIsNotTrusted) {
    // A file a little longer than one window: the direct read after the window comes up short.
    std::string shortFile = scratch.write("short.bin", pattern(0, 2100));
    ASSERT_TRUE(stream.open(shortFile.c_str()));
    readBytes(10);
    readBytes(2100, false); // 2038 from the window, then only 52 of 62 from the file
    EXPECT_EQ(stream.getStatus(), StreamIO::EndOfData);
    EXPECT_EQ(stream.getPosition(), 2100);
    // Going back into what the window held and reading past it must continue in the right place.
    ASSERT_TRUE(stream.setPosition(1000));
    EXPECT_EQ(readBytes(1100), pattern(1000, 1100));
}

TEST_F(FileRStreamTest, AnEmptyFile) {
    std::string empty = scratch.write("empty.bin", "");
    ASSERT_TRUE(stream.open(empty.c_str()));
    char byte;
    EXPECT_TRUE(stream.read(0, &byte));
    EXPECT_FALSE(stream.read(1, &byte));
    EXPECT_EQ(stream.getStatus(), StreamIO::EndOfData);
    EXPECT_EQ(stream.getPosition(), 0);
    EXPECT_TRUE(stream.setPosition(0));
}

TEST_F(FileRStreamTest, StringsOverAFile) {
    std::string text = scratch.write("strings.bin", std::string("\x05hello\x00", 7));
    ASSERT_TRUE(stream.open(text.c_str()));
    char back[256];
    EXPECT_EQ(stream.readString(back), 5);
    EXPECT_STREQ(back, "hello");
    EXPECT_EQ(stream.readString(back), 0);
    EXPECT_FALSE(stream.writeString("x"));
    EXPECT_EQ(stream.getStatus(), StreamIO::NotSupported);
}

#ifdef __linux__
TEST(FileRStreamErrors, AFailingReadIsAnIOErrorThatStaysUntilReopened) {
    // The process's own memory reads as a file whose first page is not mapped: the read fails
    // with an error outside the access-error list.
    FileRStream memory;
    if (!memory.open("/proc/self/mem"))
        GTEST_SKIP() << "no /proc/self/mem here";
    char byte;
    EXPECT_FALSE(memory.read(1, &byte));
    EXPECT_EQ(memory.getStatus(), StreamIO::IOError);
    EXPECT_FALSE(memory.setPosition(0));
    EXPECT_EQ(memory.getStatus(), StreamIO::IOError);
    memory.close();
    EXPECT_EQ(memory.getStatus(), StreamIO::Closed);
}
#endif

} // namespace qarvex
