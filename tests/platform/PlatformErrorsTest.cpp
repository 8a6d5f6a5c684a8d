// The error numbers that only some failures produce (invalid handle, too many open files, disk
// full), the descriptor release on close, and the prompt that must not show without a terminal.
#include <qarvex/platform/Platform.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace qarvex {

using namespace platform;

TEST(PlatformErrors, AHandleThatIsNotOpenIsAnInvalidHandle) {
    const std::filesystem::path probe =
        std::filesystem::temp_directory_path() / ("qarvex-errors-" + std::to_string(std::random_device()()));
    FileHandle file = openFile(probe.string().c_str(), OpenMode::ReadWriteShared);
    ASSERT_NE(file, InvalidFile);
    ASSERT_TRUE(closeFile(file));
    std::filesystem::remove(probe);

    char byte;
    int32_t count = 7;
    EXPECT_FALSE(readFile(file, &byte, 1, count));
    EXPECT_EQ(lastError(), error::InvalidHandle);
    EXPECT_EQ(count, 0);
    EXPECT_FALSE(writeFile(file, &byte, 1, count));
    EXPECT_EQ(lastError(), error::InvalidHandle);
    EXPECT_EQ(seekFile(file, 0, SeekFrom::Begin), -1);
    EXPECT_EQ(lastError(), error::InvalidHandle);
    EXPECT_EQ(fileSize(file), -1);
    EXPECT_EQ(lastError(), error::InvalidHandle);
    EXPECT_FALSE(closeFile(file)); // a second close is refused, not repeated on someone else's file
    EXPECT_EQ(lastError(), error::InvalidHandle);
}

#ifndef _WIN32
TEST(PlatformErrorsDeathTest, RunningOutOfHandlesIsTooManyOpenFiles) {
    // In a child, so that the lowered limit does not outlive the test.
    EXPECT_EXIT(
        {
            rlimit limit{};
            getrlimit(RLIMIT_NOFILE, &limit);
            limit.rlim_cur = 32;
            setrlimit(RLIMIT_NOFILE, &limit);
            std::string self = "/proc/self/exe";
            std::vector<FileHandle> open;
            for (int i = 0; i < 64; ++i) {
                FileHandle file = openFile(self.c_str(), OpenMode::ReadShared);
                if (file == InvalidFile)
                    std::_Exit(lastError() == error::TooManyOpenFiles ? 0 : 2);
                open.push_back(file);
            }
            std::_Exit(3);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(PlatformErrorsDeathTest, WithoutATerminalThePromptIsNotShown) {
    EXPECT_EXIT(
        {
            if (!std::freopen("/dev/null", "r", stdin))
                std::_Exit(2);
            std::_Exit(askRetryOrCancel("caption", "text") == PromptAnswer::Unavailable ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}
#endif

#ifdef __linux__
TEST(PlatformErrors, AFullDeviceIsDiskFull) {
    FileHandle full = openFile("/dev/full", OpenMode::ReadWriteShared);
    if (full == InvalidFile)
        GTEST_SKIP() << "no /dev/full here";
    int32_t written = -1;
    EXPECT_FALSE(writeFile(full, "x", 1, written));
    EXPECT_EQ(lastError(), error::HandleDiskFull);
    EXPECT_EQ(written, 0);
    closeFile(full);
}
#endif

} // namespace qarvex
