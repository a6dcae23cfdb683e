// Helpers of the tests that drive the main window: a shown window, fields set as the user
// sets them, the texts the general error handler shows, the display a contour leaves.
#pragma once

#include "application.h"
#include "core/field_table.h"
#include "tform1.h"

#include <QImage>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>
#include <string>

namespace orvik::test {

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

// While it lives, the C library formats and reads numbers as a German user's session does
// (1,5), as the application object would set it from LC_ALL=de_DE.UTF-8; active() tells
// whether that locale is installed. The locale in force before comes back at the end.
class DecimalCommaLocale {
public:
    DecimalCommaLocale();
    ~DecimalCommaLocale();
    DecimalCommaLocale(const DecimalCommaLocale&) = delete;
    DecimalCommaLocale& operator=(const DecimalCommaLocale&) = delete;
    bool active() const { return active_; }

private:
    std::string previous_;
    bool active_ = false;
};

// A shown main window; tests own one each. It counts the previews and analyses it shows.
std::unique_ptr<TForm1> makeWindow();
int previewsOf(const TForm1& form);
int analysesOf(const TForm1& form);

// Sets a field as the user would by stepping or typing: through the spin control.
void setField(TForm1& form, Field field, int value);
int fieldValue(const TForm1& form, Field field);

// The display bitmap as the grey buffer alone would show it.
QImage greyDisplay(const TForm1& form);
// The display bitmap as a refresh and Draw of the current contour leave it.
QImage expectedContourDisplay(const TForm1& form);

} // namespace orvik::test
