// The formats of objects over the frames of a stack.
#include "io/frame_formats.h"

#include "io/formats.h"
#include "io/json_text.h"
#include "io/zip_archive.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <iterator>
#include <utility>

namespace orvik {

QString ctcMaskName(int frame, int frameCount) {
    return QStringLiteral("mask%1.tif").arg(frame, frameCount > 1000 ? 4 : 3, 10, QLatin1Char('0'));
}

QByteArray ctcTracks(const std::map<int, LabelSpan>& drawn) {
    std::string text;
    for (const auto& [label, span] : drawn) {
        const int parent = drawn.contains(span.parent) ? span.parent : 0;
        text += std::to_string(label) + " " + std::to_string(span.first) + " " +
                std::to_string(span.last) + " " + std::to_string(parent) + "\n";
    }
    return bytesOf(text);
}

namespace {

// The bytes `make` gives, its refusal told as a failure to save `path`.
template <typename Make>
QByteArray bytesFor(const QString& path, Make make) {
    try {
        return make();
    } catch (const ResultFileError& e) {
        throw ResultFileError(
            QStringLiteral("Cannot save \"%1\": %2").arg(path, e.what()).toStdString());
    }
}

[[noreturn]] void failMoving(const QString& to) {
    throw ResultFileError(
        QStringLiteral("Cannot save \"%1\": %2").arg(to, systemReason(errno)).toStdString());
}

// A staged file into its place; a device or pipe in that place is written, not replaced.
void moveIntoPlace(const QString& from, const QString& to) {
    const QFileInfo target(to);
    if (target.exists() && !target.isFile() && !target.isDir()) {
        QFile staged(from);
        if (!staged.open(QIODevice::ReadOnly))
            throw ResultFileError(QStringLiteral("Cannot read \"%1\": %2")
                                      .arg(from, staged.errorString())
                                      .toStdString());
        saveFile(to, staged.readAll());
        return;
    }
    if (::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) != 0)
        failMoving(to);
}

// The staged folder in place of `to`: swapped with the old one in one step where the file
// system can (the old one is then left at `from`, to be removed with the staging folder).
void replaceFolder(const QString& from, const QString& to) {
    const QByteArray source = QFile::encodeName(from), target = QFile::encodeName(to);
    if (::rename(source.constData(), target.constData()) == 0) return; // none, or an empty one
    if (errno != ENOTEMPTY && errno != EEXIST) failMoving(to);
    if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_EXCHANGE) ==
        0)
        return;
    if (errno != EINVAL && errno != ENOSYS) failMoving(to);
    // Without the swap: the old folder aside first, then the new one in its place.
    const QByteArray aside = QFile::encodeName(from + QStringLiteral(".old"));
    if (::rename(target.constData(), aside.constData()) != 0) failMoving(to);
    if (::rename(source.constData(), target.constData()) != 0) {
        const int error = errno;
        ::rename(aside.constData(), target.constData());
        errno = error;
        failMoving(to);
    }
}

} // namespace

FramesSave::FramesSave(std::vector<ObjectsFormat> formats, bool ctc, QString folder,
                       QString imageFile, int frameCount)
    : formats_(std::move(formats)), ctc_(ctc), folder_(std::move(folder)),
      imageFile_(std::move(imageFile)), frameCount_(frameCount) {
    if (!ctc_ && !has(ObjectsFormat::Labels) && !has(ObjectsFormat::Overlay)) return;
    makeFolder(folder_);
    QTemporaryDir staging(QDir(folder_).filePath(u'.' + QFileInfo(imageFile_).completeBaseName() +
                                                 QStringLiteral("-saving-XXXXXX")));
    if (!staging.isValid())
        throw ResultFileError(QStringLiteral("Cannot save into the folder \"%1\": %2")
                                  .arg(folder_, staging.errorString())
                                  .toStdString());
    staging.setAutoRemove(false);
    staging_ = staging.path();
    if (ctc_) makeFolder(QDir(staging_).filePath(QFileInfo(imageFile_).completeBaseName()));
}

FramesSave::~FramesSave() {
    if (!staging_.isEmpty()) QDir(staging_).removeRecursively();
}

bool FramesSave::has(ObjectsFormat format) const {
    return std::find(formats_.begin(), formats_.end(), format) != formats_.end();
}

// NAME-007-labels.png: a frame's picture, numbered as the CTC masks are.
QString FramesSave::frameName(int frame, const char* ending) const {
    return QFileInfo(imageFile_).completeBaseName() +
           ctcMaskName(frame, frameCount_).mid(4).chopped(4).prepend(u'-') + QLatin1String(ending);
}

void FramesSave::stage(const QString& name, const QByteArray& bytes) {
    saveFile(QDir(staging_).filePath(name), bytes);
}

void FramesSave::addFiles(std::vector<FileBytes> files) {
    std::move(files.begin(), files.end(), std::back_inserter(files_));
}

void FramesSave::addFrame(int frame, const std::vector<PictureObject>& objects,
                          const GreyImage& image, const PictureUnits& units) {
    const bool measures = std::any_of(formats_.begin(), formats_.end(), measuresObjects);
    addFrame(frame, objects, measures ? measureObjects(objects, image, units) : ListMeasurements(),
             image, units);
}

