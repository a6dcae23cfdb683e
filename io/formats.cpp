// The result formats: csv, ImageJ ROI, GeoJSON, Orvik JSON, mask and overlay PNG, and saving.
#include "io/formats.h"

#include "core/number_text.h"
#include "io/json_text.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <poll.h>
#include <string>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace orvik {

namespace {

bool allFinite(const std::vector<ContourPoint>& points) {
    return std::all_of(points.begin(), points.end(), [](const ContourPoint& p) {
        return std::isfinite(p.x) && std::isfinite(p.y);
    });
}

// Contour files carry coordinates another program will draw and fill; a diverged contour
// has none it could use.
void requireFiniteContour(const ContourResult& result, const char* format) {
    if (!allFinite(result.contour))
        throw ResultFileError(std::string("The contour has points beyond the float range; it "
                                          "cannot be saved as ") +
                              format);
}

// Big-endian fields of the ROI file.
class BigEndianWriter {
public:
    explicit BigEndianWriter(qsizetype size) : bytes_(size, '\0') {}
    void putShort(qsizetype at, std::int32_t v) {
        bytes_[at] = static_cast<char>((v >> 8) & 0xff);
        bytes_[at + 1] = static_cast<char>(v & 0xff);
    }
    void putInt(qsizetype at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            bytes_[at + i] = static_cast<char>((v >> (24 - 8 * i)) & 0xff);
    }
    void putFloat(qsizetype at, float v) {
        std::uint32_t bits = 0;
        static_assert(sizeof bits == sizeof v);
        std::memcpy(&bits, &v, sizeof bits);
        putInt(at, bits);
    }
    QByteArray& bytes() { return bytes_; }

private:
    QByteArray bytes_;
};

// ImageJ's integer ROI fields are 16-bit, and ImageJ reads one below -5000 as unsigned, so
// the integers stay within -5000..32767; the float coordinates carry the true position.
std::int32_t roiShort(double v) {
    return static_cast<std::int32_t>(std::clamp(v, -5000.0, 32767.0));
}

} // namespace

const std::vector<ResultFormatInfo>& resultFormats() {
    static const std::vector<ResultFormatInfo> table = [] {
        std::vector<ResultFormatInfo> rows;
        for (const FormatEntry& entry : formatTable())
            if (entry.contour)
                rows.push_back({*entry.contour, entry.key, entry.fileEnding, entry.filter});
        return rows;
    }();
    return table;
}

const ResultFormatInfo& formatInfo(ResultFormat format) {
    for (const ResultFormatInfo& info : resultFormats())
        if (info.format == format) return info;
    return resultFormats().front();
}

std::optional<ResultFormat> formatFromKey(const QString& key) {
    for (const ResultFormatInfo& info : resultFormats())
        if (key == QLatin1String(info.key)) return info.format;
    return std::nullopt;
}

std::optional<ResultFormat> contourFormatForPath(const QString& path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    for (const ResultFormat format :
         {ResultFormat::Csv, ResultFormat::Roi, ResultFormat::GeoJson, ResultFormat::Json})
        if (suffix == QLatin1String(formatInfo(format).key)) return format;
    return std::nullopt;
}

QString outputPath(const QString& folder, const QString& imageFile, ResultFormat format) {
    const QString name = QFileInfo(imageFile).completeBaseName();
    return QDir(folder).filePath(name + QLatin1String(formatInfo(format).fileEnding));
}

QByteArray toCsv(const ContourResult& result) {
    requireFiniteContour(result, "CSV");
    std::string csv = "x,y\n";
    for (const ContourPoint& p : result.contour)
        csv += significantDigits(p.x, 9) + "," + significantDigits(p.y, 9) + "\n";
    return bytesOf(csv);
}

