// Search paths: which record serves a name, the order in which directories are probed, names
// matched as the system that made them does, relative and absolute names, ids as file names, the
// lookup orders against the volume, and probes that never move the current directory.
#include "VolumeFixtures.h"

#include <qarvex/platform/Platform.h>
#include <qarvex/volume/VolumeBuilder.h>
#include <qarvex/volume/VolumeRStream.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace qarvex {

using namespace fixture;
namespace fs = std::filesystem;

namespace {

// Makes a directory current for the life of the object.
class WorkingDirectory {
public:
    explicit WorkingDirectory(const fs::path &path) : saved(fs::current_path()) { fs::current_path(path); }
    ~WorkingDirectory() { fs::current_path(saved); }

private:
    fs::path saved;
};

class SearchPathTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The loose files, one directory per search-path element.
        scratch.write("a/x.pbm", text("from a"));
        scratch.write("a/sub/y.pbm", text("nested"));
        scratch.write("b/x.pbm", text("from b!!"));
        scratch.write("b/only.pbm", text("only in b"));
        scratch.write("b/README", text("no extension"));
        fs::create_directories(scratch.directory() / "c" / "x.pbm"); // a directory, not a file
        scratch.write("dup/Beta.pbm", text("B"));
        scratch.write("dup/alpha.pbm", text("first"));
        scratch.write("dup/ALPHA2.pbm", text("A2"));
        fs::create_directories(scratch.directory() / "ids1" / "000000FF.d");
        scratch.write("ids2/000000ff.dat", text("id ff"));
        // The volume holds some of the same names, with other contents.
        VolumeBuilder builder;
        builder.add(255, "x.pbm", "from volume");
        builder.add(7, "v.pbm", "volume only");
        builder.addCoded(8, "packed.rle", 3, VolumeStream::RLE, {0x83, 0x41});
        ASSERT_TRUE(volume.open(scratch.write("s.vol", builder.build(VolumeBuilder::Variant::PVOL)).c_str()));
    }
    std::string dir(const std::string &name) const { return scratch.path(name); }
    // Directory lists: the scratch directories of those names, or the elements as they are.
    std::string list(std::initializer_list<std::string> names) const {
        std::vector<std::string> paths;
        for (const std::string &name : names)
            paths.push_back(dir(name));
        return elements(paths);
    }
    static std::string elements(const std::vector<std::string> &parts) {
        std::string out;
        for (size_t i = 0; i < parts.size(); ++i) {
            if (i > 0)
                out += ';';
            out += parts[i];
        }
        return out;
    }
    // The whole open entry, as the volume reads it.
    std::string readEntry() {
        std::string out(size_t(volume.getEntrySize()), '\0');
        EXPECT_TRUE(volume.read(int32_t(out.size()), out.data()));
        return out;
    }
    std::string openedByName(const char *name, bool preferFiles = true) {
        return volume.openEntry(name, preferFiles) ? readEntry() : "<miss>";
    }

    Scratch scratch;
    InspectedVolume volume;
};

TEST_F(SearchPathTest, ElementsAreProbedInOrderAndTheFirstPlainFileWins) {
    fs::path before = fs::current_path();
    ASSERT_TRUE(volume.addSearchPath("PBM", list({"a", "b"}).c_str()));
    EXPECT_EQ(openedByName("x.pbm"), "from a");
    EXPECT_EQ(volume.query(StreamIO::QueryKind), StreamIO::KindFile);
    EXPECT_EQ(openedByName("only.pbm"), "only in b");
    EXPECT_EQ(volume.entrySizeByName("only.pbm"), 9);

    InspectedVolume other;
    ASSERT_TRUE(other.addSearchPath("pbm", list({"b", "a"}).c_str()));
    ASSERT_TRUE(other.openFromDirectories("X.pbm"));
    EXPECT_EQ(other.getEntrySize(), 8);
    // An element holding a directory of that name is passed over.
    InspectedVolume third;
    ASSERT_TRUE(third.addSearchPath("pbm", list({"c", "b"}).c_str()));
    EXPECT_EQ(third.sizeInDirectories("x.pbm"), 8);
    InspectedVolume onlyDirectory;
    ASSERT_TRUE(onlyDirectory.addSearchPath("pbm", dir("c").c_str()));
    EXPECT_FALSE(onlyDirectory.openFromDirectories("x.pbm"));
    EXPECT_EQ(onlyDirectory.sizeInDirectories("x.pbm"), -1);

    EXPECT_EQ(fs::current_path(), before);
}

