// Writes test TIFF files with libtiff, and hand-made ones with impossible headers.
#include "tiff_files.h"

#include <QFile>
#include <QtEndian>
#include <QtGlobal>
#include <algorithm>
#include <cstring>
#include <tiffio.h>

namespace orvik::test {
namespace {

constexpr std::uint32_t TileSide = 16;
constexpr std::uint32_t RowsPerStrip = 2;

// The bytes of one sample in the machine's order, as libtiff takes them.
void putSample(std::vector<std::uint8_t>& bytes, std::size_t index, const TiffPage& page,
               std::uint32_t value) {
    const std::size_t size = std::size_t(page.bits / 8);
    if (page.bits == 8) bytes[index] = std::uint8_t(value);
    if (page.bits == 16) {
        const auto wide = std::uint16_t(value);
        std::memcpy(&bytes[index * size], &wide, size);
    }
    if (page.bits == 32) {
        const float real = float(value);
        std::memcpy(&bytes[index * size], &real, size);
    }
}

// The samples of pixels [x0, x0 + columns) × [y0, y0 + rows) of one plane (or of all channels
// interleaved when plane < 0), `stride` pixels a row; pixels beyond the page stay 0.
std::vector<std::uint8_t> block(const TiffPage& page, int plane, int x0, int y0, int columns,
                                int rows) {
    const int perPixel = plane < 0 ? page.channels : 1;
    std::vector<std::uint8_t> bytes(std::size_t(columns) * rows * perPixel * (page.bits / 8));
    for (int y = 0; y < rows && y0 + y < page.height; ++y)
        for (int x = 0; x < columns && x0 + x < page.width; ++x)
            for (int c = 0; c < perPixel; ++c) {
                const int channel = plane < 0 ? c : plane;
                const std::size_t source =
                    (std::size_t(y0 + y) * page.width + (x0 + x)) * page.channels + channel;
                putSample(bytes, (std::size_t(y) * columns + x) * perPixel + c, page,
                          page.samples[source]);
            }
    return bytes;
}

void writePage(TIFF* tiff, const TiffPage& page) {
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, std::uint32_t(page.width));
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, std::uint32_t(page.height));
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, std::uint16_t(page.bits));
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, std::uint16_t(page.channels));
    TIFFSetField(tiff, TIFFTAG_SAMPLEFORMAT,
                 std::uint16_t(page.floating ? SAMPLEFORMAT_IEEEFP : SAMPLEFORMAT_UINT));
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC,
                 std::uint16_t(page.channels == 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK));
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG,
                 std::uint16_t(page.separatePlanes ? PLANARCONFIG_SEPARATE : PLANARCONFIG_CONTIG));
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, std::uint16_t(page.compression));
    if (page.xResolution > 0) {
        TIFFSetField(tiff, TIFFTAG_XRESOLUTION, page.xResolution);
        TIFFSetField(tiff, TIFFTAG_YRESOLUTION, page.xResolution);
        TIFFSetField(tiff, TIFFTAG_RESOLUTIONUNIT, std::uint16_t(page.resolutionUnit));
    }
    if (!page.description.empty())
        TIFFSetField(tiff, TIFFTAG_IMAGEDESCRIPTION, page.description.c_str());

    const int planes = page.separatePlanes ? page.channels : 1;
    bool written = true;
    if (page.tiled) {
        TIFFSetField(tiff, TIFFTAG_TILEWIDTH, TileSide);
        TIFFSetField(tiff, TIFFTAG_TILELENGTH, TileSide);
        for (int plane = 0; plane < planes; ++plane)
            for (int y = 0; y < page.height; y += int(TileSide))
                for (int x = 0; x < page.width; x += int(TileSide)) {
                    std::vector<std::uint8_t> tile =
                        block(page, page.separatePlanes ? plane : -1, x, y, TileSide, TileSide);
                    const std::uint32_t index =
                        TIFFComputeTile(tiff, std::uint32_t(x), std::uint32_t(y), 0, plane);
                    written &=
                        TIFFWriteEncodedTile(tiff, index, tile.data(), tmsize_t(tile.size())) >= 0;
                }
    } else {
        TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, RowsPerStrip);
        for (int plane = 0; plane < planes; ++plane)
            for (int y = 0; y < page.height; y += int(RowsPerStrip)) {
                const int rows = std::min(int(RowsPerStrip), page.height - y);
                std::vector<std::uint8_t> strip =
                    block(page, page.separatePlanes ? plane : -1, 0, y, page.width, rows);
                const std::uint32_t index = TIFFComputeStrip(tiff, std::uint32_t(y), plane);
                written &=
                    TIFFWriteEncodedStrip(tiff, index, strip.data(), tmsize_t(strip.size())) >= 0;
            }
    }
    if (!written || !TIFFWriteDirectory(tiff)) qFatal("cannot write a test TIFF page");
}

void putLittle16(QByteArray& bytes, std::uint16_t value) {
    char raw[2];
    qToLittleEndian(value, raw);
    bytes.append(raw, 2);
}

void putLittle32(QByteArray& bytes, std::uint32_t value) {
    char raw[4];
    qToLittleEndian(value, raw);
    bytes.append(raw, 4);
}

} // namespace

TiffPage patternPage(int width, int height, int bits, int channels, std::uint32_t low,
                     std::uint32_t span) {
    TiffPage page;
    page.width = width;
    page.height = height;
    page.bits = bits;
    page.channels = channels;
    const std::size_t count = std::size_t(width) * height * channels;
    for (std::size_t i = 0; i < count; ++i)
        page.samples.push_back(low + std::uint32_t((i * 37 + (i / width) * 11) % span));
    return page;
}

void writeTiff(const QString& path, const std::vector<TiffPage>& pages) {
    TIFF* tiff = TIFFOpen(QFile::encodeName(path).constData(), "w");
    if (!tiff) qFatal("cannot open %s for a test TIFF", qPrintable(path));
    for (const TiffPage& page : pages)
        writePage(tiff, page);
    TIFFClose(tiff);
}

QByteArray tiffClaiming(std::uint32_t width, std::uint32_t height, std::uint32_t pixelBytes) {
    struct Entry {
        std::uint16_t tag, type;
        std::uint32_t value;
    };
    constexpr std::uint16_t Short = 3, Long = 4;
    constexpr std::uint32_t Entries = 9;
    const std::uint32_t pixelsAt = 8 + 2 + Entries * 12 + 4;
    const Entry entries[Entries] = {
        {256, Long, width},
        {257, Long, height},
        {258, Short, 8},
        {259, Short, 1},
        {262, Short, 1},
        {273, Long, pixelsAt},
        {277, Short, 1},
        {278, Long, height},
        {279, Long,
         std::uint32_t(std::min<std::uint64_t>(std::uint64_t(width) * height, 0xffffffffu))},
    };
    QByteArray bytes("II*\0", 4);
    putLittle32(bytes, 8);
    putLittle16(bytes, Entries);
    for (const Entry& entry : entries) {
        putLittle16(bytes, entry.tag);
        putLittle16(bytes, entry.type);
        putLittle32(bytes, 1);
        if (entry.type == Short) {
            putLittle16(bytes, std::uint16_t(entry.value));
            putLittle16(bytes, 0);
        } else {
            putLittle32(bytes, entry.value);
        }
    }
    putLittle32(bytes, 0);
    for (std::uint32_t i = 0; i < pixelBytes; ++i)
        bytes.append(char(i * 7));
    return bytes;
}

} // namespace orvik::test
