// The graphics example volume shipped as examples/graphics.vol: a bitmap with its own palette and
// a detail level, a 24-bit Windows bitmap, a bitmap array drawn for palette 1 of a palette set,
// that set, and a small font. Described here so that it can be made again byte for byte
// (qarvex_make_graphics_example) and checked against the shipped file (the tests).
#pragma once

#include <qarvex/volume/VolumeBuilder.h>

namespace qarvex {

namespace examples {

VolumeBuilder graphicsVolume();

inline constexpr const char *GraphicsFileName = "graphics.vol";

} // namespace examples

} // namespace qarvex
