// Pictures that tests make and count.
#include "pictures.h"

#include <cstddef>
#include <cstdint>

namespace orvik::test {

QImage greyPicture(int width, int height, const std::function<int(int x, int y)>& grey) {
    QImage picture(width, height, QImage::Format_RGB888);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int v = grey(x, y);
            picture.setPixel(x, y, qRgb(v, v, v));
        }
    return picture;
}

QImage uniformPicture(int width, int height, int grey) {
    return greyPicture(width, height, [grey](int, int) { return grey; });
}

QImage discPicture(int width, int height, int cx, int cy, int radius, int inside, int outside) {
    return greyPicture(width, height, [=](int x, int y) {
        const int dx = x - cx, dy = y - cy;
        return dx * dx + dy * dy <= radius * radius ? inside : outside;
    });
}

QImage greyDisplay(const GreyImage& store) {
    QImage grey(store.ImageWidth, store.ImageHeight, QImage::Format_BGR888);
    for (int y = 0; y < store.ImageHeight; ++y) {
        std::uint8_t* row = grey.scanLine(y);
        const std::uint8_t* values =
            store.GreyData.get() + std::size_t(y) * std::size_t(store.ImageWidth);
        for (int x = 0; x < store.ImageWidth; ++x)
            row[3 * x] = row[3 * x + 1] = row[3 * x + 2] = values[x];
    }
    return grey;
}

int differingPixels(const QImage& a, const QImage& b) {
    if (a.size() != b.size()) return -1;
    int count = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (a.pixel(x, y) != b.pixel(x, y)) ++count;
    return count;
}

int redPixels(const QImage& display) {
    int count = 0;
    for (int y = 0; y < display.height(); ++y)
        for (int x = 0; x < display.width(); ++x)
            if (display.pixel(x, y) == qRgb(255, 0, 0)) ++count;
    return count;
}

} // namespace orvik::test
