// Picture: sizing and checking the pixel rows of a picture, and checking a decoded one.
#include <qarvex/png/Picture.h>

namespace qarvex {

namespace png {

bool Picture::allocate(Format newFormat, int32_t newWidth, int32_t newHeight) {
    if (newWidth < 1 || newHeight < 1 || newWidth > MaxSide || newHeight > MaxSide ||
        int64_t(newWidth) * newHeight > MaxPixels)
        return false;
    format = newFormat;
    width = newWidth;
    height = newHeight;
    pixels.assign(size_t(width) * size_t(height) * size_t(bytesPerPixel()), 0);
    return true;
}

bool Picture::consistent() const {
    return width > 0 && height > 0 &&
           pixels.size() == size_t(width) * size_t(height) * size_t(bytesPerPixel());
}

bool DecodedPicture::indicesInPalette() const {
    if (!indexed)
        return true;
    for (uint8_t index : pixels)
        if (index >= palette.size())
            return false;
    return true;
}

} // namespace png

} // namespace qarvex
