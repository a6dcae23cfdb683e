// The overlay of a list of objects.
#include "io/objects_overlay.h"

#include "io/formats.h"
#include "io/list_common.h"
#include "render/raster_canvas.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>

namespace orvik {

namespace {

// The grey picture itself, as a load shows it, in the display's 24-bit layout.
QImage greyDisplay(const GreyImage& image) {
    const int width = std::max(image.ImageWidth, 1), height = std::max(image.ImageHeight, 1);
    QImage picture(width, height, QImage::Format_BGR888);
    if (picture.isNull()) throw ResultFileError("There is not enough memory for the overlay");
    picture.fill(Qt::black);
    for (int y = 0; y < image.ImageHeight; ++y) {
        const std::uint8_t* grey =
            image.GreyData.get() + static_cast<std::size_t>(y) * image.ImageWidth;
        std::uint8_t* line = picture.scanLine(y);
        for (int x = 0; x < image.ImageWidth; ++x)
            line[3 * x] = line[3 * x + 1] = line[3 * x + 2] = grey[x];
    }
    return picture;
}

// Digits 0..9 in a 3 × 5 grid, a row a number whose bit 2 is the left column.
constexpr std::array<std::array<std::uint8_t, 5>, 10> kDigits{{
    {7, 5, 5, 5, 7},
    {2, 6, 2, 2, 7},
    {7, 1, 7, 4, 7},
    {7, 1, 7, 1, 7},
    {5, 5, 7, 1, 1},
    {7, 4, 7, 1, 7},
    {7, 4, 7, 5, 7},
    {7, 1, 1, 1, 1},
    {7, 5, 7, 5, 7},
    {7, 5, 7, 1, 7},
}};
constexpr int kDigitScale = 2; // picture pixels per grid cell

// The id in the outline's colour, centred on (cx, cy), on a black ground one cell wider, so
// that it reads on light and dark pictures alike.
void drawNumber(QImage& picture, int id, int cx, int cy, RasterCanvas::Colour colour) {
    const std::string digits = std::to_string(id);
    const int cells = 4 * static_cast<int>(digits.size()) - 1;
    const int left = cx - cells * kDigitScale / 2, top = cy - 5 * kDigitScale / 2;
    const auto fill = [&](int x0, int y0, int w, int h, RasterCanvas::Colour c) {
        for (int y = std::max(y0, 0); y < std::min(y0 + h, picture.height()); ++y)
            for (int x = std::max(x0, 0); x < std::min(x0 + w, picture.width()); ++x) {
                std::uint8_t* p = picture.scanLine(y) + 3 * x;
                p[0] = c.b;
                p[1] = c.g;
                p[2] = c.r;
            }
    };
    fill(left - kDigitScale, top - kDigitScale, (cells + 2) * kDigitScale, 7 * kDigitScale, {});
    for (std::size_t d = 0; d < digits.size(); ++d)
        for (int row = 0; row < 5; ++row)
            for (int column = 0; column < 3; ++column)
                if (kDigits[digits[d] - '0'][row] & (4 >> column))
                    fill(left + (4 * static_cast<int>(d) + column) * kDigitScale,
                         top + row * kDigitScale, kDigitScale, kDigitScale, colour);
}

} // namespace

QImage objectsOverlay(const std::vector<PictureObject>& objects, const GreyImage& image,
                      int currentId) {
    constexpr RasterCanvas::Colour red{255, 0, 0}, yellow{255, 255, 0};
    QImage picture = greyDisplay(image);
    RasterCanvas canvas(
        PixelView{picture.bits(), picture.width(), picture.height(), picture.bytesPerLine()});
    std::vector<const PictureObject*> order = objectsById(objects);
    // The current outline last, on top of the others.
    std::stable_partition(order.begin(), order.end(),
                          [currentId](const PictureObject* o) { return o->id != currentId; });
    for (const PictureObject* object : order) {
        const std::vector<Vertex>& v = object->result.vertices;
        if (v.empty()) continue;
        canvas.setPenColour(object->id == currentId ? red : yellow);
        // The vertices as Draw passed them: move to the first, a line to each of the others.
        canvas.MoveTo(v[0].x, v[0].y);
        for (std::size_t i = 1; i < v.size(); ++i)
            canvas.LineTo(v[i].x, v[i].y);
    }
    for (const PictureObject* object : order) {
        const std::vector<Vertex>& v = object->result.vertices;
        if (v.empty()) continue;
        const auto [left, right] = std::minmax_element(
            v.begin(), v.end(), [](const Vertex& a, const Vertex& b) { return a.x < b.x; });
        const auto [top, bottom] = std::minmax_element(
            v.begin(), v.end(), [](const Vertex& a, const Vertex& b) { return a.y < b.y; });
        drawNumber(picture, object->id, static_cast<int>((std::int64_t{left->x} + right->x) / 2),
                   static_cast<int>((std::int64_t{top->y} + bottom->y) / 2),
                   object->id == currentId ? red : yellow);
    }
    fixResolution(picture);
    return picture;
}

} // namespace orvik
