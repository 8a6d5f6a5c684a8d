// GFXObsoleteFont: stands for the older "PFNT" font blocks, which are recognised by their tag but
// whose data cannot be read (or written).
// Threads: as every persistent object, built by one thread at a time.
#pragma once

#include <qarvex/persist/Persistent.h>

namespace qarvex {

class GFXObsoleteFont : public Persistent::VersionedBase {
public:
    // Both give status 4 without touching the stream.
    int32_t read(StreamIO *stream, int32_t version, int32_t extra) override;
    int32_t write(StreamIO *stream, int32_t unused1, int32_t unused2) override;
    int32_t version() override { return 0; }
    Persistent::AbstractTaggedClass *getClass() override;

    // The "PFNT" factory, installed by the start-up unit.
    static Persistent::AbstractTaggedClass *classFactory;
};

} // namespace qarvex
