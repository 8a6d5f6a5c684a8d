// The writable-directory check and the fatal report of an open for writing outside the list.
#include "VolumeFixtures.h"

#include <qarvex/core/AssertLog.h>
#include <qarvex/volume/VolumeRStream.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace qarvex {

namespace {

// Restores the process-wide settings that a test changes.
class WritableSettings {
public:
    WritableSettings() { std::memcpy(savedRoot, VolumeStream::rootDirectory, sizeof savedRoot); }
    ~WritableSettings() {
        VolumeStream::writableDirectories = savedList;
        std::memcpy(VolumeStream::rootDirectory, savedRoot, sizeof savedRoot);
        VolumeStream::rootDirectoryLength = savedLength;
    }
    void setRoot(const char *root) {
        std::snprintf(VolumeStream::rootDirectory, sizeof VolumeStream::rootDirectory, "%s", root);
        VolumeStream::rootDirectoryLength = int32_t(std::strlen(VolumeStream::rootDirectory));
    }

private:
    const char *savedList = VolumeStream::writableDirectories;
    char savedRoot[sizeof VolumeStream::rootDirectory];
    int32_t savedLength = VolumeStream::rootDirectoryLength;
};

TEST(WritablePathTest, PathsAgainstTheList) {
    struct Case {
        const char *list;
        const char *path;
        bool writable;
    } cases[] = {
        {"save;temp\\out", "save/game1.dat", true},
        {"save;temp\\out", "SAVE\\game1.dat", true},
        {"save;temp\\out", "temp/out/x.dat", true},
        {"save;temp\\out", "temp/x.dat", false},
        {"save;temp\\out", "game1.dat", false}, // a bare name is in "."
        {"save;.", "game1.dat", true},
        {"save;temp\\out", "\\save\\a.dat", true}, // the leading backslash is skipped
        {"save;temp\\out", "saved/a.dat", false},
        {"save;temp\\out", "sav/a.dat", false},
        {"save;temp\\out", "save/deeper/a.dat", false},
        {"", "anything/at/all.dat", true},
        {"save/;temp", "save/a.dat", false}, // entries are compared as written
        {"save\\;temp", "save/a.dat", false},
        {"temp;save\\", "save/a.dat", false},
        {";save", "save/a.dat", true},
    };
    for (const Case &c : cases)
        EXPECT_EQ(VolumeStream::isWritablePath(c.list, c.path), c.writable) << c.list << " | " << c.path;
}

TEST(WritablePathTest, RootDirectoryIsSkipped) {
    WritableSettings settings;
    settings.setRoot("C:\\Game");
    EXPECT_TRUE(VolumeStream::isWritablePath("save", "c:/game/save/a.dat"));
    EXPECT_TRUE(VolumeStream::isWritablePath(".", "C:\\GAME\\a.dat"));
    EXPECT_FALSE(VolumeStream::isWritablePath("save", "D:/game/save/a.dat"));
    EXPECT_TRUE(VolumeStream::isWritablePath("D:\\game\\save", "D:/game/save/a.dat"));
}

TEST(WritablePathTest, LongPathsAreCutNotOverrun) {
    std::string path(3000, 'd');
    path += "/a.dat";
    EXPECT_FALSE(VolumeStream::isWritablePath("save", path.c_str()));
}

// A volume class that opens its files for writing, as a writer of volumes will.
class WritingVolume : public VolumeRStream {
public:
    WritingVolume() { writable = 1; }
};

TEST(WritablePathTest, WriteOutsideTheListIsAFatalReport) {
    WritableSettings settings;
    VolumeStream::writableDirectories = "save";
    uint32_t savedFlags = assertLog.flags;
    bool savedThrow = assertLog.throwOnFatal;
    assertLog.flags |= AssertLog::NoLogFile | AssertLog::NoMessageBox;
    assertLog.throwOnFatal = true;
    WritingVolume volume;
    bool thrown = false;
    try {
        volume.openFile("elsewhere/x.vol");
    } catch (const AssertException &report) {
        thrown = true;
        EXPECT_STREQ(report.file, "code\\volstrm.cpp");
        EXPECT_EQ(report.line, 124);
        EXPECT_STREQ(report.message,
                     "Attempted write to file: elsewhere/x.vol.\nFile is not in a writable directory.");
    }
    EXPECT_TRUE(thrown);
    assertLog.flags = savedFlags;
    assertLog.throwOnFatal = savedThrow;
}

TEST(WritablePathTest, WritesInsideTheListAndReadOnlyOpensAreNotReported) {
    WritableSettings settings;
    fixture::Scratch scratch;
    // Listed as the check sees the path: backslashes, a leading one skipped (a drive stays).
    std::string allowed = scratch.directory().string();
    if (allowed[0] == '/' || allowed[0] == '\\')
        allowed.erase(0, 1);
    for (char &c : allowed)
        if (c == '/')
            c = '\\';
    VolumeStream::writableDirectories = allowed.c_str();
    int32_t fatalBefore = assertLog.fatalCount;
    WritingVolume writing;
    EXPECT_FALSE(writing.openFile(scratch.path("new.vol").c_str())); // created empty
    VolumeRStream reading;
    EXPECT_FALSE(reading.openFile("/elsewhere/missing.vol"));
    EXPECT_EQ(assertLog.fatalCount, fatalBefore);
}

TEST(WritablePathDeathTest, FatalReportEndsTheProcessWithCode1) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            VolumeStream::writableDirectories = "save";
            assertLog.flags |= AssertLog::NoLogFile | AssertLog::NoMessageBox;
            WritingVolume volume;
            volume.openFile("elsewhere/x.vol");
            std::exit(0);
        },
        ::testing::ExitedWithCode(1), "");
}

} // namespace

} // namespace qarvex
