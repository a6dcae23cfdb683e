// Draws Orvik's pictures: the intro screen, the application icon and the sample images.
//
//   orvik_make_resources OUTPUT_DIR
//
// writes OUTPUT_DIR/intro.bmp, OUTPUT_DIR/icons/orvik-{16,32}.png, OUTPUT_DIR/icons/orvik.svg
// and OUTPUT_DIR/samples/*.bmp. Everything but the intro's lettering is computed pixel by pixel
// from fixed formulas and a fixed-seed generator, so a rerun gives the same bytes.
#include "bmp_file.h"
#include "median_cut.h"

#include <QColor>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QTextStream>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <map>
#include <numbers>
#include <vector>

namespace {

constexpr double Pi = std::numbers::pi;

// --- Writing Windows bitmaps -------------------------------------------------------------------

// A palette bitmap of 4 or 8 bits per pixel, bottom-up rows, with every palette entry the depth
// allows written out (16 or 256), as the classic bitmap tools do.
bool writePaletteBmp(const QString& path, int width, int height, int bits,
                     const std::vector<QRgb>& palette, const std::vector<std::uint8_t>& indices) {
    orvik::test::BmpFields fields;
    fields.width = width;
    fields.height = height;
    fields.bitCount = std::uint16_t(bits);
    for (int i = 0; i < 1 << bits; ++i) {
        const QRgb c = i < int(palette.size()) ? palette[std::size_t(i)] : qRgb(0, 0, 0);
        fields.palette.push_back(
            {std::uint8_t(qRed(c)), std::uint8_t(qGreen(c)), std::uint8_t(qBlue(c))});
    }
    fields.pixels = orvik::test::storedRows(width, height, bits, [&](int x, int y) {
        return indices[std::size_t(y) * std::size_t(width) + std::size_t(x)];
    });
    const QByteArray out = orvik::test::craftBmp(fields);

    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(out) != out.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

// --- A small deterministic noise source --------------------------------------------------------

class Noise {
public:
    explicit Noise(std::uint64_t seed) : state_(seed) {}
    // Uniform in [0, 1).
    double uniform() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 7;
        state_ ^= state_ << 17;
        return double(state_ >> 11) / double(std::uint64_t(1) << 53);
    }
    // Roughly normal with mean 0 and standard deviation 1 (sum of four uniforms).
    double normal() {
        double sum = 0;
        for (int i = 0; i < 4; ++i)
            sum += uniform();
        return (sum - 2.0) * std::sqrt(3.0);
    }

private:
    std::uint64_t state_;
};

double smoothStep(double edge0, double edge1, double x) {
    const double t = std::clamp((x - edge0) / (edge1 - edge0), 0.0, 1.0);
    return t * t * (3 - 2 * t);
}

// --- Sample images: 320 x 240, sixteen grey levels ---------------------------------------------

constexpr int SampleWidth = 320;
constexpr int SampleHeight = 240;

std::vector<QRgb> greyPalette16() {
    std::vector<QRgb> palette;
    for (int i = 0; i < 16; ++i)
        palette.push_back(qRgb(17 * i, 17 * i, 17 * i));
    return palette;
}

// Turns a grey value (0..255, any real) plus noise into one of the sixteen levels.
std::uint8_t greyLevel(double grey) {
    return std::uint8_t(std::clamp(int(std::lround(grey / 17.0)), 0, 15));
}

template <typename GreyAt>
bool writeSample(const QString& path, std::uint64_t seed, double noise, GreyAt greyAt) {
    Noise random(seed);
    std::vector<std::uint8_t> indices(std::size_t(SampleWidth) * SampleHeight);
    for (int y = 0; y < SampleHeight; ++y)
        for (int x = 0; x < SampleWidth; ++x)
            indices[std::size_t(y) * SampleWidth + std::size_t(x)] =
                greyLevel(greyAt(x + 0.5, y + 0.5) + noise * random.normal());
    return writePaletteBmp(path, SampleWidth, SampleHeight, 4, greyPalette16(), indices);
}

// A dark, slightly lumpy disc of radius about 60 around the image centre on a light ground:
// the box that "Load Image" proposes (the middle fifth) lies inside it.
bool writeDarkDisc(const QString& path) {
    return writeSample(path, 0x0D15C, 9.0, [](double x, double y) {
        const double dx = x - 160, dy = y - 120;
        const double angle = std::atan2(dy, dx);
        const double radius = 60 * (1 + 0.05 * std::sin(3 * angle) + 0.03 * std::cos(5 * angle));
        const double inside = 1 - smoothStep(-1.5, 1.5, std::hypot(dx, dy) - radius);
        return 200 - inside * (200 - 12);
    });
}

// A bright blob shaped like a peanut on a dark ground, wider than it is high and pinched in the
// middle: not star-shaped around every point, the case for "Balloon".
bool writeBrightBlob(const QString& path) {
    return writeSample(path, 0xB10B, 7.0, [](double x, double y) {
        // Sum of two soft lobes; the level set 1 is the outline.
        const auto lobe = [&](double cx, double cy, double r) {
            const double d2 = ((x - cx) * (x - cx) + (y - cy) * (y - cy)) / (r * r);
            return std::exp(-d2 * 1.6);
        };
        const double field = lobe(118, 118, 62) + lobe(212, 124, 52);
        const double inside = smoothStep(0.18, 0.24, field);
        return 14 + inside * (222 - 14);
    });
}

// A light region at the lower left and a dark one at the upper right, parted by a soft, gently
// curved edge: an arc through (128, 96) and (192, 144), the corners of the box that "Load Image"
// proposes, bulging about 5 pixels toward the dark side. "Opened" pins its ends there.
bool writeCurvedEdge(const QString& path) {
    // Circle through both corners, its centre off to the lower left.
    const double mx = 160, my = 120;      // midpoint of the chord
    const double nx = -0.6, ny = 0.8;     // unit normal of the chord, toward the lower left
    const double half = 40, radius = 160; // half chord and arc radius
    const double offset = std::sqrt(radius * radius - half * half);
    const double cx = mx + nx * offset, cy = my + ny * offset;
    return writeSample(path, 0xC0ED, 8.0, [=](double x, double y) {
        const double d = std::hypot(x - cx, y - cy) - radius;
        const double light = 1 - smoothStep(-8.0, 8.0, d);
        return 18 + light * (205 - 18);
    });
}

// --- The application icon: 16 colours ----------------------------------------------------------

// The sixteen colours of the icon; entry 0 is transparent.
const std::array<QRgb, 16> IconPalette{
    qRgba(0, 0, 0, 0),   qRgb(0, 0, 0),    qRgb(128, 128, 128), qRgb(192, 192, 192),
    qRgb(255, 255, 255), qRgb(255, 0, 0),  qRgb(128, 0, 0),     qRgb(0, 0, 128),
    qRgb(32, 40, 64),    qRgb(64, 72, 96), qRgb(224, 224, 224), qRgb(160, 160, 176),
    qRgb(255, 96, 96),   qRgb(16, 16, 24), qRgb(96, 104, 128),  qRgb(240, 240, 240),
};

// The blob at the heart of every picture: a rounded, slightly irregular shape. Returns its outline
// radius in the direction `angle`, for a unit size.
double blobRadius(double angle) {
    return 1 + 0.12 * std::sin(3 * angle + 0.4) + 0.06 * std::cos(2 * angle - 0.3);
}

QPainterPath blobPath(QPointF centre, double size) {
    QPainterPath path;
    constexpr int Steps = 180;
    for (int i = 0; i <= Steps; ++i) {
        const double angle = 2 * Pi * i / Steps;
        const QPointF p =
            centre + size * blobRadius(angle) * QPointF(std::cos(angle), std::sin(angle));
        if (i == 0)
            path.moveTo(p);
        else
            path.lineTo(p);
    }
    path.closeSubpath();
    return path;
}

// The icon pixel by pixel: a light tile, a dark blob, a red contour hugging it. At 16 pixels the
// tile's frame and the contour's dots are left out.
QImage drawIcon(int size) {
    QImage image(size, size, QImage::Format_Indexed8);
    QList<QRgb> table(IconPalette.begin(), IconPalette.end());
    image.setColorTable(table);
    const double s = size;
    const double cx = s * 0.5, cy = s * 0.52;
    const double blob = s * (size >= 32 ? 0.29 : 0.31);
    const double ring = size >= 32 ? 0.85 : 0.55; // half width of the red line, in pixels
    const double corner = s * 0.16;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const double px = x + 0.5, py = y + 0.5;
            // Rounded tile.
            const double qx = std::max(std::abs(px - s / 2) - (s / 2 - corner), 0.0);
            const double qy = std::max(std::abs(py - s / 2) - (s / 2 - corner), 0.0);
            const double tile = std::hypot(qx, qy) - corner; // < 0 inside
            int index = 0;
            if (tile < -1.0)
                index = 10; // light grey ground
            else if (tile < 0.0)
                index = size >= 32 ? 2 : 11; // frame
            if (index != 0 && size >= 32 && py > s * 0.66 && tile < -1.0)
                index = 3; // shade on the lower part of the tile, like a photograph's floor
            const double dx = px - cx, dy = py - cy;
            const double angle = std::atan2(dy, dx);
            const double edge = std::hypot(dx, dy) - blob * blobRadius(angle);
            if (index != 0 && edge < -ring) {
                index = 8; // dark blob
                if (size >= 32 && std::hypot(dx + blob * 0.35, dy + blob * 0.35) < blob * 0.3)
                    index = 9; // a dull highlight at its upper left
            }
            if (index != 0 && std::abs(edge) <= ring) index = 5; // red contour
            image.setPixel(x, y, uint(index));
        }
    }
    if (size >= 32) {
        // Contour points: darker red dots every 45 degrees, as the program draws its vertices.
        for (int k = 0; k < 8; ++k) {
            const double angle = 2 * Pi * k / 8 + Pi / 8;
            const double r = blob * blobRadius(angle);
            const int x = int(std::floor(cx + r * std::cos(angle)));
            const int y = int(std::floor(cy + r * std::sin(angle)));
            if (image.valid(x, y)) image.setPixel(x, y, 6);
        }
        // The initial ellipse the contour started from: a dotted light line further out.
        for (int k = 0; k < 40; k += 2) {
            const double angle = 2 * Pi * k / 40;
            const int x = int(std::floor(cx + s * 0.40 * std::cos(angle)));
            const int y = int(std::floor(cy + s * 0.36 * std::sin(angle)));
            if (image.valid(x, y) && image.pixelIndex(x, y) != 0 && image.pixelIndex(x, y) != 2)
                image.setPixel(x, y, 14);
        }
    }
    return image;
}