TEST_F(SearchPathTest, FirstRecordServingTheExtensionWins) {
    struct Case {
        std::vector<std::pair<const char *, const char *>> records; // extension (null: any), list
        const char *name;
        const char *expected; // the list served, or null
    } cases[] = {
        {{{"bmp", "L1"}, {nullptr, "L2"}}, "x.bmp", "L1"},
        {{{"bmp", "L1"}, {nullptr, "L2"}}, "X.BMP", "L1"},
        {{{"bmp", "L1"}, {nullptr, "L2"}}, "x.pal", "L2"},
        {{{nullptr, "L2"}, {"bmp", "L1"}}, "x.bmp", "L2"},
        {{{".bmp", "L1"}}, "x.bmp", "L1"},         // a leading dot is not part of the extension
        {{{"bmp", "L1"}}, "x.pal", nullptr},       // no record for it
        {{{"bmp", "L1"}}, "x.bmp.pal", nullptr},   // the last dot counts
        {{{"pal", "L1"}}, "dir.bmp\\x.pal", "L1"}, // a dot in a directory does not
        {{{"*", "L3"}, {nullptr, "L2"}}, "000000FF.*", "L3"},
        {{{"dat", "L1"}, {nullptr, "L2"}}, "000000FF.*", "L2"},
        {{{nullptr, "L2"}}, "README", nullptr}, // no extension: never looked for on disk
        {{{nullptr, "L2"}}, "x.", nullptr},
        {{{nullptr, "L2"}}, "", nullptr},
        {{{nullptr, ""}}, "x.y", ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        VolumeRStream paths;
        for (const auto &[extension, directories] : c.records)
            ASSERT_TRUE(paths.addSearchPath(extension, directories));
        const char *served = paths.directoriesFor(c.name);
        if (c.expected)
            EXPECT_STREQ(served, c.expected);
        else
            EXPECT_EQ(served, nullptr);
    }
    VolumeRStream paths;
    EXPECT_EQ(paths.directoriesFor(nullptr), nullptr);
    EXPECT_FALSE(paths.addSearchPath("bmp", nullptr));
    EXPECT_EQ(paths.searchPathCount(), 0);
}

TEST_F(SearchPathTest, NamesWithoutAnExtensionNeverReachTheDisk) {
    ASSERT_TRUE(volume.addSearchPath(nullptr, dir("b").c_str()));
    for (const char *name : {"README", "readme", "x.", ""}) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(volume.openFromDirectories(name));
        EXPECT_EQ(volume.sizeInDirectories(name), -1);
        EXPECT_EQ(volume.entrySizeByName(name), -1);
    }
}

TEST_F(SearchPathTest, IdsAreProbedAsEightHexDigitsWithAnyExtension) {
    struct Case {
        const char *extension;
        bool served;
    } cases[] = {{nullptr, true}, {"*", true}, {"dat", false}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.extension ? c.extension : "null");
        InspectedVolume ids;
        ASSERT_TRUE(ids.addSearchPath(c.extension, list({"ids1", "ids2"}).c_str()));
        EXPECT_EQ(ids.openEntryById(255), c.served);
        EXPECT_EQ(ids.entrySizeById(255), c.served ? 5 : -1);
        EXPECT_FALSE(ids.openEntryById(256));
    }
    // The directory 000000FF.d comes first in ids1 and hides nothing: ids1 is passed over.
    ASSERT_TRUE(volume.addSearchPath(nullptr, list({"ids1", "ids2"}).c_str()));
    ASSERT_TRUE(volume.openEntryById(255));
    EXPECT_EQ(readEntry(), "id ff");
}

