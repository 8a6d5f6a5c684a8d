// The library's process-wide objects, constructed here in their fixed order and torn down in the
// reverse order. C++ orders static construction only within one translation unit, which is why
// they all live in this one.
#include "core/AssertLog.h"

// 1. The assertion log: first up, last down.
AssertLog assertLog;

// 2. The resource name table.
// 3. The raw-data resource kinds ".dat" and ".sdt".
// 4. The font factories "PFON", then "PFNT".
// 5. The graphics resource kinds.