void FramesSave::addFrame(int frame, const std::vector<PictureObject>& objects,
                          const ListMeasurements& measured, const GreyImage& image,
                          const PictureUnits& units) {
    // The calibrated columns of every frame added: a stack followed from a later frame has
    // its unit as well as one followed from the first.
    for (const std::string& unit : unitsOf(units))
        if (std::find(units_.begin(), units_.end(), unit) == units_.end()) units_.push_back(unit);
    if (has(ObjectsFormat::Csv)) {
        for (MeasurementRow& row : objectRows(objects, measured, frame))
            table_.push_back(std::move(row));
        points_ += objectPointRows(objects, frame);
    }
    if (has(ObjectsFormat::GeoJson)) {
        const std::string features = objectFeatures(objects, measured, image, imageFile_, frame);
        features_ += (features_.empty() || features.empty() ? "" : ",") + features;
    }
    if (has(ObjectsFormat::RoiSet))
        for (ZipEntry& entry : roiEntries(objects, frame))
            rois_.push_back(std::move(entry));
    if (has(ObjectsFormat::Json))
        lines_ += toObjectsJson(objects, measured, image, imageFile_, true, frame).toStdString();
    for (const auto& [format, ending] : {std::pair{ObjectsFormat::Labels, "-labels.png"},
                                         std::pair{ObjectsFormat::Overlay, "-overlay.png"}}) {
        if (!has(format)) continue;
        const QString name = frameName(frame, ending);
        stage(name, bytesFor(QDir(folder_).filePath(name), [&, format = format] {
                  return format == ObjectsFormat::Labels ? toLabelsPng(objects, image)
                                                         : toPng(objectsOverlay(objects, image, 0));
              }));
        if (std::find(pictures_.begin(), pictures_.end(), name) == pictures_.end())
            pictures_.push_back(name);
    }
    if (ctc_) {
        // A mask holds the objects outlined on the frame: not the one whose track ended there.
        std::vector<PictureObject> outlined;
        std::map<int, int> parents;
        for (const PictureObject& object : objects)
            if (object.error.empty() && object.ended.empty()) {
                outlined.push_back(object);
                if (object.parent != 0) parents[object.id] = object.parent;
            }
        const QString name =
            QFileInfo(imageFile_).completeBaseName() + u'/' + ctcMaskName(frame, frameCount_);
        std::vector<std::uint16_t> labels;
        stage(name, bytesFor(QDir(folder_).filePath(name), [&] {
                  labels = labelPixels(outlined, image.ImageWidth, image.ImageHeight);
                  return labelsTiff(labels, image.ImageWidth, image.ImageHeight);
              }));
        std::vector<bool> present(65536, false);
        for (const std::uint16_t label : labels)
            present[label] = true;
        for (int label = 1; label < 65536; ++label)
            if (present[std::size_t(label)]) {
                const auto parent = parents.find(label);
                drawn_
                    .try_emplace(label, LabelSpan{frame, frame,
                                                  parent == parents.end() ? 0 : parent->second})
                    .first->second.last = frame;
            }
    }
}

void FramesSave::finish() {
    const QString base = QFileInfo(imageFile_).completeBaseName();
    const QString ctcFolder = QDir(folder_).filePath(base);
    if (ctc_) {
        const QFileInfo in(ctcFolder);
        if (in.exists() && !in.isDir())
            throw ResultFileError(
                QStringLiteral("Cannot save \"%1\": a file of that name is in the folder's place")
                    .arg(ctcFolder)
                    .toStdString());
        stage(base + QStringLiteral("/res_track.txt"), ctcTracks(drawn_));
    }
    const auto path = [this](ObjectsFormat format) {
        return objectsOutputPath(folder_, imageFile_, format);
    };
    std::vector<FileBytes> files = std::move(files_);
    if (has(ObjectsFormat::Csv)) {
        files.push_back(
            {path(ObjectsFormat::Csv), bytesOf(measurementTable(table_, {false, true, units_}))});
        files.push_back(
            {pointsCsvPath(path(ObjectsFormat::Csv)), bytesOf("frame,id,x,y\n" + points_)});
    }
    if (has(ObjectsFormat::GeoJson))
        files.push_back({path(ObjectsFormat::GeoJson), featureCollectionOf(features_)});
    if (has(ObjectsFormat::Json)) files.push_back({path(ObjectsFormat::Json), bytesOf(lines_)});
    if (has(ObjectsFormat::RoiSet)) files.push_back({path(ObjectsFormat::RoiSet), roiSetOf(rois_)});
    saveFiles(files);
    for (const QString& name : pictures_)
        moveIntoPlace(QDir(staging_).filePath(name), QDir(folder_).filePath(name));
    if (ctc_) replaceFolder(QDir(staging_).filePath(base), ctcFolder);
    // What is left (an earlier run's CTC folder, swapped out) goes with the staging folder.
    if (!staging_.isEmpty()) QDir(staging_).removeRecursively();
    staging_.clear();
}

} // namespace orvik
