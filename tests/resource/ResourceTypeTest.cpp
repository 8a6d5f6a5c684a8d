// Resource kinds: extension codes and the order of the registry after start-up.
#include <qarvex/resource/RawData.h>
#include <qarvex/resource/ResourceType.h>

#include <gtest/gtest.h>

namespace qarvex {

namespace {

class NullKind : public ResourceType {
public:
    using ResourceType::ResourceType;
    void *load(StreamIO *, int32_t) override { return nullptr; }
    void unload(void *) override {}
};

const ResourceType *findKind(uint32_t key) {
    for (const ResourceType *kind = ResourceType::registryHead(); kind; kind = kind->next)
        if (kind->key == key)
            return kind;
    return nullptr;
}

} // namespace

TEST(ExtensionCode, FollowsTheLastDotInLowerCase) {
    struct Case {
        const char *text;
        uint32_t code;
    } cases[] = {
        {".dat", 0xFF746164},           {".sdt", 0xFF746473},    {"MAP.DAT", 0xFF746164},
        {"font.PfT", 0xFF746670},       {"a.b.pal", 0xFF6C6170}, {"name.Bitmap", 0x6D746962},
        {"name.bitm", 0x6D746962},      {".x", 0xFFFFFF78},      {"readme", 0xFFFFFFFF},
        {"ends.with.dot.", 0xFFFFFFFF}, {"", 0xFFFFFFFF},        {nullptr, 0xFFFFFFFF},
    };
    for (const Case &c : cases)
        EXPECT_EQ(extensionCode(c.text), c.code) << (c.text ? c.text : "(null)");
}

TEST(ResourceRegistry, RawDataKindsAreRegisteredDatFirstAtStartUp) {
    // Kinds registered later (the graphics kinds) stand in front; ".sdt" is followed by
    // ".dat", the first kind of all.
    const ResourceType *staticKind = findKind(extensionCode(".sdt"));
    ASSERT_NE(staticKind, nullptr);
    ASSERT_NE(staticKind->next, nullptr);
    EXPECT_EQ(staticKind->next->key, 0xFF746164u);
    EXPECT_EQ(staticKind->next->next, nullptr);
    EXPECT_EQ(staticKind->param, 300000);
    EXPECT_EQ(staticKind->next->param, 300000);
    EXPECT_NE(dynamic_cast<const ResourceTypeStaticRawData *>(staticKind), nullptr);
    EXPECT_NE(dynamic_cast<const ResourceTypeRawData *>(staticKind->next), nullptr);
}

TEST(ResourceRegistry, ANewKindBecomesTheHeadInFrontOfTheEarlierOnes) {
    ResourceType *before = ResourceType::registryHead();
    // Kinds are never unlinked, so they must outlive every walk of the list.
    static NullKind first(".Tst1", 7);
    static NullKind second("x.tst2", 300000);
    EXPECT_EQ(ResourceType::registryHead(), &second);
    EXPECT_EQ(second.next, &first);
    EXPECT_EQ(first.next, before);
    EXPECT_EQ(first.key, extensionCode(".tst1"));
    EXPECT_EQ(first.param, 7);
}

} // namespace qarvex