// The same design as a scalable outline for desktops that prefer vector icons.
QString iconSvg() {
    QString path;
    QTextStream stream(&path);
    constexpr int Steps = 72;
    const double cx = 32, cy = 33.3, size = 17.3;
    for (int i = 0; i < Steps; ++i) {
        const double angle = 2 * Pi * i / Steps;
        const double r = size * blobRadius(angle);
        stream << (i == 0 ? "M" : " L") << QString::number(cx + r * std::cos(angle), 'f', 2) << ','
               << QString::number(cy + r * std::sin(angle), 'f', 2);
    }
    stream << " Z";
    return QStringLiteral(
               "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"64\" height=\"64\" "
               "viewBox=\"0 0 64 64\">\n"
               "  <title>Orvik</title>\n"
               "  <defs>\n"
               "    <linearGradient id=\"floor\" x1=\"0\" y1=\"0\" x2=\"0\" y2=\"1\">\n"
               "      <stop offset=\"0.66\" stop-color=\"#e0e0e0\"/>\n"
               "      <stop offset=\"0.66\" stop-color=\"#c0c0c0\"/>\n"
               "    </linearGradient>\n"
               "  </defs>\n"
               "  <rect x=\"1\" y=\"1\" width=\"62\" height=\"62\" rx=\"10\" fill=\"url(#floor)\" "
               "stroke=\"#808080\" stroke-width=\"2\"/>\n"
               "  <ellipse cx=\"32\" cy=\"33.3\" rx=\"25.6\" ry=\"23\" fill=\"none\" "
               "stroke=\"#606880\" stroke-width=\"1.2\" stroke-dasharray=\"2 3\"/>\n"
               "  <path d=\"%1\" fill=\"#202840\" stroke=\"#ff0000\" stroke-width=\"2.6\" "
               "stroke-linejoin=\"round\"/>\n"
               "</svg>\n")
        .arg(path);
}