QByteArray toRoi(const ContourResult& result, int position) {
    const std::vector<ContourPoint>& p = result.contour;
    if (p.empty()) throw ResultFileError("There is no contour to save as an ImageJ ROI");
    const qsizetype n = static_cast<qsizetype>(p.size());
    std::vector<float> xs, ys;
    for (const ContourPoint& q : p) {
        xs.push_back(static_cast<float>(q.x));
        ys.push_back(static_cast<float>(q.y));
        // Also a point that is finite as a double but beyond the float range of the file.
        if (!std::isfinite(xs.back()) || !std::isfinite(ys.back()))
            throw ResultFileError("The contour has points beyond the float range; it cannot be "
                                  "saved as an ImageJ ROI");
    }
    if (n > 65535) throw ResultFileError("An ImageJ ROI holds at most 65535 points");
    const auto [xMin, xMax] = std::minmax_element(xs.begin(), xs.end());
    const auto [yMin, yMax] = std::minmax_element(ys.begin(), ys.end());
    const std::int32_t left = roiShort(std::floor(*xMin)), top = roiShort(std::floor(*yMin));
    const std::int32_t right = roiShort(std::ceil(*xMax)), bottom = roiShort(std::ceil(*yMax));

    // The 64-byte header, the integer coordinates relative to the box (all x, then all y),
    // the float coordinates (all x, then all y), then a second, empty 64-byte header.
    constexpr qsizetype header = 64, header2 = 64;
    const qsizetype header2Offset = header + 4 * n + 8 * n;
    BigEndianWriter roi(header2Offset + header2);
    QByteArray& bytes = roi.bytes();
    std::memcpy(bytes.data(), "Iout", 4);
    roi.putShort(4, 228);                                // version
    bytes[6] = static_cast<char>(result.closed ? 0 : 5); // type: polygon or polyline
    roi.putShort(8, top);
    roi.putShort(10, left);
    roi.putShort(12, bottom);
    roi.putShort(14, right);
    roi.putShort(16, static_cast<std::int32_t>(n));
    roi.putShort(50, 128); // options: sub-pixel resolution
    roi.putInt(56, static_cast<std::uint32_t>(position));
    roi.putInt(60, static_cast<std::uint32_t>(header2Offset));
    for (qsizetype i = 0; i < n; ++i) {
        roi.putShort(header + 2 * i, roiShort(std::floor(xs[i])) - left);
        roi.putShort(header + 2 * n + 2 * i, roiShort(std::floor(ys[i])) - top);
        roi.putFloat(header + 4 * n + 4 * i, xs[i]);
        roi.putFloat(header + 8 * n + 4 * i, ys[i]);
    }
    return bytes;
}

QByteArray toGeoJson(const ContourResult& result, const Measurements& m) {
    requireFiniteContour(result, "GeoJSON");
    return bytesOf(featureJson(result, m, result.context, -1, "") + "\n");
}

QByteArray toJson(const ContourResult& result, const Measurements& m, bool oneLine, int frame) {
    const std::string next = oneLine ? ", " : ",\n ";
    const RunContext& c = result.context;
    std::string json =
        "{\"file\": " + quoted(c.imageFile) +
        (frame >= 0 ? ", \"frame\": " + std::to_string(frame) : "") +
        ", \"width\": " + std::to_string(c.width) + ", \"height\": " + std::to_string(c.height) +
        ", \"box\": [" + std::to_string(c.box.x1) + ", " + std::to_string(c.box.y1) + ", " +
        std::to_string(c.box.x2) + ", " + std::to_string(c.box.y2) + "]" + ", \"model\": \"" +
        modelKey(c.model) + "\", \"object\": \"" + polarityKey(c.blackOnWhite) + "\"" + next +
        "\"fields\": " + fieldsObject(c.fields) + next +
        "\"iteration\": " + std::to_string(result.iteration) +
        ", \"energy\": " + doubleNumber(result.energy) + next +
        "\"points\": " + pointsArray(result) + next;
    json += "\"vertices\": " + verticesArray(result) + next;
    json += "\"measurements\": " + measurementsObject(m, result) + next +
            "\"error\": " + (result.error.empty() ? std::string("null") : quoted(result.error)) +
            "}\n";
    return bytesOf(json);
}

QByteArray errorJson(const QString& imageFile, const QString& error) {
    return bytesOf("{\"file\": " + quoted(imageFile.toStdString()) +
                   ", \"error\": " + quoted(error.toStdString()) + "}\n");
}

QByteArray toMaskPng(const ContourResult& result) {
    if (!result.closed)
        throw ResultFileError("The \"Opened\" model's contour encloses nothing; there is no mask "
                              "to save");
    requireFiniteContour(result, "a mask");
    const RunContext& c = result.context;
    QImage mask(std::max(c.width, 1), std::max(c.height, 1), QImage::Format_Grayscale8);
    if (mask.isNull()) throw ResultFileError("There is not enough memory for the mask");
    mask.fill(0);
    // A fixed resolution (96 dpi): a fresh picture takes the screen's, and the window and
    // orvik-cli must write the same bytes.
    mask.setDotsPerMeterX(3780);
    mask.setDotsPerMeterY(3780);
    forEachInsideSpan(result.contour, c.width, c.height,
                      [&mask](std::int32_t row, std::int32_t first, std::int32_t last) {
                          std::uint8_t* line = mask.scanLine(row);
                          std::fill(line + first, line + last + 1, std::uint8_t{255});
                      });
    return toPng(mask);
}

QByteArray toPng(const QImage& image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (image.isNull() || !image.save(&buffer, "PNG"))
        throw ResultFileError("The picture could not be encoded as PNG");
    return bytes;
}

