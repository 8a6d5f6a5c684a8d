// The PNG encoder and decoder of the Windows build, through the system's own imaging service (the
// Windows Imaging Component), so that the program carries no PNG library of its own. Pictures come
// out as the libpng build writes them: palette pictures as 8-bit PLTE with the alphas in tRNS, RGB
// and RGBA ones at 8 bits a sample; files read back give the same indices, palette and colours.
#include <qarvex/png/Picture.h>

#include "png/PngChunks.h"

#define WIN32_LEAN_AND_MEAN
#include <wincodec.h>
#include <windows.h>
#include <wrl/client.h>

#include <cstdio>
#include <cstring>

namespace qarvex {

namespace png {

namespace {

using Microsoft::WRL::ComPtr;

// COM for the calling thread while a picture is made or read. A thread that already entered
// another apartment keeps it (the imaging objects work in either); only a call that entered one
// leaves it.
class ComScope {
public:
    ComScope() : result(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
    ~ComScope() {
        if (SUCCEEDED(result))
            CoUninitialize();
    }
    ComScope(const ComScope &) = delete;
    ComScope &operator=(const ComScope &) = delete;

private:
    HRESULT result;
};

// Records the first failing step of a chain of calls, with its status, as the error text.
class Steps {
public:
    explicit Steps(std::string &error) : error(error) {}
    bool operator()(HRESULT result, const char *step) {
        if (SUCCEEDED(result))
            return true;
        char text[160];
        std::snprintf(text, sizeof text, "Windows Imaging Component: %s failed (0x%08lX)", step,
                      static_cast<unsigned long>(result));
        error = text;
        return false;
    }

private:
    std::string &error;
};

ComPtr<IWICImagingFactory> imagingFactory(Steps &step) {
    ComPtr<IWICImagingFactory> factory;
    step(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&factory)),
         "creating the imaging factory");
    return factory;
}

// The imaging service takes blue before red: the picture's rows with each pixel's red and blue
// swapped (RGB as BGR, RGBA as BGRA); indices stay as they are.
std::vector<uint8_t> servicePixels(const Picture &picture) {
    std::vector<uint8_t> pixels = picture.pixels;
    size_t step = size_t(picture.bytesPerPixel());
    if (picture.format != Picture::Format::Indexed)
        for (size_t i = 0; i < pixels.size(); i += step)
            std::swap(pixels[i], pixels[i + 2]);
    return pixels;
}

bool writeFrame(IWICImagingFactory *factory, IWICBitmapFrameEncode *frame, const Picture &picture,
                Steps &step) {
    WICPixelFormatGUID wanted = picture.format == Picture::Format::Indexed ? GUID_WICPixelFormat8bppIndexed
                                : picture.format == Picture::Format::Rgb   ? GUID_WICPixelFormat24bppBGR
                                                                           : GUID_WICPixelFormat32bppBGRA;
    WICPixelFormatGUID format = wanted;
    if (!step(frame->Initialize(nullptr), "starting the picture") ||
        !step(frame->SetSize(UINT(picture.width), UINT(picture.height)), "sizing the picture") ||
        !step(frame->SetPixelFormat(&format), "choosing the pixel format"))
        return false;
    // The encoder names the nearest format it can write; anything else would change the pixels.
    if (!IsEqualGUID(format, wanted))
        return step(WINCODEC_ERR_UNSUPPORTEDPIXELFORMAT, "writing this pixel format");
    if (picture.format == Picture::Format::Indexed) {
        // Every index opaque but the transparent one: the encoder writes tRNS up to the last
        // translucent entry, as the libpng build does.
        WICColor colours[256];
        for (int i = 0; i < 256; ++i)
            colours[i] = WICColor(i == picture.transparentIndex ? 0 : 0xFF) << 24 |
                         WICColor(picture.palette[i][0]) << 16 | WICColor(picture.palette[i][1]) << 8 |
                         picture.palette[i][2];
        ComPtr<IWICPalette> palette;
        if (!step(factory->CreatePalette(&palette), "creating the palette") ||
            !step(palette->InitializeCustom(colours, 256), "filling the palette") ||
            !step(frame->SetPalette(palette.Get()), "setting the palette"))
            return false;
    }
    std::vector<uint8_t> pixels = servicePixels(picture);
    UINT rowBytes = UINT(picture.width) * UINT(picture.bytesPerPixel());
    return step(frame->WritePixels(UINT(picture.height), rowBytes, UINT(pixels.size()), pixels.data()),
                "writing the pixels") &&
           step(frame->Commit(), "finishing the picture");
}

// The indices of a palette picture, one byte each whatever the bits per pixel, and its palette with
// the alpha of each entry.
bool readIndices(IWICImagingFactory *factory, IWICBitmapFrameDecode *frame, DecodedPicture &picture,
                 Steps &step) {
    WICPixelFormatGUID format{};
    if (!step(frame->GetPixelFormat(&format), "reading the pixel format"))
        return false;
    const GUID indexedFormats[] = {GUID_WICPixelFormat1bppIndexed, GUID_WICPixelFormat2bppIndexed,
                                   GUID_WICPixelFormat4bppIndexed, GUID_WICPixelFormat8bppIndexed};
    UINT bits = 0;
    for (UINT i = 0; i < 4; ++i)
        if (IsEqualGUID(format, indexedFormats[i]))
            bits = 1u << i;
    if (!bits)
        return step(WINCODEC_ERR_UNSUPPORTEDPIXELFORMAT, "reading the indices");
    ComPtr<IWICPalette> palette;
    WICColor colours[256];
    UINT count = 0;
    if (!step(factory->CreatePalette(&palette), "creating the palette") ||
        !step(frame->CopyPalette(palette.Get()), "reading the palette") ||
        !step(palette->GetColors(256, colours, &count), "reading the palette"))
        return false;
    for (UINT i = 0; i < count; ++i)
        picture.palette.push_back({uint8_t(colours[i] >> 16), uint8_t(colours[i] >> 8), uint8_t(colours[i]),
                                   uint8_t(colours[i] >> 24)});
    UINT rowBytes = (UINT(picture.width) * bits + 7) / 8;
    std::vector<uint8_t> packed(size_t(rowBytes) * size_t(picture.height));
    if (!step(frame->CopyPixels(nullptr, rowBytes, UINT(packed.size()), packed.data()),
              "reading the indices"))
        return false;
    // Rows hold the indices from the high bits of each byte down.
    picture.pixels.resize(size_t(picture.width) * size_t(picture.height));
    uint8_t *index = picture.pixels.data();
    for (size_t y = 0; y < size_t(picture.height); ++y)
        for (size_t bit = 0; bit < size_t(picture.width) * bits; bit += bits)
            *index++ = uint8_t(packed[y * rowBytes + bit / 8] >> (8 - bits - bit % 8) & ((1u << bits) - 1));
    return true;
}

// A 16-bit sample to 8 bits with libpng's rounding, so that both builds read the same colours.
uint8_t eightBits(uint16_t sample) {
    int high = sample >> 8, low = sample & 0xFF;
    return uint8_t(high + (((low - high + 128) * 65535) >> 24));
}

// Pixels of another kind as 8-bit RGBA: 16-bit grey, RGB and RGBA rounded here, the rest through
// the imaging service's converter.
bool readColours(IWICBitmapFrameDecode *frame, DecodedPicture &picture, Steps &step) {
    WICPixelFormatGUID format{};
    if (!step(frame->GetPixelFormat(&format), "reading the pixel format"))
        return false;
    size_t pixels = size_t(picture.width) * size_t(picture.height);
    picture.pixels.resize(4 * pixels);
    UINT channels = IsEqualGUID(format, GUID_WICPixelFormat16bppGray)   ? 1
                    : IsEqualGUID(format, GUID_WICPixelFormat48bppRGB)  ? 3
                    : IsEqualGUID(format, GUID_WICPixelFormat64bppRGBA) ? 4
                                                                        : 0;
    if (channels) {
        std::vector<uint16_t> samples(pixels * channels);
        UINT rowBytes = UINT(picture.width) * channels * 2;
        if (!step(frame->CopyPixels(nullptr, rowBytes, UINT(samples.size() * 2),
                                    reinterpret_cast<BYTE *>(samples.data())),
                  "reading the pixels"))
            return false;
        for (size_t i = 0; i < pixels; ++i) {
            const uint16_t *in = &samples[i * channels];
            uint8_t *out = &picture.pixels[4 * i];
            for (UINT c = 0; c < 3; ++c)
                out[c] = eightBits(in[channels == 1 ? 0 : c]);
            out[3] = channels == 4 ? eightBits(in[3]) : 0xFF;
        }
        return true;
    }
    ComPtr<IWICBitmapSource> rgba;
    return step(WICConvertBitmapSource(GUID_WICPixelFormat32bppRGBA, frame, &rgba),
                "converting the pixels") &&
           step(rgba->CopyPixels(nullptr, UINT(picture.width) * 4, UINT(picture.pixels.size()),
                                 picture.pixels.data()),
                "reading the pixels");
}

} // namespace

bool encodePng(const Picture &picture, std::vector<uint8_t> &out, std::string &error) {
    if (!picture.consistent()) {
        error = "empty or inconsistent picture";
        return false;
    }
    ComScope com;
    Steps step(error);
    ComPtr<IWICImagingFactory> factory = imagingFactory(step);
    ComPtr<IStream> stream;
    ComPtr<IWICBitmapEncoder> encoder;
    ComPtr<IWICBitmapFrameEncode> frame;
    HGLOBAL memory = nullptr;
    STATSTG written{};
    if (!factory || !step(CreateStreamOnHGlobal(nullptr, TRUE, &stream), "creating a memory stream") ||
        !step(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder),
              "creating the PNG encoder") ||
        !step(encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache), "starting the PNG encoder") ||
        !step(encoder->CreateNewFrame(&frame, nullptr), "creating the picture") ||
        !writeFrame(factory.Get(), frame.Get(), picture, step) ||
        !step(encoder->Commit(), "finishing the file") ||
        !step(GetHGlobalFromStream(stream.Get(), &memory), "reaching the written bytes") ||
        !step(stream->Stat(&written, STATFLAG_NONAME), "measuring the written bytes"))
        return false;
    auto bytes = static_cast<const uint8_t *>(GlobalLock(memory));
    if (!bytes)
        return step(HRESULT_FROM_WIN32(GetLastError()), "reading the written bytes");
    out.assign(bytes, bytes + written.cbSize.QuadPart);
    GlobalUnlock(memory);
    return true;
}

