// The formats of objects over the frames of a stack.
#include "io/frame_formats.h"

#include "io/formats.h"
#include "io/json_text.h"
#include "io/zip_archive.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <utility>

namespace orvik {

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
    // The calibrated columns of every frame added: a stack followed from a later frame has
    // its unit as well as one followed from the first.
    for (const std::string& unit : unitsOf(units))
        if (std::find(units_.begin(), units_.end(), unit) == units_.end()) units_.push_back(unit);
    if (has(ObjectsFormat::Csv)) {
        for (MeasurementRow& row : objectRows(objects, image, units, frame))
            table_.push_back(std::move(row));
        points_ += objectPointRows(objects, frame);
    }
    if (has(ObjectsFormat::GeoJson)) {
        const std::string features = objectFeatures(objects, image, imageFile_, units, frame);
        features_ += (features_.empty() || features.empty() ? "" : ",") + features;
    }
    if (has(ObjectsFormat::RoiSet))
        for (ZipEntry& entry : roiEntries(objects, frame))
            rois_.push_back(std::move(entry));
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
                 bytesOf(measurementTable(table_, {false, true, units_})));
        saveFile(pointsCsvPath(path(ObjectsFormat::Csv)), bytesOf("frame,id,x,y\n" + points_));
    }
    if (has(ObjectsFormat::GeoJson))
        saveFile(path(ObjectsFormat::GeoJson), featureCollectionOf(features_));
    if (has(ObjectsFormat::Json)) saveFile(path(ObjectsFormat::Json), bytesOf(lines_));
    if (has(ObjectsFormat::RoiSet)) saveFile(path(ObjectsFormat::RoiSet), roiSetOf(rois_));
    if (ctc_)
        saveFile(QDir(QDir(folder_).filePath(QFileInfo(imageFile_).completeBaseName()))
                     .filePath(QStringLiteral("res_track.txt")),
                 ctcTracks(drawn_));
}

} // namespace orvik
