// The library's process-wide objects, constructed here in their fixed order and torn down in the
// reverse order. C++ orders static construction only within one translation unit, which is why
// they all live in this one.
#include <qarvex/core/AssertLog.h>
#include <qarvex/gfx/GFXFontFactories.h>
#include <qarvex/gfx/ResourceTypeGFX.h>
#include <qarvex/resource/RawData.h>
#include <qarvex/resource/ResourceNameTable.h>

namespace qarvex {

// 1. The assertion log: first up, last down.
AssertLog assertLog;

// 2. The resource name table.
ResourceNameTable resourceNameTable;

// 3. The raw-data resource kinds ".dat" and ".sdt". Kinds are trivially destructible and stay
// registered until the process ends.
ResourceTypeRawData rawDataKind(".dat", 300000);
ResourceTypeStaticRawData staticRawDataKind(".sdt", 300000);

// 4. The font factories "PFON", then "PFNT". At exit "PFNT" goes first, then the shared
// missing-glyph bitmap is released, then "PFON".
GFXFontFactories fontFactories;

// 5. The graphics resource kinds, after the raw-data kinds: the registry then reads ".pft",
// ".dpl", ".ppl", ".pba", ".pbm", ".pal", ".png", ".bmp", ".dib", ".sdt", ".dat".
GFXResourceKinds graphicsKinds;

} // namespace qarvex
