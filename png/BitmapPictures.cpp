// Pictures of bitmaps and bitmap arrays: one PNG per bitmap (and per detail level on request), or
// an array's bitmaps side by side on one contact sheet.
#include "png/PictureParts.h"

#include <qarvex/gfx/GFXBitmap.h>
#include <qarvex/gfx/GFXBitmapArray.h>
#include <qarvex/stream/MemRWStream.h>

#include <algorithm>
#include <cmath>
#include <memory>

namespace qarvex {

namespace png::parts {

namespace {

// Level 0 of bitmap, and with detail levels the others, as files named prefix + ".png" and
// prefix + ".level<n>.png".
bool addBitmap(Conversion &conversion, const GFXBitmap &bitmap, const std::string &prefix,
               const Settings &settings) {
    if (const char *why = unshowable(bitmap)) {
        conversion.error = why;
        return false;
    }
    Colours colours;
    if (bitmap.bitDepth == 8) {
        colours = coloursFor(bitmap.palette, bitmap.paletteIndex, settings, conversion.warnings);
        conversion.indexed = true;
    }
    int32_t levels = settings.detailLevels ? std::clamp(bitmap.levelCount, 1, GFXBitmap::MaxLevels) : 1;
    if (levels > 1 && bitmap.bitDepth != 8) {
        addWarning(conversion.warnings, "detail levels of 24-bit bitmaps are not shown");
        levels = 1;
    }
    for (int32_t level = 0; level < levels; ++level) {
        Picture picture;
        std::string error;
        if (!levelPicture(bitmap, level, colours, settings.transparent, picture, error)) {
            // Levels too small to hold a pixel are no picture, and no fault either.
            if (level > 0 && ((bitmap.width >> level) < 1 || (bitmap.height >> level) < 1))
                break;
            conversion.error = error;
            return false;
        }
        std::string suffix =
            level == 0 ? prefix + ".png" : prefix + ".level" + std::to_string(level) + ".png";
        if (!addPicture(conversion, suffix, picture))
            return false;
    }
    return true;
}

// Every bitmap of array in a grid of equal cells, two transparent pixels apart, each at the top
// left of its cell, in array order row by row.
void addContactSheet(Conversion &conversion, const GFXBitmapArray &array, const Settings &settings) {
    int64_t width = 0, height = 0;
    std::vector<SheetCell> cells = contactSheetCells(array, width, height);
    Canvas canvas;
    if (width > Picture::MaxSide || height > Picture::MaxSide ||
        !canvas.allocate(int32_t(width), int32_t(height))) {
        conversion.error = "the contact sheet would be too large";
        return;
    }
    for (int32_t i = 0; i < array.count; ++i) {
        const GFXBitmap &bitmap = *array.bitmaps[i];
        Colours colours;
        if (bitmap.bitDepth == 8) {
            colours = coloursFor(bitmap.palette, bitmap.paletteIndex, settings, conversion.warnings);
            conversion.indexed = true;
        }
        canvas.draw(int32_t(cells[size_t(i)].x), int32_t(cells[size_t(i)].y), bitmap, 0, 0, bitmap.width,
                    bitmap.height, colours, settings.transparent);
    }
    addPicture(conversion, ".png", canvas.toPicture());
}

} // namespace

std::vector<SheetCell> contactSheetCells(const GFXBitmapArray &array, int64_t &width, int64_t &height) {
    constexpr int32_t Gap = 2;
    int32_t count = array.count;
    int64_t cellWidth = 1, cellHeight = 1;
    for (int32_t i = 0; i < count; ++i) {
        cellWidth = std::max<int64_t>(cellWidth, array.bitmaps[i]->width);
        cellHeight = std::max<int64_t>(cellHeight, array.bitmaps[i]->height);
    }
    int32_t columns = int32_t(std::ceil(std::sqrt(double(count))));
    int32_t rows = (count + columns - 1) / columns;
    width = columns * (cellWidth + Gap) + Gap;
    height = rows * (cellHeight + Gap) + Gap;
    std::vector<SheetCell> cells;
    for (int32_t i = 0; i < count; ++i)
        cells.push_back({Gap + (i % columns) * (cellWidth + Gap), Gap + (i / columns) * (cellHeight + Gap)});
    return cells;
}

void convertBitmap(MemRWStream &stream, const Settings &settings, Conversion &conversion) {
    GFXBitmap::Ptr bitmap(GFXBitmap::load(stream, GFXBitmap::IncludePalette));
    if (!bitmap) {
        conversion.error = "not a readable bitmap (damaged, or neither PBMP nor BMP)";
        return;
    }
    addBitmap(conversion, *bitmap, "", settings);
}

void convertBitmapArray(MemRWStream &stream, const Settings &settings, Conversion &conversion) {
    // Embedded palettes are wanted here: they are the colours the bitmaps were drawn in.
    GFXBitmapArray::Ptr array(GFXBitmapArray::load(stream, GFXBitmap::IncludePalette));
    if (!array) {
        conversion.error = "not a readable bitmap array";
        return;
    }
    if (array->count < 1 || !array->bitmaps) {
        conversion.error = "the bitmap array holds no bitmaps";
        return;
    }
    // One damaged bitmap makes the whole entry suspect: no pictures rather than some.
    for (int32_t i = 0; i < array->count; ++i) {
        const char *why = array->bitmaps[i] ? unshowable(*array->bitmaps[i]) : "damaged";
        if (why) {
            conversion.error = "bitmap " + std::to_string(i) + ": " + why;
            return;
        }
    }
    if (settings.contactSheet) {
        addContactSheet(conversion, *array, settings);
        return;
    }
    for (int32_t i = 0; i < array->count; ++i) {
        std::string prefix = "."; // appended, not prepended: g++ 12 then sees no overlapping copy
        prefix += std::to_string(i);
        if (!addBitmap(conversion, *array->bitmaps[i], prefix, settings))
            return;
    }
}

} // namespace png::parts

} // namespace qarvex
