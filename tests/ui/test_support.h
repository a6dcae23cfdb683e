// Shared helpers of the window tests: synthetic bitmaps written to a temporary folder, a
// window with a loaded image, the error reporter, pixel checks of the display bitmap.
#pragma once

#include "application.h"
#include "image_view.h"
#include "tform1.h"

#include <QImage>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <memory>

namespace orvik::test {

// Runs each test class; the results are added up in main.
int runApplicationTests(int argc, char** argv);
int runFieldsTests(int argc, char** argv);
int runCommandsTests(int argc, char** argv);
int runMouseTests(int argc, char** argv);
int runToolsTests(int argc, char** argv);
int runMenuTests(int argc, char** argv);

// A grey picture whose pixel (x, y) is grey(x, y).
QImage greyPicture(int width, int height, const std::function<int(int x, int y)>& grey);
QImage uniformPicture(int width, int height, int grey);
// A disc of grey `inside` of the given radius around (cx, cy) on a ground of grey `outside`.
QImage discPicture(int width, int height, int cx, int cy, int radius, int inside, int outside);

// Writes pictures as Windows bitmaps into a folder that lives as long as the object.
class BitmapFolder {
public:
    BitmapFolder();
    QString write(const QString& name, const QImage& picture);
    QString path(const QString& name) const;

private:
    QTemporaryDir dir_;
};

// Collects the texts the general error handler shows, instead of message boxes.
class ErrorCapture {
public:
    ErrorCapture();
    ~ErrorCapture();
    ErrorCapture(const ErrorCapture&) = delete;
    ErrorCapture& operator=(const ErrorCapture&) = delete;
    QStringList shown;

private:
    ErrorReporter previous_;
};

// A shown main window; tests own one each.
std::unique_ptr<TForm1> makeWindow();

// Sets a field as the user would by stepping or typing: through the spin control.
void setField(TForm1& form, Field field, int value);
int fieldValue(const TForm1& form, Field field);

// The display bitmap as the grey buffer alone would show it.
QImage greyDisplay(const TForm1& form);
// The display bitmap as a refresh and Draw of the current contour leave it.
QImage expectedContourDisplay(const TForm1& form);
// Number of pixels that differ between two pictures of the same size.
int differingPixels(const QImage& a, const QImage& b);
// Number of pixels of the display that are pure red.
int redPixels(const QImage& display);

} // namespace orvik::test
