// Loads a file or a folder of numbered pictures as frames.
#include "picture_stack.h"

#include "file_stamp.h"
#include "load_refusals.h"
#include "picture_reader.h"
#include "tiff_reader.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <algorithm>
#include <cstring>
#include <exception>
#include <memory>
#include <new>
#include <vector>

namespace orvik {
namespace {

// The toolkit's decode, as loadGreyImage converts it, as the frame store keeps it: grey when
// every pixel is grey (a third of the memory), otherwise 8-bit colour.
QImage frameSamples(const QImage& picture) {
    // A grey decode (a grey PNG, an 8-bit grey BMP) is kept as it is: converted, each of its
    // pixels would become three equal channels and be found grey again.
    if (picture.format() == QImage::Format_Grayscale8) return picture;
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB888);
    if (rgb.isNull()) refuse(QString::fromLatin1(OutOfMemoryText));
    const int width = rgb.width(), height = rgb.height();
    bool grey = true;
    for (int y = 0; y < height && grey; ++y) {
        const std::uint8_t* pixel = rgb.constScanLine(y);
        for (int x = 0; x < width && grey; ++x, pixel += 3)
            grey = pixel[0] == pixel[1] && pixel[1] == pixel[2];
    }
    if (!grey) return rgb;
    QImage single(width, height, QImage::Format_Grayscale8);
    if (single.isNull()) refuse(QString::fromLatin1(OutOfMemoryText));
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* row = rgb.constScanLine(y);
        std::uint8_t* to = single.scanLine(y);
        for (int x = 0; x < width; ++x)
            to[x] = row[3 * x];
    }
    return single;
}

SampleLayout layoutOf(const QImage& samples) {
    return samples.format() == QImage::Format_Grayscale8 ? SampleLayout::Grey8 : SampleLayout::Rgb8;
}

// The rows of frameSamples' picture, without their padding.
void copySamples(const QImage& samples, std::uint8_t* frame) {
    const std::size_t row =
        std::size_t(samples.width()) * (layoutOf(samples) == SampleLayout::Rgb8 ? 3 : 1);
    for (int y = 0; y < samples.height(); ++y)
        std::memcpy(frame + std::size_t(y) * row, samples.constScanLine(y), row);
}

// A picture file of a format the toolkit reads: its one frame, decoded again from the file.
class PictureFileDecoder : public FrameDecoder {
public:
    PictureFileDecoder(QString path, FileStamp stamp, const QImage& samples)
        : path_(std::move(path)), stamp_(stamp), size_(samples.size()), layout_(layoutOf(samples)) {
    }

    void decode(int, void* samples) const override {
        readGuarded(path_, [&] {
            checkUnchanged(path_, stamp_);
            const QImage decoded = frameSamples(readPicture(path_));
            if (decoded.size() != size_ || layoutOf(decoded) != layout_) refuseChanged(path_);
            copySamples(decoded, static_cast<std::uint8_t*>(samples));
        });
    }

private:
    QString path_;
    FileStamp stamp_;
    QSize size_;
    SampleLayout layout_;
};

PictureStack readFile(const QString& path) {
    if (isTiffName(path)) return readTiffStack(path);
    PictureStack stack;
    const FileStamp stamp = stampOf(path);
    const QImage samples = frameSamples(readPicture(path));
    stack.frames = FrameStack(samples.width(), samples.height(), layoutOf(samples));
    stack.frames.addFrame8([&](std::uint8_t* frame) { copySamples(samples, frame); },
                           {std::make_shared<PictureFileDecoder>(path, stamp, samples), 0});
    if (QFileInfo(path).suffix().toLower() == QLatin1String("png")) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly)) stack.calibration = pngCalibration(file);
    }
    stack.range = autoRange(stack.frames);
    return stack;
}

// ---- a folder of numbered pictures ----

struct NumberedFile {
    QString path;
    QString number; // the last run of digits in the name, without leading zeros
};

bool isPictureName(const QFileInfo& file) {
    static const QList<QByteArray> formats = QImageReader::supportedImageFormats();
    return isTiffName(file.fileName()) || formats.contains(file.suffix().toLower().toUtf8());
}

std::vector<NumberedFile> numberedPictures(const QString& folder) {
    std::vector<NumberedFile> files;
    for (const QFileInfo& file : QDir(folder).entryInfoList(QDir::Files, QDir::Name)) {
        if (!isPictureName(file)) continue;
        const QString name = file.completeBaseName();
        qsizetype end = name.size();
        while (end > 0 && !name[end - 1].isDigit())
            --end;
        qsizetype start = end;
        while (start > 0 && name[start - 1].isDigit())
            --start;
        if (start == end) continue;
        QString number = name.mid(start, end - start);
        while (number.size() > 1 && number.startsWith(QLatin1Char('0')))
            number.remove(0, 1);
        files.push_back({file.filePath(), number});
    }
    // By the number's value (a longer number is a larger one), then by name.
    std::stable_sort(files.begin(), files.end(), [](const NumberedFile& a, const NumberedFile& b) {
        if (a.number.size() != b.number.size()) return a.number.size() < b.number.size();
        return a.number < b.number;
    });
    return files;
}

PictureStack readFolder(const QString& folder) {
    const std::vector<NumberedFile> files = numberedPictures(folder);
    if (files.empty())
        refuse(QStringLiteral("Cannot read folder %1: it holds no numbered pictures").arg(folder));
    PictureStack stack = readFile(files.front().path);
    const QString firstName = QFileInfo(files.front().path).fileName();
    for (std::size_t i = 1; i < files.size(); ++i) {
        const QString& path = files[i].path;
        PictureStack next = readFile(path);
        FrameStack& frames = next.frames;
        if (frames.width() != stack.frames.width() || frames.height() != stack.frames.height())
            refuseFile(path, QStringLiteral("it is %1 x %2 pixels, not %3 x %4 as %5")
                                 .arg(frames.width())
                                 .arg(frames.height())
                                 .arg(stack.frames.width())
                                 .arg(stack.frames.height())
                                 .arg(firstName));
        const bool wide = frames.layout() == SampleLayout::Grey16;
        if (wide != (stack.frames.layout() == SampleLayout::Grey16))
            refuseFile(path, QStringLiteral("it holds %1, not %2 as %3")
                                 .arg(layoutName(frames.layout()),
                                      layoutName(stack.frames.layout()), firstName));
        if (frames.layout() == SampleLayout::Rgb8) stack.frames.widenToColour();
        if (stack.frames.layout() == SampleLayout::Rgb8) frames.widenToColour();
        stack.frames.append(std::move(frames));
        stack.readerNotes += next.readerNotes;
    }
    stack.range = autoRange(stack.frames);
    return stack;
}

} // namespace

PictureStack loadPictureStack(const QString& path) {
    return readGuarded(path,
                       [&] { return QFileInfo(path).isDir() ? readFolder(path) : readFile(path); });
}

GreyImage frameImage(const PictureStack& stack, int frame) {
    return greyFrame(stack.frames, frame, stack.range, stack.channel);
}

GreyImage frameImage(const PictureStack& stack, int frame, const std::vector<std::uint8_t>& mapping,
                     DisplayBitmap display) {
    return greyFrame(stack.frames, frame, mapping, stack.channel, display);
}

} // namespace orvik
