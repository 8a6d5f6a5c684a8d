// The graphics resource kinds: bitmaps, bitmap arrays, palettes and fonts made loadable through
// the resource registry, and the start-up object that registers one kind per file extension.
// Threads: the kinds join the unlocked process-wide list at start-up, and loading through them makes bitmaps
// and palettes, which bump unlocked counters: one thread at a time.
#pragma once

#include <qarvex/resource/ResourceType.h>

namespace qarvex {

// ".dib", ".bmp", ".png", ".pbm": a PBMP chunk or a Windows bitmap, with its palette.
class ResourceTypeGFXBitmap : public ResourceType {
public:
    using ResourceType::ResourceType;
    void *load(StreamIO *stream, int32_t size) override;
    void unload(void *object) override;
};

// ".pba": a PBMA array, without embedded palettes and not re-indexed.
class ResourceTypeGFXBitmapArray : public ResourceType {
public:
    using ResourceType::ResourceType;
    void *load(StreamIO *stream, int32_t size) override;
    void unload(void *object) override;
};

// ".pal", ".ppl", ".dpl": a RIFF palette or a PL98 palette set.
class ResourceTypeGFXPalette : public ResourceType {
public:
    using ResourceType::ResourceType;
    void *load(StreamIO *stream, int32_t size) override;
    void unload(void *object) override;
};

// ".pft": one persistent object block holding a font.
class ResourceTypeGFXFont : public ResourceType {
public:
    using ResourceType::ResourceType;
    void *load(StreamIO *stream, int32_t size) override;
    void unload(void *object) override;
};

// The nine graphics kinds, registered in member order by one start-up object, after the raw-data
// kinds, so that the registry then reads ".pft" first. Kinds stay registered until the process
// ends and are trivially destructible.
struct GFXResourceKinds {
    static constexpr int32_t Param = 300000;

    ResourceTypeGFXBitmap dib{".dib", Param};
    ResourceTypeGFXBitmap bmp{".bmp", Param};
    ResourceTypeGFXBitmap png{".png", Param};
    ResourceTypeGFXPalette pal{".pal", Param};
    ResourceTypeGFXBitmap pbm{".pbm", Param};
    ResourceTypeGFXBitmapArray pba{".pba", Param};
    ResourceTypeGFXPalette ppl{".ppl", Param};
    ResourceTypeGFXPalette dpl{".dpl", Param};
    ResourceTypeGFXFont pft{".pft", Param};
};

} // namespace qarvex
