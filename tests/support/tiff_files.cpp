// Writes test TIFF files with libtiff and patches their first page's header.
#include "tiff_files.h"

#include <QFile>
#include <QtEndian>
#include <QtGlobal>
#include <algorithm>
#include <cstring>
#include <tiffio.h>

namespace orvik::test {
namespace {

constexpr int TileSide = 16;
constexpr int RowsPerStrip = 2;

// Pixels [x0, x0 + columns) × [y0, y0 + rows) of one plane, or of every channel when plane < 0,
// as libtiff takes them; pixels beyond the page stay 0.
std::vector<std::uint8_t> block(const TiffPage& page, int plane, int x0, int y0, int columns,
                                int rows) {
    const int perPixel = plane < 0 ? page.channels : 1;
    const int size = page.bits / 8;
    std::vector<std::uint8_t> bytes(std::size_t(columns) * rows * perPixel * size);
    for (int y = 0; y < rows && y0 + y < page.height; ++y)
        for (int x = 0; x < columns && x0 + x < page.width; ++x)
            for (int c = 0; c < perPixel; ++c) {
                const std::uint32_t value =
                    page.samples[(std::size_t(y0 + y) * page.width + x0 + x) * page.channels +
                                 std::size_t(plane < 0 ? c : plane)];
                const float real = float(value);
                const std::uint16_t wide = std::uint16_t(value);
                const std::uint8_t narrow = std::uint8_t(value);
                const void* source = size == 4 ? &real : size == 2 ? (const void*)&wide : &narrow;
                std::memcpy(&bytes[((std::size_t(y) * columns + x) * perPixel + c) * size], source,
                            std::size_t(size));
            }
    return bytes;
}

void writePage(TIFF* tiff, const TiffPage& page) {
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, page.width);
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, page.height);
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, page.bits);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, page.channels);
    TIFFSetField(tiff, TIFFTAG_SAMPLEFORMAT,
                 page.floating ? SAMPLEFORMAT_IEEEFP : SAMPLEFORMAT_UINT);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC,
                 page.channels == 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK);
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG,
                 page.separatePlanes ? PLANARCONFIG_SEPARATE : PLANARCONFIG_CONTIG);
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, page.compression);
    if (page.xResolution > 0) {
        TIFFSetField(tiff, TIFFTAG_XRESOLUTION, double(page.xResolution));
        TIFFSetField(tiff, TIFFTAG_YRESOLUTION, double(page.xResolution));
        TIFFSetField(tiff, TIFFTAG_RESOLUTIONUNIT, page.resolutionUnit);
    }
    if (!page.description.empty())
        TIFFSetField(tiff, TIFFTAG_IMAGEDESCRIPTION, page.description.c_str());
    if (page.tiled) {
        TIFFSetField(tiff, TIFFTAG_TILEWIDTH, TileSide);
        TIFFSetField(tiff, TIFFTAG_TILELENGTH, TileSide);
    } else {
        TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, RowsPerStrip);
    }
    const int tileWidth = page.tiled ? TileSide : page.width;
    const int tileHeight = page.tiled ? TileSide : RowsPerStrip;
    bool written = true;
    for (int plane = 0; plane < (page.separatePlanes ? page.channels : 1); ++plane)
        for (int y = 0; y < page.height; y += tileHeight)
            for (int x = 0; x < page.width; x += tileWidth) {
                const int rows = page.tiled ? tileHeight : std::min(tileHeight, page.height - y);
                std::vector<std::uint8_t> data =
                    block(page, page.separatePlanes ? plane : -1, x, y, tileWidth, rows);
                const auto size = tmsize_t(data.size());
                written &= page.tiled
                               ? TIFFWriteEncodedTile(tiff, TIFFComputeTile(tiff, x, y, 0, plane),
                                                      data.data(), size) >= 0
                               : TIFFWriteEncodedStrip(tiff, TIFFComputeStrip(tiff, y, plane),
                                                       data.data(), size) >= 0;
            }
    if (!written || !TIFFWriteDirectory(tiff)) qFatal("cannot write a test TIFF page");
}

} // namespace

TiffPage patterned(TiffPage page, std::uint32_t low, std::uint32_t span) {
    const std::size_t count = std::size_t(page.width) * page.height * page.channels;
    page.samples.clear();
    for (std::size_t i = 0; i < count; ++i)
        page.samples.push_back(low + std::uint32_t((i * 37 + (i / page.width) * 11) % span));
    return page;
}

