// The labels picture and the Cell Tracking Challenge's mask TIFF.
#include "io/labels.h"

#include "core/measurements.h"
#include "io/formats.h"
#include "io/list_common.h"

#include <QImage>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <tiffio.h>

namespace orvik {

std::vector<std::uint16_t> labelPixels(const std::vector<PictureObject>& objects,
                                       std::int32_t width, std::int32_t height) {
    std::vector<std::uint16_t> labels;
    try {
        labels.assign(std::size_t(std::max(width, 0)) * std::size_t(std::max(height, 0)), 0);
    } catch (const std::bad_alloc&) {
        throw ResultFileError("There is not enough memory for the labels");
    }
    for (const PictureObject* object : objectsById(objects)) {
        if (!object->result.closed || object->result.contour.empty()) continue; // encloses nothing
        if (object->id < 1 || object->id > 0xffff)
            throw ResultFileError("object " + std::to_string(object->id) +
                                  " has an id beyond the 1..65535 a 16-bit labels picture holds");
        const auto id = static_cast<std::uint16_t>(object->id);
        forEachInsideSpan(object->result.contour, width, height,
                          [&](std::int32_t row, std::int32_t first, std::int32_t last) {
                              std::uint16_t* line = labels.data() + std::size_t(row) * width;
                              std::fill(line + first, line + last + 1, id);
                          });
    }
    return labels;
}

QByteArray toLabelsPng(const std::vector<PictureObject>& objects, const GreyImage& image) {
    const std::vector<std::uint16_t> pixels =
        labelPixels(objects, image.ImageWidth, image.ImageHeight);
    QImage labels(std::max(image.ImageWidth, 1), std::max(image.ImageHeight, 1),
                  QImage::Format_Grayscale16);
    if (labels.isNull()) throw ResultFileError("There is not enough memory for the labels");
    labels.fill(0);
    fixResolution(labels);
    for (std::int32_t y = 0; y < image.ImageHeight; ++y)
        std::copy_n(pixels.data() + std::size_t(y) * image.ImageWidth, image.ImageWidth,
                    reinterpret_cast<std::uint16_t*>(labels.scanLine(y)));
    return toPng(labels);
}

namespace {

// A TIFF file in memory, for libtiff's client interface: the file is made whole before it is
// saved, so that a failed save leaves nothing half written.
struct MemoryFile {
    std::vector<char> bytes;
    toff_t at = 0;
};

MemoryFile& fileOf(thandle_t handle) {
    return *static_cast<MemoryFile*>(handle);
}

tmsize_t readMemory(thandle_t handle, void* buffer, tmsize_t size) {
    MemoryFile& f = fileOf(handle);
    const toff_t left = f.at < f.bytes.size() ? f.bytes.size() - f.at : 0;
    const auto count = static_cast<tmsize_t>(std::min<toff_t>(toff_t(size), left));
    std::memcpy(buffer, f.bytes.data() + f.at, std::size_t(count));
    f.at += toff_t(count);
    return count;
}

tmsize_t writeMemory(thandle_t handle, void* buffer, tmsize_t size) {
    MemoryFile& f = fileOf(handle);
    if (f.at + toff_t(size) > f.bytes.size()) f.bytes.resize(f.at + toff_t(size));
    std::memcpy(f.bytes.data() + f.at, buffer, std::size_t(size));
    f.at += toff_t(size);
    return size;
}

toff_t seekMemory(thandle_t handle, toff_t offset, int whence) {
    MemoryFile& f = fileOf(handle);
    if (whence == SEEK_CUR) offset += f.at;
    if (whence == SEEK_END) offset += f.bytes.size();
    f.at = offset;
    return f.at;
}

int closeMemory(thandle_t) {
    return 0;
}

toff_t sizeOfMemory(thandle_t handle) {
    return fileOf(handle).bytes.size();
}

int mapNothing(thandle_t, void**, toff_t*) {
    return 0;
}

void unmapNothing(thandle_t, void*, toff_t) {}

} // namespace

QByteArray labelsTiff(const std::vector<std::uint16_t>& labels, std::int32_t width,
                      std::int32_t height) {
    MemoryFile file;
    TIFF* tiff = TIFFClientOpen("labels", "w", &file, readMemory, writeMemory, seekMemory,
                                closeMemory, sizeOfMemory, mapNothing, unmapNothing);
    if (tiff == nullptr) throw ResultFileError("The labels could not be encoded as TIFF");
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, std::uint32_t(width));
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, std::uint32_t(height));
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 16);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tiff, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_UINT);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tiff, 0));
    bool written = true;
    std::vector<std::uint16_t> row(std::size_t(std::max(width, 1)));
    for (std::int32_t y = 0; y < height && written; ++y) {
        std::copy_n(labels.data() + std::size_t(y) * width, width, row.data());
        written = TIFFWriteScanline(tiff, row.data(), std::uint32_t(y), 0) == 1;
    }
    TIFFClose(tiff);
    if (!written) throw ResultFileError("The labels could not be encoded as TIFF");
    return QByteArray(file.bytes.data(), qsizetype(file.bytes.size()));
}

} // namespace orvik