TEST_F(SearchPathTest, LookupOrdersAgainstTheVolume) {
    ASSERT_TRUE(volume.addSearchPath(nullptr, list({"a", "b", "ids2"}).c_str()));
    EXPECT_EQ(openedByName("x.pbm", false), "from volume");
    EXPECT_EQ(openedByName("X.PBM", true), "from a");
    EXPECT_EQ(openedByName("only.pbm", false), "only in b"); // the volume misses, the disk has it
    EXPECT_EQ(openedByName("v.pbm", true), "volume only");   // the disk misses
    EXPECT_EQ(openedByName("none.pbm", true), "<miss>");
    EXPECT_EQ(openedByName("none.pbm", false), "<miss>");
    EXPECT_EQ(volume.getStatus(), StreamIO::Closed); // the volume probe closed the last entry

    ASSERT_TRUE(volume.openEntryById(255)); // the disk first
    EXPECT_EQ(readEntry(), "id ff");
    ASSERT_TRUE(volume.openEntryById(7));
    EXPECT_EQ(readEntry(), "volume only");

    EXPECT_EQ(volume.entrySizeByName("x.pbm"), 6); // the disk first
    EXPECT_EQ(volume.entrySizeByName("v.pbm"), 11);
    EXPECT_EQ(volume.entrySizeByName("none.pbm"), -1);
    EXPECT_EQ(volume.entrySizeById(255), 5);
    EXPECT_EQ(volume.entrySizeById(7), 11);
    EXPECT_EQ(volume.entrySizeById(9), -1);

    StreamIO *stream = volume.openEntryStream("only.pbm", true);
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(stream, volume.file());
}