std::vector<TiffPage> discMovie(int frames, const std::string& description, float xResolution) {
    std::vector<TiffPage> pages;
    for (int t = 0; t < frames; ++t) {
        TiffPage page{.width = 120,
                      .height = 100,
                      .bits = 16,
                      .xResolution = xResolution,
                      .description = description};
        const auto inDisc = [](double x, double y, double cx, double cy, double r) {
            return (x + 0.5 - cx) * (x + 0.5 - cx) + (y + 0.5 - cy) * (y + 0.5 - cy) < r * r;
        };
        for (int y = 0; y < page.height; ++y)
            for (int x = 0; x < page.width; ++x)
                page.samples.push_back(
                    inDisc(x, y, 35.0 + 2 * t, 40, 14) || inDisc(x, y, 85, 60, 12) ? 1000 : 3000);
        pages.push_back(std::move(page));
    }
    return pages;
}

QByteArray writeTiff(const QString& path, const std::vector<TiffPage>& pages) {
    TIFF* tiff = TIFFOpen(QFile::encodeName(path).constData(), "w");
    if (!tiff) qFatal("cannot open %s for a test TIFF", qPrintable(path));
    for (const TiffPage& page : pages)
        writePage(tiff, page);
    TIFFClose(tiff);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) qFatal("cannot read back %s", qPrintable(path));
    return file.readAll();
}

void writeStack16(const QString& path, int width, int height, int frames,
                  const std::function<void(int frame, std::uint16_t* samples)>& fill,
                  int compression) {
    TIFF* tiff = TIFFOpen(QFile::encodeName(path).constData(), "w");
    if (!tiff) qFatal("cannot open %s for a TIFF stack", qPrintable(path));
    std::vector<std::uint16_t> samples(std::size_t(width) * std::size_t(height));
    for (int frame = 0; frame < frames; ++frame) {
        TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, width);
        TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, height);
        TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 16);
        TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 1);
        TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
        TIFFSetField(tiff, TIFFTAG_COMPRESSION, compression);
        TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, height);
        fill(frame, samples.data());
        const auto bytes = tmsize_t(samples.size() * sizeof(std::uint16_t));
        if (TIFFWriteEncodedStrip(tiff, 0, samples.data(), bytes) != bytes ||
            !TIFFWriteDirectory(tiff))
            qFatal("cannot write page %d of %s", frame + 1, qPrintable(path));
    }
    TIFFClose(tiff);
}

QByteArray withTag(QByteArray tiff, std::uint16_t tag, std::uint32_t value, bool count) {
    const auto directory = qFromLittleEndian<std::uint32_t>(tiff.constData() + 4);
    const auto entries = qFromLittleEndian<std::uint16_t>(tiff.constData() + directory);
    for (std::uint32_t i = 0; i < entries; ++i) {
        char* entry = tiff.data() + directory + 2 + 12 * i;
        if (qFromLittleEndian<std::uint16_t>(entry) != tag) continue;
        if (count)
            qToLittleEndian(value, entry + 4);
        else if (qFromLittleEndian<std::uint16_t>(entry + 2) == TIFF_SHORT)
            qToLittleEndian(std::uint16_t(value), entry + 8);
        else
            qToLittleEndian(value, entry + 8);
    }
    return tiff;
}

QByteArray sharingFirstStrip(QByteArray tiff) {
    std::uint32_t first = 0;
    for (auto directory = qFromLittleEndian<std::uint32_t>(tiff.constData() + 4); directory != 0;) {
        const auto entries = qFromLittleEndian<std::uint16_t>(tiff.constData() + directory);
        for (std::uint32_t i = 0; i < entries; ++i) {
            char* entry = tiff.data() + directory + 2 + 12 * i;
            if (qFromLittleEndian<std::uint16_t>(entry) != TIFFTAG_STRIPOFFSETS) continue;
            if (first == 0) first = qFromLittleEndian<std::uint32_t>(entry + 8);
            qToLittleEndian(first, entry + 8);
        }
        directory =
            qFromLittleEndian<std::uint32_t>(tiff.constData() + directory + 2 + 12 * entries);
    }
    return tiff;
}

} // namespace orvik::test