bool decodePng(const uint8_t *bytes, size_t size, DecodedPicture &picture, std::string &error) {
    // Whether the picture is a palette one is the file's colour type (in IHDR, first after the
    // signature): the imaging service also offers grey pictures with transparency as palettes.
    static const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (size < 33 || std::memcmp(bytes, signature, 8) != 0 || std::memcmp(bytes + 12, "IHDR", 4) != 0) {
        error = "not a PNG file";
        return false;
    }
    if (size > MAXDWORD) {
        error = "file too large";
        return false;
    }
    // The imaging service reads past damaged chunks and missing ends; libpng does not.
    if (!chunksWhole(bytes, size, error))
        return false;
    ComScope com;
    Steps step(error);
    ComPtr<IWICImagingFactory> factory = imagingFactory(step);
    ComPtr<IWICStream> stream;
    ComPtr<IWICBitmapDecoder> decoder;
    ComPtr<IWICBitmapFrameDecode> frame;
    UINT width = 0, height = 0;
    if (!factory || !step(factory->CreateStream(&stream), "creating a memory stream") ||
        !step(stream->InitializeFromMemory(const_cast<BYTE *>(bytes), DWORD(size)), "reading from memory") ||
        !step(factory->CreateDecoder(GUID_ContainerFormatPng, nullptr, &decoder),
              "creating the PNG decoder") ||
        !step(decoder->Initialize(stream.Get(), WICDecodeMetadataCacheOnDemand), "reading the file") ||
        !step(decoder->GetFrame(0, &frame), "reading the picture") ||
        !step(frame->GetSize(&width, &height), "reading the size"))
        return false;
    if (width > UINT(Picture::MaxSide) || height > UINT(Picture::MaxSide) ||
        uint64_t(width) * height > uint64_t(Picture::MaxPixels)) {
        error = "picture too large";
        return false;
    }
    picture.width = int32_t(width);
    picture.height = int32_t(height);
    picture.indexed = bytes[25] == 3;
    picture.palette.clear();
    bool read = picture.indexed ? readIndices(factory.Get(), frame.Get(), picture, step)
                                : readColours(frame.Get(), picture, step);
    if (read && !picture.indicesInPalette()) {
        error = "a pixel's index is beyond the palette";
        return false;
    }
    return read;
}

} // namespace png

} // namespace qarvex
