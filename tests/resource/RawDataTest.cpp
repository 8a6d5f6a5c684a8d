// The raw-data kinds: memory used in place, files copied, and what unload releases.
#include <qarvex/resource/RawData.h>
#include <qarvex/stream/FileRStream.h>
#include <qarvex/stream/MemRWStream.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace qarvex {

namespace {

ResourceType *kindFor(const char *extension) {
    for (ResourceType *kind = ResourceType::registryHead(); kind; kind = kind->next)
        if (kind->key == extensionCode(extension))
            return kind;
    return nullptr;
}

std::string writeTempFile(const char *name, const std::vector<uint8_t> &bytes) {
    std::string path = testing::TempDir() + name;
    FILE *file = std::fopen(path.c_str(), "wb");
    EXPECT_NE(file, nullptr);
    if (file) {
        std::fwrite(bytes.data(), 1, bytes.size(), file);
        std::fclose(file);
    }
    return path;
}

const std::vector<uint8_t> payload = {'h', 'e', 'a', 'd', 'r', 'a', 'w', ' ', 'd', 'a', 't', 'a'};

} // namespace

TEST(RawData, FromMemoryPointsIntoTheStreamWithoutCopying) {
    std::vector<uint8_t> region = payload;
    MemRWStream stream;
    stream.attach(int32_t(region.size()), region.data());
    ASSERT_TRUE(stream.setPosition(4));
    ResourceType *kind = kindFor(".dat");
    ASSERT_NE(kind, nullptr);
    auto *record = static_cast<RawData *>(kind->load(&stream, 8));
    ASSERT_NE(record, nullptr);
    EXPECT_FALSE(record->owned);
    EXPECT_EQ(record->data, region.data() + 4);
    EXPECT_EQ(record->size, 8);
    kind->unload(record); // frees the record only; the region is the caller's
    EXPECT_EQ(region, payload);
}

TEST(RawData, FromAFileIsAPrivateCopy) {
    std::string path = writeTempFile("rawdata-copy.bin", payload);
    FileRStream file;
    ASSERT_TRUE(file.open(path.c_str()));
    ASSERT_TRUE(file.setPosition(4));
    ResourceType *kind = kindFor(".dat");
    auto *record = static_cast<RawData *>(kind->load(&file, 8));
    ASSERT_NE(record, nullptr);
    EXPECT_TRUE(record->owned);
    ASSERT_NE(record->data, nullptr);
    EXPECT_EQ(record->size, 8);
    EXPECT_EQ(std::memcmp(record->data, payload.data() + 4, 8), 0);
    EXPECT_EQ(file.getPosition(), 12);
    kind->unload(record);
    std::remove(path.c_str());
}

TEST(RawData, ShortSourcesGiveZerosBeyondTheirEndNeverForeignBytes) {
    // A file shorter than the size asked for.
    std::string path = writeTempFile("rawdata-short.bin", payload);
    FileRStream file;
    ASSERT_TRUE(file.open(path.c_str()));
    ResourceType *kind = kindFor(".dat");
    auto *fromFile = static_cast<RawData *>(kind->load(&file, 20));
    ASSERT_NE(fromFile, nullptr);
    ASSERT_NE(fromFile->data, nullptr);
    auto *bytes = static_cast<uint8_t *>(fromFile->data);
    for (int i = 12; i < 20; ++i)
        EXPECT_EQ(bytes[i], 0) << i;
    kind->unload(fromFile);
    std::remove(path.c_str());

    // A memory region shorter than the size asked for is copied rather than pointed into, so
    // the record never reaches past the region.
    std::vector<uint8_t> region = payload;
    MemRWStream memory;
    memory.attach(int32_t(region.size()), region.data());
    ASSERT_TRUE(memory.setPosition(8));
    auto *fromMemory = static_cast<RawData *>(kind->load(&memory, 10));
    ASSERT_NE(fromMemory, nullptr);
    EXPECT_TRUE(fromMemory->owned);
    ASSERT_NE(fromMemory->data, nullptr);
    bytes = static_cast<uint8_t *>(fromMemory->data);
    EXPECT_EQ(std::memcmp(bytes, "data", 4), 0);
    for (int i = 4; i < 10; ++i)
        EXPECT_EQ(bytes[i], 0) << i;
    kind->unload(fromMemory);
}

TEST(RawData, StaticKindUnloadKeepsRecordAndBytes) {
    std::string path = writeTempFile("rawdata-static.bin", payload);
    FileRStream file;
    ASSERT_TRUE(file.open(path.c_str()));
    ResourceType *kind = kindFor(".sdt");
    ASSERT_NE(kind, nullptr);
    auto *record = static_cast<RawData *>(kind->load(&file, int32_t(payload.size())));
    ASSERT_NE(record, nullptr);
    ASSERT_TRUE(record->owned);
    kind->unload(record);
    kind->unload(nullptr);
    EXPECT_EQ(record->size, int32_t(payload.size()));
    EXPECT_EQ(std::memcmp(record->data, payload.data(), payload.size()), 0);
    // What the process would keep for good is released here so leak checks stay quiet.
    kindFor(".dat")->unload(record);
    std::remove(path.c_str());
}

TEST(RawData, NothingToLoadGivesNull) {
    MemRWStream stream;
    uint8_t byte = 0;
    stream.attach(1, &byte);
    ResourceType *kind = kindFor(".dat");
    EXPECT_EQ(kind->load(&stream, -1), nullptr);
    EXPECT_EQ(kind->load(nullptr, 4), nullptr);
    kind->unload(nullptr);

    auto *empty = static_cast<RawData *>(kind->load(&stream, 0));
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->size, 0);
    kind->unload(empty);
}

} // namespace qarvex
