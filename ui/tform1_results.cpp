// The main window's results items: saving the contour in a result format, its mask and the
// overlay, loading settings from a saved result, copying to the clipboard, and the
// measurements in the status line.
#include "command_guard.h"
#include "core/measurements.h"
#include "document/saving.h"
#include "io/formats.h"
#include "io/settings.h"
#include "objects_panel.h"
#include "spin_field.h"
#include "tform1.h"
#include "updating_scope.h"

#include <QAction>
#include <QClipboard>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QLocale>
#include <QMimeData>
#include <QRadioButton>
#include <QTableWidget>
#include <memory>
#include <utility>

namespace orvik {

namespace {

// The formats of "Save contour as…", in the order its dialog offers them.
constexpr ResultFormat kContourFormats[] = {ResultFormat::Csv, ResultFormat::Roi,
                                            ResultFormat::GeoJson, ResultFormat::Json};

} // namespace

void TForm1::connectResultItems() {
    fileChooser_ = &chooseWithFileDialog;
    const std::pair<QAction*, void (TForm1::*)()> items[] = {
        {SaveContourAction, &TForm1::SaveContourClick},
        {SaveMaskAction, &TForm1::SaveMaskClick},
        {SaveOverlayAction, &TForm1::SaveOverlayClick},
        {LoadSettingsAction, &TForm1::LoadSettingsClick},
        {CopyAction, &TForm1::CopyClick},
    };
    for (const auto& [action, handler] : items)
        connect(action, &QAction::triggered, this, [this, handler = handler] {
            // Load settings is one undo step; the other items change nothing.
            userChange(SeparateStep, [this, handler] { (this->*handler)(); });
        });
}

void TForm1::setFileChooser(FileChooser chooser) {
    fileChooser_ = std::move(chooser);
}

FileChoice TForm1::chooseFile(const FileRequest& request) {
    FileChoice choice = fileChooser_ ? fileChooser_(this, request) : FileChoice{};
    if (!choice.path.isEmpty()) lastFolder_ = QFileInfo(choice.path).absolutePath();
    return choice;
}

// Named after the image, in the folder a results dialog was used in last, at first beside
// the image.
QString TForm1::suggestedPath(const char* ending) const {
    const QFileInfo image(doc_.file());
    const QDir folder = lastFolder_.isEmpty() ? image.dir() : QDir(lastFolder_);
    return folder.filePath(image.completeBaseName() + QString::fromLatin1(ending));
}

GreyBufferView TForm1::greyView() const {
    return {doc_.image().GreyData.get(), doc_.image().ImageWidth, doc_.image().ImageHeight};
}

ContourResult TForm1::currentResult() const {
    return shown_.result;
}

RunContext TForm1::runContext() const {
    return orvik::runContext(doc_.file().toStdString(), doc_.image().ImageWidth,
                             doc_.image().ImageHeight, controlValues());
}

QString TForm1::statusFor(const ShownContour& shown) const {
    const Measurements m = doc_.measure(shown.result);
    QString measured = statusText(m, shown.result);
    if (measured.isEmpty()) return {};
    // With a known pixel size, the calibrated size beside the pixels.
    if (m.calibrated && !shown.result.contour.empty()) {
        const QString unit = QString::fromStdString(m.calibrated->unit);
        // (Built by joining: a superscript two after a %n would read as a second digit.)
        const QLocale locale;
        measured += QStringLiteral(" \u00B7 ") +
                    (m.closed ? locale.toString(m.calibrated->area, 'f', 2) + u' ' + unit +
                                    QStringLiteral("\u00B2, ") +
                                    locale.toString(m.calibrated->perimeter, 'f', 2) + u' ' + unit
                              : locale.toString(m.calibrated->length, 'f', 2) + u' ' + unit);
    }
    // An initial contour looks like a result; the status line tells them apart.
    const int n = shown.result.iteration;
    const QString what = !shown.analysed ? QStringLiteral("Initial contour")
                         : n == 1        ? QStringLiteral("After 1 iteration")
                                         : QStringLiteral("After %1 iterations").arg(n);
    const QString object = doc_.currentId() != 0
                               ? QStringLiteral("Object %1 \u00B7 ").arg(doc_.currentId())
                               : QString();
    return object + what + QStringLiteral(" \u00B7 ") + measured;
}

void TForm1::SaveContourClick() {
    QStringList filters;
    for (const ResultFormat format : kContourFormats)
        filters << QString::fromLatin1(formatInfo(format).filter);
    const FileChoice choice =
        chooseFile({FileRequest::Purpose::Save, QStringLiteral("Save contour as"), filters,
                    suggestedPath(formatInfo(ResultFormat::Csv).fileEnding)});
    if (choice.path.isEmpty()) return;

    // The file's own extension decides; a name without one takes the chosen file type's.
    QString path = choice.path;
    if (!contourFormatForPath(path)) {
        ResultFormat chosen = ResultFormat::Csv;
        for (const ResultFormat format : kContourFormats)
            if (choice.filter == QLatin1String(formatInfo(format).filter)) chosen = format;
        path += QString::fromLatin1(formatInfo(chosen).fileEnding);
    }
    const ResultFormat format = contourFormatForPath(path).value_or(ResultFormat::Csv);
    saveFile(path, contourBytes(doc_, format, currentResult(), doc_.image().Display));
}

void TForm1::SaveMaskClick() {
    const QString filter = QString::fromLatin1(formatInfo(ResultFormat::Mask).filter);
    const FileChoice choice =
        chooseFile({FileRequest::Purpose::Save,
                    QStringLiteral("Save mask"),
                    {filter},
                    suggestedPath(formatInfo(ResultFormat::Mask).fileEnding)});
    if (choice.path.isEmpty()) return;
    saveFile(withFilterExtension(choice.path, filter), toMaskPng(currentResult()));
}

void TForm1::SaveOverlayClick() {
    const QString filter = QString::fromLatin1(formatInfo(ResultFormat::Overlay).filter);
    const FileChoice choice =
        chooseFile({FileRequest::Purpose::Save,
                    QStringLiteral("Save overlay"),
                    {filter},
                    suggestedPath(formatInfo(ResultFormat::Overlay).fileEnding)});
    if (choice.path.isEmpty()) return;
    // The picture as shown: the grey image with the red contour.
    saveFile(withFilterExtension(choice.path, filter), toPng(doc_.image().Display));
}

void TForm1::LoadSettingsClick() {
    const FileChoice choice =
        chooseFile({FileRequest::Purpose::Open,
                    QStringLiteral("Load settings"),
                    {QString::fromLatin1(formatInfo(ResultFormat::Json).filter),
                     QStringLiteral("All files (*)")},
                    QFileInfo(suggestedPath("")).path()});
    if (choice.path.isEmpty()) return;
    loadSettingsFile(choice.path);
}

void TForm1::loadSettingsFile(const QString& path) {
    // Everything is read and checked before any control changes.
    const Settings settings = readSettings(path);
    if (settings.box) {
        const Box& b = *settings.box;
        const int width = doc_.image().ImageWidth, height = doc_.image().ImageHeight;
        if (offPicture(b, width, height))
            throw SettingsError(
                QStringLiteral("Settings file \"%1\", key \"box\": [%2, %3, %4, %5] does not "
                               "fit the image of %6 x %7 pixels")
                    .arg(path)
                    .arg(b.x1)
                    .arg(b.y1)
                    .arg(b.x2)
                    .arg(b.y2)
                    .arg(width)
                    .arg(height)
                    .toStdString());
    }
    const ControlValues values = applySettings(settings, controlValues());
    {
        // One preview or analysis at the end instead of one per control.
        const UpdatingScope guard(Updating);
        setControlValues(values);
    }
    InitialChange();
}

void TForm1::CopyClick() {
    // With the Objects table focused, the table: tab-separated, as a spreadsheet pastes it.
    if (ObjectsPanel1->isVisible() && ObjectsPanel1->table()->hasFocus()) {
        QGuiApplication::clipboard()->setText(ObjectsPanel1->tableText());
        return;
    }
    const ContourResult result = currentResult();
    auto data = std::make_unique<QMimeData>();
    data->setText(contourClipboardText(doc_, result));
    data->setImageData(doc_.image().Display.convertToFormat(QImage::Format_RGB32));
    QGuiApplication::clipboard()->setMimeData(data.release());
}

} // namespace orvik
