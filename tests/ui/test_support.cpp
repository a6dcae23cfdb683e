// Shared helpers of the window tests.
#include "test_support.h"

#include "kontur.h"
#include "raster_canvas.h"
#include "spin_field.h"

#include <QTest>

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

BitmapFolder::BitmapFolder() {
    if (!dir_.isValid()) qFatal("no temporary folder for the test bitmaps");
}

QString BitmapFolder::write(const QString& name, const QImage& picture) {
    const QString file = path(name);
    if (!picture.save(file, "BMP")) qFatal("cannot write the test bitmap %s", qPrintable(file));
    return file;
}

QString BitmapFolder::path(const QString& name) const {
    return dir_.filePath(name);
}

ErrorCapture::ErrorCapture()
    : previous_(setErrorReporter([this](const QString& text) { shown.append(text); })) {}

ErrorCapture::~ErrorCapture() {
    setErrorReporter(previous_);
}

std::unique_ptr<TForm1> makeWindow() {
    auto form = std::make_unique<TForm1>();
    form->show();
    if (!QTest::qWaitForWindowExposed(form.get())) qWarning("the window was not exposed");
    return form;
}

void setField(TForm1& form, Field field, int value) {
    form.upDown(field)->setValue(value);
}

int fieldValue(const TForm1& form, Field field) {
    return form.upDown(field)->value();
}

QImage greyDisplay(const TForm1& form) {
    const GreyImage& store = form.image();
    QImage grey(store.ImageWidth, store.ImageHeight, QImage::Format_BGR888);
    for (int y = 0; y < store.ImageHeight; ++y) {
        uchar* row = grey.scanLine(y);
        for (int x = 0; x < store.ImageWidth; ++x) {
            const uchar v = store.GreyData[static_cast<std::size_t>(y) * store.ImageWidth + x];
            row[3 * x] = row[3 * x + 1] = row[3 * x + 2] = v;
        }
    }
    return grey;
}

QImage expectedContourDisplay(const TForm1& form) {
    QImage expected = greyDisplay(form);
    RasterCanvas canvas(
        PixelView{expected.bits(), expected.width(), expected.height(), expected.bytesPerLine()});
    Draw(Kontur, canvas);
    return expected;
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