QByteArray resultBytes(ResultFormat format, const ContourResult& result, const Measurements& m,
                       const QImage& overlay) {
    switch (format) {
    case ResultFormat::Csv:
        return toCsv(result);
    case ResultFormat::Roi:
        return toRoi(result);
    case ResultFormat::GeoJson:
        return toGeoJson(result, m);
    case ResultFormat::Json:
        return toJson(result, m);
    case ResultFormat::Mask:
        return toMaskPng(result);
    case ResultFormat::Overlay:
        break;
    }
    return toPng(overlay);
}

namespace {

// Why the last operation on `file` failed. The system's reason comes first: a write cut short
// part-way (a full disk, a file size limit) leaves the device only an unspecific "Unknown
// error", or none at all.
QString failureReason(const QFileDevice& file, int systemError) {
    if (systemError != 0) return systemReason(systemError);
    return file.errorString();
}

// Writes all of `bytes` and flushes them. A short write is followed by another, so that the
// one that fails leaves its reason; the flush makes a small write that was only buffered
// meet the disk here, and not unnoticed later.
bool writeAll(QFileDevice& file, const QByteArray& bytes, int& systemError) {
    qint64 written = 0;
    while (written < bytes.size()) {
        errno = 0;
        const qint64 count = file.write(bytes.constData() + written, bytes.size() - written);
        systemError = errno;
        if (count <= 0) return false;
        written += count;
    }
    errno = 0;
    const bool flushed = file.flush();
    systemError = flushed ? 0 : errno;
    return flushed;
}

// A device or a pipe named as the file: it has no old content to keep and can't be
// replaced by a renamed copy, so it is written as it is.
bool isDeviceOrPipe(const QString& path) {
    struct stat status {};
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 && !S_ISREG(status.st_mode) &&
           !S_ISDIR(status.st_mode);
}

ResultFileError saveFailure(const QString& path, const QString& reason) {
    return ResultFileError(
        QStringLiteral("Cannot save \"%1\": %2").arg(path, reason).toStdString());
}

// Opened without waiting for a reader (a FIFO without one is refused at once), then written
// whole, waiting while the reader is slow.
void writeDevice(const QString& path, const QByteArray& bytes) {
    const int descriptor =
        ::open(QFile::encodeName(path).constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) throw saveFailure(path, systemReason(errno));
    const int error = writeWhole(descriptor, bytes.constData(), std::size_t(bytes.size()));
    ::close(descriptor);
    if (error != 0) throw saveFailure(path, systemReason(error));
}

} // namespace

QString systemReason(int systemError) {
    return qt_error_string(systemError);
}

int writeWhole(int descriptor, const char* data, std::size_t size) {
    std::size_t written = 0;
    while (written < size) {
        const ssize_t count = ::write(descriptor, data + written, size - written);
        if (count > 0) {
            written += std::size_t(count);
        } else if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd room{descriptor, POLLOUT, 0};
            if (::poll(&room, 1, -1) < 0 && errno != EINTR) return errno;
        } else if (count < 0 && errno != EINTR) {
            return errno;
        } else if (count == 0) {
            return EIO;
        }
    }
    return 0;
}

void saveFile(const QString& path, const QByteArray& bytes) {
    saveFiles({{path, bytes}});
}

void saveFiles(const std::vector<FileBytes>& files) {
    // Every regular file is written to its temporary file first; one that fails discards them
    // all (a QSaveFile not committed removes its temporary file).
    std::vector<std::unique_ptr<QSaveFile>> staged;
    std::vector<const FileBytes*> devices;
    for (const FileBytes& f : files) {
        if (isDeviceOrPipe(f.path)) {
            devices.push_back(&f);
            continue;
        }
        auto file = std::make_unique<QSaveFile>(f.path);
        if (!file->open(QIODevice::WriteOnly)) throw saveFailure(f.path, file->errorString());
        int systemError = 0;
        if (!writeAll(*file, f.bytes, systemError)) {
            const QString reason = failureReason(*file, systemError);
            file->cancelWriting();
            throw saveFailure(f.path, reason);
        }
        staged.push_back(std::move(file));
    }
    for (const FileBytes* device : devices)
        writeDevice(device->path, device->bytes);
    for (const std::unique_ptr<QSaveFile>& file : staged)
        if (!file->commit()) throw saveFailure(file->fileName(), file->errorString());
}

void makeFolder(const QString& folder) {
    std::error_code error;
    std::filesystem::create_directories(
        std::filesystem::path(QFile::encodeName(folder).toStdString()), error);
    if (error)
        throw ResultFileError("Cannot create the folder \"" + folder.toStdString() +
                              "\": " + error.message());
}

} // namespace orvik