TEST_F(SearchPathTest, NamesMatchWithoutRegardToCaseAndWildcardsTakeTheFirstByName) {
    ASSERT_TRUE(volume.addSearchPath(nullptr, dir("dup").c_str()));
    struct Case {
        const char *name;
        const char *expected;
    } cases[] = {
        {"*.pbm", "first"}, // alpha.pbm: ALPHA.PBM sorts before ALPHA2.PBM and BETA.PBM
        {"ALPHA.PBM", "first"}, {"beta.Pbm", "B"}, {"?????2.pbm", "A2"}, {"gamma.pbm", "<miss>"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(openedByName(c.name), c.expected);
    }
}

TEST_F(SearchPathTest, PathsInsideTheNameResolveAgainstEachElement) {
    // c holds a directory called x.pbm, which every probe of x.pbm passes over.
    ASSERT_TRUE(volume.addSearchPath("pbm", list({"c", "a"}).c_str()));
    std::string absolute = scratch.path("b/only.pbm");
    std::string absoluteBackslashed = absolute;
    for (char &c : absoluteBackslashed)
        if (c == '/')
            c = '\\';
    struct Case {
        std::string name;
        const char *expected;
    } cases[] = {
        {"sub\\y.pbm", "nested"},
        {"SUB\\Y.PBM", "nested"}, // directories inside the name ignore letter case too
        {"sub/y.pbm", "nested"},
        {".\\sub\\.\\y.pbm", "nested"},
        {"..\\b\\only.pbm", "only in b"},
        {"nosuch\\..\\x.pbm", "from a"}, // ".." takes back the component before it
        {"..\\a\\x.pbm", "from a"},      // found from c already
        {"..\\c\\x.pbm", "<miss>"},      // a directory from both
        {"sub\\\\y.pbm", "nested"},
        {"*\\y.pbm", "<miss>"}, // wildcards only in the last component
        {"sub\\nothing.pbm", "<miss>"},
        {"x.pbm\\y.pbm", "<miss>"},
        {absolute, "only in b"}, // an absolute name does not depend on the element
        {absoluteBackslashed, "only in b"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(openedByName(c.name.c_str()), c.expected);
    }
}

TEST_F(SearchPathTest, CurrentDirectoryStandsInForEmptyAndUnenterableElements) {
    WorkingDirectory inA(scratch.directory() / "a");
    struct Case {
        std::string directories;
        const char *name;
        const char *expected;
    } cases[] = {
        {"", "x.pbm", "from a"}, // an empty list probes the current directory once
        {";", "only.pbm", "<miss>"},
        {elements({dir("b"), ""}), "x.pbm", "from b!!"},
        {elements({"", dir("b")}), "only.pbm", "only in b"},
        {list({"missing", "b"}), "x.pbm", "from a"},  // the probe looks where it stands
        {list({"b/README", "b"}), "x.pbm", "from a"}, // a file cannot be entered either
        {"..\\b", "only.pbm", "only in b"},           // a relative element
        {"sub", "y.pbm", "nested"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.directories);
        InspectedVolume probe;
        ASSERT_TRUE(probe.addSearchPath(nullptr, c.directories.c_str()));
        std::string got = "<miss>";
        if (probe.openFromDirectories(c.name)) {
            got.assign(size_t(probe.getEntrySize()), '\0');
            EXPECT_TRUE(probe.read(int32_t(got.size()), got.data()));
        }
        EXPECT_EQ(got, c.expected);
        EXPECT_EQ(fs::current_path(), scratch.directory() / "a");
    }
}

TEST_F(SearchPathTest, LongElementsAndLongCurrentDirectoriesWork) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows holds the current directory, and the paths of its ANSI file calls, to 260 "
                    "characters";
#endif
    // Far beyond the 260 bytes the system's own buffers once held.
    fs::path deep = scratch.directory();
    std::string relative;
    for (int i = 0; i < 12; ++i) {
        std::string part = "a-rather-long-directory-name-" + std::to_string(i);
        deep /= part;
        if (!relative.empty())
            relative += '\\';
        relative += part;
    }
    fs::create_directories(deep);
    scratch.write(fs::relative(deep / "deep.pbm", scratch.directory()).string(), text("deep down"));
    ASSERT_GT(deep.string().size(), 400u);

    ASSERT_TRUE(volume.addSearchPath("pbm", elements({dir("b"), deep.string()}).c_str()));
    EXPECT_EQ(openedByName("deep.pbm"), "deep down");
    InspectedVolume relativeElement;
    {
        WorkingDirectory atRoot(scratch.directory());
        ASSERT_TRUE(relativeElement.addSearchPath("pbm", relative.c_str()));
        EXPECT_EQ(relativeElement.sizeInDirectories("deep.pbm"), 9);
        EXPECT_EQ(volume.sizeInDirectories((relative + "\\deep.pbm").c_str()), -1); // under neither
    }
    {
        WorkingDirectory inDeep(deep);
        InspectedVolume here;
        ASSERT_TRUE(here.addSearchPath("pbm", ";"));
        EXPECT_EQ(here.sizeInDirectories("deep.pbm"), 9);
        EXPECT_EQ(fs::current_path(), deep);
        char buffer[8];
        EXPECT_GT(platform::currentDirectory(buffer, sizeof buffer), 400u); // too long for 260 bytes
    }
}

TEST_F(SearchPathTest, FileFoundButNotOpenableFailsThenTheVolumeIsTried) {
    ASSERT_TRUE(volume.addSearchPath("pbm", list({"a", "b"}).c_str()));
    // Held exclusively, so that a shared open for reading is refused.
    platform::FileHandle held =
        platform::openFile(dir("a/x.pbm").c_str(), platform::OpenMode::ReadWriteExclusive);
    ASSERT_NE(held, platform::InvalidFile);
    EXPECT_FALSE(volume.openFromDirectories("x.pbm"));
    EXPECT_EQ(volume.currentStream(), volume.file());
    EXPECT_EQ(volume.getStatus(), StreamIO::AccessError);
    EXPECT_EQ(volume.getEntrySize(), 0);
    // The probe stops at the first file found (b is not tried); the volume is next.
    EXPECT_EQ(openedByName("x.pbm", true), "from volume");
    platform::closeFile(held);
    EXPECT_EQ(openedByName("x.pbm", true), "from a");
}

TEST_F(SearchPathTest, LooseFileReadsAsTheVolumesStreamAndEndsTheEntryBefore) {
    ASSERT_TRUE(volume.addSearchPath("pbm", dir("b").c_str()));
    ASSERT_TRUE(volume.openEntry("packed.rle", false));
    ASSERT_TRUE(volume.rleAttached());
    ASSERT_TRUE(volume.openEntry("only.pbm", true));
    EXPECT_FALSE(volume.rleAttached());
    EXPECT_EQ(volume.getEntrySize(), 9);
    ASSERT_TRUE(volume.setPosition(5));
    char tail[4];
    ASSERT_TRUE(volume.read(4, tail));
    EXPECT_EQ(std::string(tail, 4), "in b");
    EXPECT_FALSE(volume.read(1, tail));
    EXPECT_EQ(volume.getStatus(), StreamIO::EndOfData);
    volume.close();
    EXPECT_EQ(volume.getStatus(), StreamIO::Closed);
    EXPECT_EQ(volume.getEntrySize(), 0);
}

TEST_F(SearchPathTest, EmptyTableMissesEverywhere) {
    WorkingDirectory inA(scratch.directory() / "a");
    EXPECT_EQ(volume.directoriesFor("x.pbm"), nullptr);
    EXPECT_EQ(openedByName("x.pbm", true), "from volume");
    EXPECT_EQ(volume.sizeInDirectories("x.pbm"), -1);
    EXPECT_FALSE(volume.openFromDirectories("x.pbm"));
}

} // namespace

} // namespace qarvex