// --- The intro picture: 240 x 320, 256 colours -------------------------------------------------

constexpr int IntroWidth = 240;
constexpr int IntroHeight = 320;

QImage drawIntro() {
    QImage image(IntroWidth, IntroHeight, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);

    // Night-blue ground.
    QLinearGradient ground(0, 0, 0, IntroHeight);
    ground.setColorAt(0, QColor(18, 34, 64));
    ground.setColorAt(1, QColor(6, 12, 26));
    painter.fillRect(image.rect(), ground);

    // The "photograph": a light panel with a soft vignette and a fine grain.
    const QRectF panel(20, 22, 200, 176);
    QRadialGradient light(panel.center(), 140);
    light.setColorAt(0, QColor(226, 226, 222));
    light.setColorAt(1, QColor(168, 170, 172));
    painter.setPen(Qt::NoPen);
    painter.setBrush(light);
    painter.drawRoundedRect(panel, 6, 6);
    Noise grain(0x1A7);
    for (int y = int(panel.top()) + 2; y < int(panel.bottom()) - 2; ++y)
        for (int x = int(panel.left()) + 2; x < int(panel.right()) - 2; ++x) {
            const QColor c = image.pixelColor(x, y);
            const int d = int(std::lround(grain.normal() * 6));
            image.setPixelColor(x, y,
                                QColor(std::clamp(c.red() + d, 0, 255),
                                       std::clamp(c.green() + d, 0, 255),
                                       std::clamp(c.blue() + d, 0, 255)));
        }

    // The object: a dark blob with a faint shadow.
    const QPointF centre(120, 112);
    const double size = 50;
    painter.setBrush(QColor(0, 0, 0, 50));
    painter.drawPath(blobPath(centre + QPointF(3, 4), size));
    QRadialGradient body(centre - QPointF(14, 16), 70);
    body.setColorAt(0, QColor(70, 78, 98));
    body.setColorAt(1, QColor(20, 24, 36));
    painter.setBrush(body);
    painter.drawPath(blobPath(centre, size));

    // Where the contour started: a dashed ellipse, with short arrows toward the blob.
    QPen dashed(QColor(80, 92, 120), 1.4, Qt::DashLine);
    painter.setPen(dashed);
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(centre, 86, 72);
    painter.setPen(QPen(QColor(110, 120, 146), 1.4));
    for (int k = 0; k < 8; ++k) {
        const double angle = 2 * Pi * k / 8 + Pi / 8;
        const QPointF dir(std::cos(angle), std::sin(angle));
        const QPointF from(centre.x() + 80 * dir.x(), centre.y() + 66 * dir.y());
        const QPointF to = centre + (size * blobRadius(angle) + 9) * dir;
        painter.drawLine(from, to);
        const QPointF side(-dir.y(), dir.x());
        painter.drawLine(to, to + 4 * dir + 3 * side);
        painter.drawLine(to, to + 4 * dir - 3 * side);
    }

    // The contour that snapped onto the blob, with its points.
    painter.setPen(QPen(QColor(235, 20, 20), 3.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPath(blobPath(centre, size + 1.5));
    painter.setPen(QPen(QColor(255, 220, 220), 1));
    painter.setBrush(QColor(200, 0, 0));
    for (int k = 0; k < 16; ++k) {
        const double angle = 2 * Pi * k / 16;
        const QPointF p =
            centre + (size + 1.5) * blobRadius(angle) * QPointF(std::cos(angle), std::sin(angle));
        painter.drawEllipse(p, 2.6, 2.6);
    }

    // Name and lines of text.
    QFont title(QStringLiteral("DejaVu Sans"));
    title.setPixelSize(50);
    title.setBold(true);
    title.setLetterSpacing(QFont::AbsoluteSpacing, 1.5);
    painter.setFont(title);
    painter.setPen(QColor(0, 0, 0, 140));
    painter.drawText(QRectF(2, 206, IntroWidth, 60), Qt::AlignHCenter | Qt::AlignTop,
                     QStringLiteral("Orvik"));
    painter.setPen(QColor(244, 246, 250));
    painter.drawText(QRectF(0, 204, IntroWidth, 60), Qt::AlignHCenter | Qt::AlignTop,
                     QStringLiteral("Orvik"));
    painter.setPen(QPen(QColor(235, 20, 20), 2.5, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(70, 266), QPointF(170, 266));

    QFont line(QStringLiteral("DejaVu Sans"));
    line.setPixelSize(13);
    painter.setFont(line);
    painter.setPen(QColor(196, 206, 226));
    painter.drawText(QRectF(0, 272, IntroWidth, 18), Qt::AlignHCenter,
                     QStringLiteral("Active contour segmentation"));
    QFont small(QStringLiteral("DejaVu Sans"));
    small.setPixelSize(10);
    painter.setFont(small);
    painter.setPen(QColor(120, 134, 162));
    painter.drawText(QRectF(0, 296, IntroWidth, 14), Qt::AlignHCenter,
                     QStringLiteral("Version 1.0  \u00b7  Starting\u2026"));
    painter.end();
    return image;
}

bool writeIntro(const QString& path) {
    const QImage picture = drawIntro();
    const std::vector<QRgb> palette = orvik::medianCutPalette(picture, 256);
    std::map<QRgb, std::uint8_t> nearest;
    std::vector<std::uint8_t> indices(std::size_t(IntroWidth) * IntroHeight);
    for (int y = 0; y < IntroHeight; ++y)
        for (int x = 0; x < IntroWidth; ++x) {
            const QRgb c = picture.pixel(x, y);
            auto found = nearest.find(c);
            if (found == nearest.end()) {
                std::size_t best = 0;
                long bestDistance = -1;
                for (std::size_t i = 0; i < palette.size(); ++i) {
                    const long dr = qRed(c) - qRed(palette[i]);
                    const long dg = qGreen(c) - qGreen(palette[i]);
                    const long db = qBlue(c) - qBlue(palette[i]);
                    const long distance = dr * dr + dg * dg + db * db;
                    if (bestDistance < 0 || distance < bestDistance) {
                        bestDistance = distance;
                        best = i;
                    }
                }
                found = nearest.emplace(c, std::uint8_t(best)).first;
            }
            indices[std::size_t(y) * IntroWidth + std::size_t(x)] = found->second;
        }
    return writePaletteBmp(path, IntroWidth, IntroHeight, 8, palette, indices);
}

bool writeText(const QString& path, const QString& text) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) return false;
    return file.write(text.toUtf8()) >= 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: orvik_make_resources OUTPUT_DIR\n");
        return 2;
    }
    // Lettering needs a font database, hence a GUI application; it never shows a window.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!out.mkpath(QStringLiteral("icons")) || !out.mkpath(QStringLiteral("samples"))) {
        std::fprintf(stderr, "cannot create the folders under %s\n", argv[1]);
        return 1;
    }
    bool ok = writeIntro(out.filePath(QStringLiteral("intro.bmp")));
    for (const int size : {16, 32})
        ok = drawIcon(size).save(out.filePath(QStringLiteral("icons/orvik-%1.png").arg(size)),
                                 "PNG") &&
             ok;
    ok = writeText(out.filePath(QStringLiteral("icons/orvik.svg")), iconSvg()) && ok;
    ok = writeDarkDisc(out.filePath(QStringLiteral("samples/dark-disc.bmp"))) && ok;
    ok = writeBrightBlob(out.filePath(QStringLiteral("samples/bright-blob.bmp"))) && ok;
    ok = writeCurvedEdge(out.filePath(QStringLiteral("samples/curved-edge.bmp"))) && ok;
    return ok ? 0 : 1;
}
