// Helpers of the tests that drive the main window.
#include "window_support.h"

#include "kontur.h"
#include "pictures.h"
#include "render/raster_canvas.h"
#include "spin_field.h"

#include <QTest>
#include <clocale>

namespace orvik::test {

ErrorCapture::ErrorCapture()
    : previous_(setErrorReporter([this](const QString& text) { shown.append(text); })) {}

ErrorCapture::~ErrorCapture() {
    setErrorReporter(previous_);
}

DecimalCommaLocale::DecimalCommaLocale() : previous_(std::setlocale(LC_ALL, nullptr)) {
    active_ = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
}

DecimalCommaLocale::~DecimalCommaLocale() {
    std::setlocale(LC_ALL, previous_.c_str());
}

namespace {

// Counts what the window shows, from its own signal.
class ShownCounter : public QObject {
public:
    explicit ShownCounter(TForm1& form) : QObject(&form) {
        setObjectName(QStringLiteral("ShownCounter"));
        connect(&form, &TForm1::contourShown, this,
                [this](bool analysed) { ++(analysed ? analyses : previews); });
    }
    int previews = 0, analyses = 0;
};

const ShownCounter& counterOf(const TForm1& form) {
    return *form.findChild<const ShownCounter*>(QStringLiteral("ShownCounter"),
                                                Qt::FindDirectChildrenOnly);
}

} // namespace

int previewsOf(const TForm1& form) {
    return counterOf(form).previews;
}

int analysesOf(const TForm1& form) {
    return counterOf(form).analyses;
}

std::unique_ptr<TForm1> makeWindow() {
    auto form = std::make_unique<TForm1>();
    new ShownCounter(*form);
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
    return greyDisplay(form.image());
}

QImage expectedContourDisplay(const TForm1& form) {
    QImage expected = greyDisplay(form);
    RasterCanvas canvas(
        PixelView{expected.bits(), expected.width(), expected.height(), expected.bytesPerLine()});
    Draw(Kontur, canvas);
    return expected;
}

} // namespace orvik::test
