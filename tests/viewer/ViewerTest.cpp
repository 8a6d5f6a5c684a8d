// The viewer's pieces without HTTP: which requests are admitted, the text and hexadecimal views,
// and the catalog of the graphics example (the command line's matching, --png's pictures).
#include "tool/EntryDecoder.h"
#include "tool/serve/ViewerCatalog.h"
#include "tool/serve/ViewerReplies.h"
#include "tool/serve/ViewerServer.h"
#include <qarvex/gfx/GFXPalette.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace qarvex {

namespace tool {

namespace {

TEST(ViewerAdmissionTest, HostsAndTokens) {
    struct Case {
        const char *host;
        bool allowed;
    } hosts[] = {
        {"127.0.0.1:8080", true},   {"localhost:8080", true},     {"LocalHost:8080", true},
        {"127.0.0.1:808", false},   {"127.0.0.1:80800", false},   {"127.0.0.1", false},
        {"localhost", false},       {"evil.example:8080", false}, {"localhost.evil:8080", false},
        {"127.0.0.2:8080", false},  {"[::1]:8080", false},        {"", false},
        {" 127.0.0.1:8080", false}, {"127.0.0.1:8080/", false},
    };
    for (const Case &c : hosts)
        EXPECT_EQ(hostAllowed(c.host, 8080), c.allowed) << c.host;
    std::string token = "0123456789abcdef0123456789abcdef";
    EXPECT_TRUE(sameSecret(token, token));
    std::string firstChanged = token, lastChanged = token;
    firstChanged.front() = '1';
    lastChanged.back() = 'e';
    for (const std::string &other :
         {std::string(), token.substr(1), token + "0", firstChanged, lastChanged, std::string(32, '0')})
        EXPECT_FALSE(sameSecret(other, token)) << other;
}

TEST(ViewerRepliesTest, TextAndHexViews) {
    std::string text = "line one\r\n\ttabbed\fpage\n\xC3\xA9t\xC3\xA9";
    EXPECT_TRUE(looksLikeText(reinterpret_cast<const uint8_t *>(text.data()), text.size()));
    for (char control : {'\0', '\x01', '\x1B', '\x7F'}) {
        std::string binary = text + control;
        EXPECT_FALSE(looksLikeText(reinterpret_cast<const uint8_t *>(binary.data()), binary.size()));
    }
    const uint8_t bytes[18] = {'P', 'B', 'M', 'P', 0,  1,  0x7F, 0x80, 0xFF,
                               'z', 10,  11,  12,  13, 14, 15,   0x41, 0x42};
    EXPECT_EQ(hexView(bytes, sizeof bytes),
              "00000000  50 42 4D 50 00 01 7F 80 FF 7A 0A 0B 0C 0D 0E 0F  PBMP.....z......\n"
              "00000010  41 42                                            AB\n");
    EXPECT_EQ(hexView(bytes, 0), "");
}

class ViewerCatalogTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string path = std::string(QARVEX_EXAMPLES_DIR) + "/graphics.vol";
        char *arguments[] = {path.data()};
        ASSERT_TRUE(catalog.open(arguments, 1, console));
    }

    const CatalogEntry &entry(const char *name) {
        for (const CatalogEntry &entry : catalog.entries())
            if (entry.name == name)
                return entry;
        ADD_FAILURE() << name;
        return catalog.entries().front();
    }

    std::vector<uint8_t> bytesOf(const CatalogEntry &entry) {
        std::vector<uint8_t> bytes;
        std::string error;
        EXPECT_TRUE(catalog.read(entry, int64_t(1) << 30, bytes, error)) << error;
        return bytes;
    }

    Console console{stdout, stderr, false};
    ViewerCatalog catalog;
};

TEST_F(ViewerCatalogTest, EntriesAndFilterAsTheCommandLine) {
    ASSERT_EQ(catalog.volumeNames().size(), 1u);
    VolumeRStream volume;
    ASSERT_TRUE(volume.open(catalog.volumeNames()[0].c_str()));
    ASSERT_EQ(catalog.entries().size(), size_t(volume.entryCount()));
    for (const char *expression : {"*", "*.PB?", "t*", "*.txt", "?", "none"}) {
        SCOPED_TRACE(expression);
        EntrySelector selector(expression, EntrySelector::NoLimit);
        std::vector<std::string> expected, found;
        for (int32_t position : selector.select(volume))
            expected.push_back(volume.entry(position).name);
        for (const CatalogEntry *entry : catalog.filter(expression))
            found.push_back(entry->name);
        EXPECT_EQ(found, expected);
    }
    EXPECT_EQ(catalog.find(0, -1), nullptr);
    EXPECT_EQ(catalog.find(0, volume.entryCount()), nullptr);
    EXPECT_EQ(catalog.find(1, 0), nullptr);
    EXPECT_EQ(catalog.find(0, 0), &catalog.entries()[0]);
}

TEST_F(ViewerCatalogTest, ReadsStopAtTheLimit) {
    const CatalogEntry &text = entry("ReadMe.txt");
    std::vector<uint8_t> whole = bytesOf(text), head;
    ASSERT_EQ(whole.size(), size_t(text.size));
    std::string error;
    ASSERT_TRUE(catalog.read(text, 5, head, error)) << error;
    EXPECT_EQ(head, std::vector<uint8_t>(whole.begin(), whole.begin() + 5));
}

TEST_F(ViewerCatalogTest, PicturesAreThoseOfTheCommandLine) {
    ASSERT_FALSE(catalog.palettes().empty());
    for (const PaletteChoice &choice : catalog.palettes())
        EXPECT_NE(choice.label.find("game.ppl"), std::string::npos) << choice.label;
    for (const char *name : {"title.pbm", "logo.bmp", "tiles.pba", "small.pft", "game.ppl"}) {
        SCOPED_TRACE(name);
        const CatalogEntry &graphics = entry(name);
        std::vector<uint8_t> bytes = bytesOf(graphics);
        for (int32_t choice = -1; choice < int32_t(catalog.palettes().size()); ++choice) {
            png::Settings settings;
            const PaletteChoice *chosen = choice < 0 ? nullptr : &catalog.palettes()[size_t(choice)];
            png::Conversion shown = catalog.pictures(graphics, settings, chosen);
            if (chosen) {
                settings.palette = chosen->palette;
                settings.paletteNumber = chosen->number;
            }
            png::Conversion expected =
                png::convertGraphics(graphics.kind, bytes.data(), bytes.size(), name, settings);
            ASSERT_TRUE(expected.ok()) << expected.error;
            ASSERT_EQ(shown.files.size(), expected.files.size());
            for (size_t i = 0; i < shown.files.size(); ++i)
                EXPECT_TRUE(shown.files[i].bytes == expected.files[i].bytes) << shown.files[i].suffix;
        }
    }
}

} // namespace

} // namespace tool

} // namespace qarvex
