// The formats of objects over the frames of a stack.
#include "io/frame_formats.h"

#include "core/number_text.h"
#include "io/formats.h"
#include "io/json_text.h"
#include "io/zip_archive.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <tiffio.h>
#include <utility>

namespace orvik {

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

std::string fourDigits(int value) {
    char text[16];
    std::snprintf(text, sizeof text, "%04d", value);
    return text;
}

} // namespace

std::vector<PictureObject> objectsOnFrame(const std::vector<Track>& tracks, int frame) {
    std::vector<PictureObject> objects;
    for (const Track& track : tracks) {
        if (frame < track.firstFrame) continue;
        PictureObject object{track.id, track.values, {}, {}};
        if (frame <= track.lastFrame()) {
            object.result = track.frames[std::size_t(frame - track.firstFrame)];
        } else if (frame == track.lastFrame() + 1 && !track.error.empty()) {
            if (!track.frames.empty()) object.result = track.frames.back();
            object.error = track.error;
        } else {
            continue;
        }
        objects.push_back(std::move(object));
    }
    return objects;
}

QString ctcMaskName(int frame, int frameCount) {
    return QStringLiteral("mask%1.tif").arg(frame, frameCount > 1000 ? 4 : 3, 10, QLatin1Char('0'));
}

QByteArray ctcTracks(const std::map<int, LabelSpan>& drawn) {
    std::string text;
    for (const auto& [label, span] : drawn)
        text += std::to_string(label) + " " + std::to_string(span.first) + " " +
                std::to_string(span.last) + " 0\n";
    return bytesOf(text);
}

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

FramesSave::FramesSave(std::vector<ObjectsFormat> formats, bool ctc, QString folder,
                       QString imageFile, int frameCount)
    : formats_(std::move(formats)), ctc_(ctc), folder_(std::move(folder)),
      imageFile_(std::move(imageFile)), frameCount_(frameCount) {}

bool FramesSave::has(ObjectsFormat format) const {
    return std::find(formats_.begin(), formats_.end(), format) != formats_.end();
}

// DIR/NAME-007-labels.png: a frame's picture, numbered as the CTC masks are.
QString FramesSave::framePath(int frame, const char* ending) const {
    return QDir(folder_).filePath(QFileInfo(imageFile_).completeBaseName() +
                                  ctcMaskName(frame, frameCount_).mid(4).chopped(4).prepend(u'-') +
                                  QLatin1String(ending));
}

void FramesSave::addFrame(int frame, const std::vector<PictureObject>& objects,
                          const GreyImage& image, const PictureUnits& units) {
    if (frame == 0) {
        scaled_ = units.calibration.known;
        unit_ = units.calibration.unit.toStdString();
    }
    const std::string f = std::to_string(frame);
    std::vector<const PictureObject*> sorted;
    for (const PictureObject& object : objects)
        sorted.push_back(&object);
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const PictureObject* a, const PictureObject* b) { return a->id < b->id; });
    const bool measured = has(ObjectsFormat::Csv) || has(ObjectsFormat::GeoJson);
    for (const PictureObject* object : sorted) {
        const std::string id = std::to_string(object->id);
        const ContourResult& r = object->result;
        const Measurements m = measured ? measureObject(*object, image, units) : Measurements{};
        if (has(ObjectsFormat::Csv)) {
            table_ += f + "," + id + "," + measurementsRow(m, r) +
                      (scaled_ ? std::string(",").append(calibratedCells(m, r, unit_)) : "") + "\n";
            for (const ContourPoint& p : r.contour)
                points_ +=
                    f + "," + id + "," + jsonNumber(p.x, 9) + "," + jsonNumber(p.y, 9) + "\n";
        }
        if (has(ObjectsFormat::GeoJson))
            features_ +=
                (features_.empty() ? "\n" : ",\n") +
                featureJson(r, m,
                            runContext(imageFile_.toStdString(), image.ImageWidth,
                                       image.ImageHeight, object->values),
                            object->id,
                            "\"name\": \"Object " + id +
                                "\", \"objectType\": \"annotation\", \"frame\": " + f + ", ");
        if (has(ObjectsFormat::RoiSet) && !r.contour.empty()) {
            try {
                // ImageJ numbers the slices of a stack from 1.
                rois_.emplace_back(fourDigits(frame + 1) + "-" + fourDigits(object->id) + ".roi",
                                   toRoi(r, frame + 1));
            } catch (const ResultFileError& e) {
                throw ResultFileError("Object " + id + ", frame " + f + ": " + e.what());
            }
        }
    }
    if (has(ObjectsFormat::Json))
        lines_ += toObjectsJson(objects, image, imageFile_, true, units, frame).toStdString();
    if (has(ObjectsFormat::Labels))
        saveFile(framePath(frame, "-labels.png"), toLabelsPng(objects, image));
    if (has(ObjectsFormat::Overlay))
        saveFile(framePath(frame, "-overlay.png"), toPng(objectsOverlay(objects, image, 0)));
    if (ctc_) {
        // A mask holds the objects outlined on the frame: not the one whose track ended there.
        std::vector<PictureObject> outlined;
        for (const PictureObject& object : objects)
            if (object.error.empty()) outlined.push_back(object);
        const QString folder = QDir(folder_).filePath(QFileInfo(imageFile_).completeBaseName());
        makeFolder(folder);
        const std::vector<std::uint16_t> labels =
            labelPixels(outlined, image.ImageWidth, image.ImageHeight);
        saveFile(QDir(folder).filePath(ctcMaskName(frame, frameCount_)),
                 labelsTiff(labels, image.ImageWidth, image.ImageHeight));
        std::vector<bool> present(65536, false);
        for (const std::uint16_t label : labels)
            present[label] = true;
        for (int label = 1; label < 65536; ++label)
            if (present[std::size_t(label)])
                drawn_.try_emplace(label, LabelSpan{frame, frame}).first->second.last = frame;
    }
}

void FramesSave::finish() {
    const auto path = [this](ObjectsFormat format) {
        return objectsOutputPath(folder_, imageFile_, format);
    };
    if (has(ObjectsFormat::Csv)) {
        saveFile(path(ObjectsFormat::Csv),
                 bytesOf("frame,id," + measurementsHeader() +
                         (scaled_ ? std::string(",").append(calibratedHeader(unit_)) : "") + "\n" +
                         table_));
        saveFile(pointsCsvPath(path(ObjectsFormat::Csv)), bytesOf("frame,id,x,y\n" + points_));
    }
    if (has(ObjectsFormat::GeoJson))
        saveFile(path(ObjectsFormat::GeoJson),
                 bytesOf("{\"type\": \"FeatureCollection\", \"features\": [" + features_ + "]}\n"));
    if (has(ObjectsFormat::Json)) saveFile(path(ObjectsFormat::Json), bytesOf(lines_));
    if (has(ObjectsFormat::RoiSet)) {
        std::vector<ZipEntry> entries;
        for (auto& [name, bytes] : rois_)
            entries.push_back({name, bytes});
        try {
            saveFile(path(ObjectsFormat::RoiSet), zipStored(entries));
        } catch (const ZipError& e) {
            throw ResultFileError(std::string("The RoiSet cannot be written: ") + e.what());
        }
    }
    if (ctc_)
        saveFile(QDir(QDir(folder_).filePath(QFileInfo(imageFile_).completeBaseName()))
                     .filePath(QStringLiteral("res_track.txt")),
                 ctcTracks(drawn_));
}

} // namespace orvik
