// Reading PNG files back: every kind of picture the encoder writes, pictures that ImageMagick wrote
// in palette, grey and true-colour forms (checked against ImageMagick's own reading), and damaged
// files, which are refused.
#include "PictureTestSupport.h"

#include "png/PngChunks.h"

namespace qarvex {

using namespace picturetest;
using png::DecodedPicture;
using png::Picture;

namespace {

std::vector<uint8_t> encoded(const Picture &picture) {
    std::vector<uint8_t> out;
    std::string error;
    EXPECT_TRUE(png::encodePng(picture, out, error)) << error;
    return out;
}

bool decodes(const std::vector<uint8_t> &file, DecodedPicture &picture, std::string &error) {
    return png::decodePng(file.data(), file.size(), picture, error);
}

// The colours a viewer shows, as 0xRRGGBBAA with fully transparent pixels as Clear, so that they
// compare with ImageMagick's reading.
std::vector<uint32_t> coloursOf(const DecodedPicture &picture) {
    std::vector<uint32_t> colours;
    for (size_t at = 0; at < size_t(picture.width) * size_t(picture.height); ++at) {
        DecodedPicture::Colour c;
        if (picture.indexed)
            c = picture.palette.at(picture.pixels[at]);
        else
            c = {picture.pixels[4 * at], picture.pixels[4 * at + 1], picture.pixels[4 * at + 2],
                 picture.pixels[4 * at + 3]};
        colours.push_back(c.alpha == 0 ? Clear
                                       : uint32_t(c.red) << 24 | uint32_t(c.green) << 16 |
                                             uint32_t(c.blue) << 8 | c.alpha);
    }
    return colours;
}

// A picture of the format whose every byte depends on its place.
Picture sample(Picture::Format format, int32_t width, int32_t height, int32_t transparentIndex = -1) {
    Picture picture;
    EXPECT_TRUE(picture.allocate(format, width, height));
    for (size_t i = 0; i < picture.pixels.size(); ++i)
        picture.pixels[i] = uint8_t(i * 37 + i / 7);
    for (int i = 0; i < 256; ++i) {
        picture.palette[i][0] = uint8_t(i);
        picture.palette[i][1] = uint8_t(255 - i);
        picture.palette[i][2] = uint8_t(i * 3);
    }
    picture.transparentIndex = transparentIndex;
    return picture;
}

void putBigEndian(std::vector<uint8_t> &bytes, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        bytes[at + size_t(i)] = uint8_t(value >> (24 - 8 * i));
}

// file with the data of its first chunk of type replaced by data, lengths and CRC made to match.
std::vector<uint8_t> withChunk(const std::vector<uint8_t> &file, const std::string &type,
                               const std::vector<uint8_t> &data) {
    for (size_t at = 8; at + 12 <= file.size();) {
        size_t length =
            size_t(file[at]) << 24 | size_t(file[at + 1]) << 16 | size_t(file[at + 2]) << 8 | file[at + 3];
        if (std::string(file.begin() + long(at) + 4, file.begin() + long(at) + 8) != type) {
            at += 12 + length;
            continue;
        }
        std::vector<uint8_t> out(file.begin(), file.begin() + long(at) + 8);
        out.insert(out.end(), data.begin(), data.end());
        out.resize(out.size() + 4);
        putBigEndian(out, at, uint32_t(data.size()));
        putBigEndian(out, out.size() - 4, png::chunkCrc(&out[at + 4], 4 + data.size()));
        out.insert(out.end(), file.begin() + long(at + 12 + length), file.end());
        return out;
    }
    ADD_FAILURE() << "no " << type;
    return file;
}

std::vector<uint8_t> ihdr(uint32_t width, uint32_t height, uint8_t bitDepth, uint8_t colourType) {
    std::vector<uint8_t> data(13, 0);
    putBigEndian(data, 0, width);
    putBigEndian(data, 4, height);
    data[8] = bitDepth;
    data[9] = colourType;
    return data;
}

} // namespace

TEST(PngDecoderTest, EveryKindTheEncoderWritesReadsBackAsWritten) {
    struct Case {
        const char *name;
        Picture picture;
    };
    const Case cases[] = {
        {"indexed", sample(Picture::Format::Indexed, 7, 5)},
        {"indexed, index 9 transparent", sample(Picture::Format::Indexed, 3, 4, 9)},
        {"indexed, index 255 transparent", sample(Picture::Format::Indexed, 1, 1, 255)},
        {"rgb", sample(Picture::Format::Rgb, 5, 3)},
        {"rgba", sample(Picture::Format::Rgba, 4, 6)},
        {"one wide row", sample(Picture::Format::Rgba, 3000, 1)},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const Picture &written = c.picture;
        DecodedPicture read;
        std::string error;
        ASSERT_TRUE(decodes(encoded(written), read, error)) << error;
        EXPECT_EQ(read.width, written.width);
        EXPECT_EQ(read.height, written.height);
        EXPECT_EQ(read.indexed, written.format == Picture::Format::Indexed);
        if (read.indexed) {
            EXPECT_EQ(read.pixels, written.pixels);
            ASSERT_EQ(read.palette.size(), 256u);
            for (int i = 0; i < 256; ++i) {
                DecodedPicture::Colour expected{written.palette[i][0], written.palette[i][1],
                                                written.palette[i][2],
                                                uint8_t(i == written.transparentIndex ? 0 : 255)};
                EXPECT_EQ(read.palette[size_t(i)], expected) << i;
            }
            continue;
        }
        EXPECT_TRUE(read.palette.empty());
        std::vector<uint8_t> rgba;
        for (size_t i = 0; i < written.pixels.size(); i += size_t(written.bytesPerPixel())) {
            rgba.insert(rgba.end(), written.pixels.begin() + long(i), written.pixels.begin() + long(i) + 3);
            rgba.push_back(written.format == Picture::Format::Rgba ? written.pixels[i + 3] : 255);
        }
        EXPECT_EQ(read.pixels, rgba);
    }
}

TEST(PngDecoderTest, PicturesImageMagickWroteReadAsImageMagickReadsThem) {
    REQUIRE_IMAGEMAGICK();
    // Few colours, some transparent, so that ImageMagick can write every form without losing any.
    Picture source;
    source.allocate(Picture::Format::Rgba, 9, 7);
    const uint8_t colours[4][4] = {{255, 0, 0, 255}, {0, 128, 255, 255}, {30, 30, 30, 255}, {0, 0, 0, 0}};
    for (size_t i = 0; i < 63; ++i)
        std::copy(colours[i * 7 / 5 % 4], colours[i * 7 / 5 % 4] + 4, source.pixels.begin() + long(4 * i));
    Scratch scratch;
    std::string from = scratch.write("source.png", encoded(source));
    struct Case {
        const char *options;
        bool indexed;
    };
    const Case cases[] = {
        {"PNG8:", true},
        {"-colors 2 -define png:bit-depth=1 PNG8:", true},
        {"-define png:color-type=3 -define png:bit-depth=4 PNG:", true},
        {"PNG24:", false},
        {"PNG32:", false},
        {"-depth 16 PNG64:", false},
        {"-interlace PNG PNG32:", false},
        {"-colorspace Gray -define png:color-type=0 PNG:", false},
        {"-colorspace Gray -define png:color-type=4 PNG:", false},
        {"-colorspace Gray -depth 8 -depth 16 -define png:color-type=0 PNG:", false},
        {"-colorspace Gray -depth 2 -define png:color-type=0 -define png:bit-depth=2 PNG:", false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.options);
        std::string to = scratch.path("written.png");
        std::vector<std::string> arguments{imageMagickPath(from)};
        std::istringstream options(c.options);
        for (std::string option; options >> option;)
            arguments.push_back(option);
        arguments.back() += imageMagickPath(to); // the output format, then the file
        ASSERT_EQ(runConvert(arguments).exitCode, 0);
        std::string stored = toolrun::slurp(to);
        std::vector<uint8_t> file(stored.begin(), stored.end());
        Decoded expected = decodeFile(to);
        DecodedPicture read;
        std::string error;
        ASSERT_TRUE(decodes(file, read, error)) << error;
        EXPECT_EQ(colourTypeOf(file) == 3, c.indexed)
            << "ImageMagick wrote colour type " << colourTypeOf(file);
        EXPECT_EQ(read.indexed, c.indexed);
        EXPECT_EQ(read.width, expected.width);
        EXPECT_EQ(read.height, expected.height);
        EXPECT_EQ(coloursOf(read), expected.pixels);
    }
}

TEST(PngDecoderTest, SixteenBitSamplesRoundToTheNearestEightBitValue) {
    REQUIRE_IMAGEMAGICK();
    // 0x00FF is 255 / 257 (rounds up to 1), 0x80FF 128.5 less a little, 0x7F80 and 0x8081 just
    // over 127 and 128: taking the high byte alone would give 0, 128, 127, 128.
    struct Case {
        const char *colour;
        const char *format;
        DecodedPicture::Colour expected;
    };
    const Case cases[] = {
        {"xc:#00FF80FF7F80", "PNG48:", {1, 128, 127, 255}},
        {"xc:#00FF80FF7F808081", "PNG64:", {1, 128, 127, 128}},
        {"xc:#00FF00FF00FF", "PNG:", {1, 1, 1, 255}},
    };
    Scratch scratch;
    std::string to = scratch.path("deep.png");
    for (const Case &c : cases) {
        SCOPED_TRACE(c.colour);
        std::vector<std::string> arguments{"-size", "2x1", c.colour, "-depth", "16"};
        if (std::string(c.format) == "PNG:")
            arguments.insert(arguments.end(), {"-colorspace", "Gray", "-define", "png:color-type=0"});
        arguments.push_back(c.format + imageMagickPath(to));
        ASSERT_EQ(runConvert(arguments).exitCode, 0);
        std::string stored = toolrun::slurp(to);
        std::vector<uint8_t> file(stored.begin(), stored.end());
        ASSERT_EQ(file.size() > 24 ? file[24] : 0, 16) << "bit depth";
        DecodedPicture read;
        std::string error;
        ASSERT_TRUE(decodes(file, read, error)) << error;
        ASSERT_EQ(read.pixels.size(), 8u);
        for (size_t at : {0, 4})
            EXPECT_EQ((DecodedPicture::Colour{read.pixels[at], read.pixels[at + 1], read.pixels[at + 2],
                                              read.pixels[at + 3]}),
                      c.expected);
    }
}

TEST(PngDecoderTest, DamagedFilesAreRefused) {
    const std::vector<uint8_t> indexed = encoded(sample(Picture::Format::Indexed, 6, 4, 3));
    const std::vector<uint8_t> rgb = encoded(sample(Picture::Format::Rgb, 6, 4));
    auto flipped = [](std::vector<uint8_t> file, size_t at) {
        file.at(at) ^= 0x10;
        return file;
    };
    std::vector<uint8_t> idatCrc = rgb;
    idatCrc[idatCrc.size() - 13] ^= 1; // the last byte of IDAT's CRC, before the 12 bytes of IEND
    const std::vector<uint8_t> twoColours{0, 0, 0, 255, 255, 255};
    struct Case {
        const char *name;
        std::vector<uint8_t> file;
    };
    const Case cases[] = {
        {"empty", {}},
        {"not a PNG file", fixture::text("GIF89a but nothing else")},
        {"signature damaged", flipped(rgb, 1)},
        {"IHDR's CRC wrong", flipped(rgb, 29)},
        {"IDAT's CRC wrong", idatCrc},
        {"no width", withChunk(rgb, "IHDR", ihdr(0, 4, 8, 2))},
        {"wider than the widest picture", withChunk(rgb, "IHDR", ihdr(Picture::MaxSide + 1, 1, 8, 2))},
        {"more pixels than the largest picture", withChunk(rgb, "IHDR", ihdr(1 << 14, 1 << 13, 8, 2))},
        {"an unknown colour type", withChunk(rgb, "IHDR", ihdr(6, 4, 8, 5))},
        {"more rows than the data holds", withChunk(rgb, "IHDR", ihdr(6, 40, 8, 2))},
        {"indices beyond a palette of two colours", withChunk(indexed, "PLTE", twoColours)},
    };
    for (const Case &c : cases) {
        DecodedPicture read;
        std::string error;
        EXPECT_FALSE(decodes(c.file, read, error)) << c.name;
        EXPECT_FALSE(error.empty()) << c.name;
    }
    for (const std::vector<uint8_t> *whole : {&indexed, &rgb})
        for (size_t length = 0; length < whole->size(); ++length) {
            std::vector<uint8_t> cut(whole->begin(), whole->begin() + long(length));
            DecodedPicture read;
            std::string error;
            EXPECT_FALSE(decodes(cut, read, error)) << "cut to " << length << " of " << whole->size();
        }
}

TEST(PngDecoderTest, ChunkWalkFindsEveryFileThatIsNotWhole) {
    const std::vector<uint8_t> whole = encoded(sample(Picture::Format::Indexed, 6, 4, 3));
    auto flipped = [&](size_t at) {
        std::vector<uint8_t> file = whole;
        file.at(at) ^= 0x10;
        return file;
    };
    const size_t trnsCrc = 8 + 25 + 12 + 768 + 8 + 4; // after IHDR, PLTE and tRNS's 4 bytes
    struct Case {
        const char *name;
        std::vector<uint8_t> file;
        bool whole;
    };
    std::vector<uint8_t> trailing = whole;
    trailing.push_back(0);
    const Case cases[] = {
        {"whole", whole, true},
        {"bytes after IEND", trailing, true},
        {"IHDR's CRC wrong", flipped(29), false},
        {"PLTE's data wrong", flipped(8 + 25 + 8), false},
        {"tRNS's CRC wrong (skipped by readers)", flipped(trnsCrc), true},
        {"IEND's CRC wrong", flipped(whole.size() - 1), false},
        {"no IEND", std::vector<uint8_t>(whole.begin(), whole.end() - 12), false},
    };
    ASSERT_EQ(chunksOf(whole), (std::vector<std::string>{"IHDR", "PLTE", "tRNS", "IDAT", "IEND"}));
    for (const Case &c : cases) {
        std::string error;
        EXPECT_EQ(png::chunksWhole(c.file.data(), c.file.size(), error), c.whole) << c.name;
        EXPECT_EQ(error.empty(), c.whole) << c.name;
    }
    std::vector<uint8_t> longChunk = whole;
    putBigEndian(longChunk, 8 + 25 + 12 + 768, 0x7FFFFFF0); // tRNS claims more than the file holds
    std::string error;
    EXPECT_FALSE(png::chunksWhole(longChunk.data(), longChunk.size(), error));
    EXPECT_EQ(error, "the file ends early");
}

} // namespace qarvex
