// Fuzz target for the way back from pictures: a graphics file from the input is shown as pictures,
// one of them (or a font's metrics text) is edited by the rest of the input, and the file is
// rebuilt from it. A rebuild either fails with a reason or gives a graphics file that shows as
// pictures again; nothing reads or writes outside its buffers.
//
// Input: kind and settings (1 byte), transparent index (1), the graphics file's length (2, little
// end) and bytes, which picture is edited (1), then edits of 3 bytes each: a position (2, big end)
// in the picture's pixels and palette, or in the text, and the byte put there (at the end: added).
// A picture whose first edit byte is odd loses its last row and column first.
#include <qarvex/png/GraphicsPictures.h>
#include <qarvex/png/Picture.h>
#include <qarvex/png/PictureImport.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

using namespace qarvex;

namespace {

using Bytes = std::vector<uint8_t>;

void require(bool condition) {
    if (!condition)
        std::abort();
}

struct Edit {
    size_t position;
    uint8_t value;
};

std::vector<Edit> editsOf(const uint8_t *data, size_t size) {
    std::vector<Edit> edits;
    for (size_t at = 0; at + 3 <= size && edits.size() < 64; at += 3)
        edits.push_back({size_t(data[at]) << 8 | data[at + 1], data[at + 2]});
    return edits;
}

void editText(Bytes &text, const std::vector<Edit> &edits) {
    for (const Edit &edit : edits) {
        size_t position = edit.position % (text.size() + 1);
        if (position == text.size())
            text.push_back(edit.value);
        else
            text[position] = edit.value;
    }
}

// The picture in png edited and encoded again; false when it cannot be.
bool editPicture(const Bytes &png, const std::vector<Edit> &edits, bool shrink, Bytes &out) {
    png::DecodedPicture decoded;
    std::string error;
    if (!png::decodePng(png.data(), png.size(), decoded, error))
        return false;
    png::Picture picture;
    int32_t width = decoded.width - (shrink && decoded.width > 1 ? 1 : 0);
    int32_t height = decoded.height - (shrink && decoded.height > 1 ? 1 : 0);
    if (!picture.allocate(decoded.indexed ? png::Picture::Format::Indexed : png::Picture::Format::Rgba, width,
                          height))
        return false;
    const size_t rowBytes = size_t(width) * size_t(picture.bytesPerPixel());
    const size_t decodedRowBytes = size_t(decoded.width) * (decoded.indexed ? 1 : 4);
    for (int32_t y = 0; y < height; ++y)
        std::copy_n(decoded.pixels.begin() + ptrdiff_t(size_t(y) * decodedRowBytes), rowBytes,
                    picture.pixels.begin() + ptrdiff_t(size_t(y) * rowBytes));
    for (size_t i = 0; i < decoded.palette.size() && i < 256; ++i) {
        picture.palette[i][0] = decoded.palette[i].red;
        picture.palette[i][1] = decoded.palette[i].green;
        picture.palette[i][2] = decoded.palette[i].blue;
        if (decoded.palette[i].alpha == 0 && picture.transparentIndex < 0)
            picture.transparentIndex = int32_t(i);
    }
    const size_t paletteBytes = decoded.indexed ? 256 * 3 : 0;
    for (const Edit &edit : edits) {
        size_t position = edit.position % (picture.pixels.size() + paletteBytes);
        if (position < picture.pixels.size())
            picture.pixels[position] = edit.value;
        else
            picture.palette[(position - picture.pixels.size()) / 3][(position - picture.pixels.size()) % 3] =
                edit.value;
    }
    return png::encodePng(picture, out, error);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 5 || size > 1 << 18)
        return 0;
    const png::GraphicsKind kinds[] = {png::GraphicsKind::Bitmap, png::GraphicsKind::BitmapArray,
                                       png::GraphicsKind::Font, png::GraphicsKind::Palette};
    const png::GraphicsKind kind = kinds[data[0] % 4];
    png::Settings shown;
    shown.detailLevels = data[0] & 0x10;
    shown.contactSheet = data[0] & 0x20;
    png::ImportSettings settings;
    settings.mapping = png::ImportSettings::Mapping(std::min(data[0] >> 6, 2));
    settings.transparent = data[1] < 0x80 ? -1 : data[1];
    const size_t length = std::min<size_t>(size_t(data[2]) | size_t(data[3]) << 8, size - 4);
    const Bytes original(data + 4, data + 4 + length);
    const uint8_t *rest = data + 4 + length;
    const size_t restSize = size - 4 - length;

    png::Conversion conversion = png::convertGraphics(kind, original.data(), original.size(), "fuzz", shown);
    if (!conversion.ok() || conversion.files.empty())
        return 0;
    const png::OutputFile &file = conversion.files[restSize ? rest[0] % conversion.files.size() : 0];
    if (!png::readsBack(kind, file.suffix))
        return 0;
    const std::vector<Edit> edits = restSize ? editsOf(rest + 1, restSize - 1) : std::vector<Edit>{};
    Bytes edited = file.bytes;
    if (file.suffix.size() >= 4 && file.suffix.compare(file.suffix.size() - 4, 4, ".txt") == 0)
        editText(edited, edits);
    else if (!editPicture(file.bytes, edits, restSize > 1 && (rest[1] & 1), edited))
        return 0;

    Bytes rebuilt;
    std::string error;
    if (!png::rebuildGraphics(kind, original, {{file.suffix, edited}}, settings, rebuilt, error)) {
        require(!error.empty());
        return 0;
    }
    png::Conversion again = png::convertGraphics(kind, rebuilt.data(), rebuilt.size(), "fuzz", shown);
    require(again.ok());
    return 0;
}
