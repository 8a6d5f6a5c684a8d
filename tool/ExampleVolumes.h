// The two example volumes shipped in examples/, described here so that they can be made again
// byte for byte (qarvex_make_examples) and checked against the shipped files (the tests).
#pragma once

#include <qarvex/volume/VolumeBuilder.h>

namespace qarvex {

namespace examples {

// examples/demo.vol: a "PVOL" volume.
VolumeBuilder demoVolume();
// examples/demo-old.vol: a " VOL" volume.
VolumeBuilder oldDemoVolume();

inline constexpr const char *DemoFileName = "demo.vol";
inline constexpr const char *OldDemoFileName = "demo-old.vol";

} // namespace examples

} // namespace qarvex
