// The library's process-wide objects, constructed here in their fixed order and torn down in the
// reverse order. C++ orders static construction only within one translation unit, which is why
// they all live in this one.
#include "core/AssertLog.h"
#include "resource/RawData.h"
#include "resource/ResourceNameTable.h"

// 1. The assertion log: first up, last down.
AssertLog assertLog;

// 2. The resource name table.
ResourceNameTable resourceNameTable;

// 3. The raw-data resource kinds ".dat" and ".sdt". Kinds are trivially destructible and stay
// registered until the process ends.
ResourceTypeRawData rawDataKind(".dat", 300000);
ResourceTypeStaticRawData staticRawDataKind(".sdt", 300000);

// 4. The font factories "PFON", then "PFNT".
// 5. The graphics resource kinds.
