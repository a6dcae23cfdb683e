// Finding objects from the main window: Find objects with its preview of the regions it will
// take, and adding the object under a click.
#include "command_guard.h"
#include "document/saving.h"
#include "find_objects_dialog.h"
#include "image_view.h"
#include "objects_panel.h"
#include "spin_field.h"
#include "tform1.h"
#include "tform1_layout.h"
#include "threshold_tint.h"
#include "updating_scope.h"

#include <QAction>
#include <QCheckBox>
#include <QFileInfo>
#include <QLabel>
#include <QRadioButton>
#include <QThread>
#include <algorithm>

namespace orvik {

namespace {

// The tint of the regions Find objects would keep: the threshold preview's colour.
constexpr QRgb kFoundTint = qRgba(0, 160, 255, 110);

} // namespace

QImage TForm1::foundRegionsTint(const FindOptions& options, int* count) const {
    std::vector<int> labels;
    const std::vector<Region> regions =
        findRegions(doc_.image(), options, &labels, QThread::idealThreadCount());
    if (count != nullptr) *count = static_cast<int>(regions.size());
    QImage tint(doc_.image().ImageWidth, doc_.image().ImageHeight,
                QImage::Format_ARGB32_Premultiplied);
    tint.fill(Qt::transparent);
    const QRgb colour = qPremultiply(kFoundTint);
    // Where a region was cut, the pixels next to another region's are left out: the cut lines.
    const int width = doc_.image().ImageWidth, height = doc_.image().ImageHeight;
    const auto cut = [&](int x, int y, int own) {
        for (const auto& [dx, dy] : {std::pair{1, 0}, {0, 1}, {-1, 0}, {0, -1}}) {
            const int nx = x + dx, ny = y + dy;
            if (nx < 0 || ny < 0 || nx >= width || ny >= height) continue;
            const int other = labels[static_cast<std::size_t>(ny) * width + nx];
            if (other >= 0 && other != own) return true;
        }
        return false;
    };
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<QRgb*>(tint.scanLine(y));
        const int* label = labels.data() + static_cast<std::size_t>(y) * width;
        for (int x = 0; x < width; ++x)
            if (label[x] >= 0 && !cut(x, y, label[x])) row[x] = colour;
    }
    return tint;
}

void TForm1::FindObjectsClick() {
    if (doc_.image().Display.isNull()) return;
    FindOptions start;
    start.threshold = upDown(Field::Threshold)->value();
    start.blackOnWhite = RadioButton5->isChecked();
    start.autoPolarity = true; // the polarity the picture's border suggests, unless changed
    start.localThreshold = separating_.localThreshold;
    start.localRadius = separating_.localRadius;
    start.split = separating_.split;
    FindObjectsDialog dialog(this, start, otsuThreshold(doc_.image(), QThread::idealThreadCount()),
                             static_cast<long long>(doc_.image().ImageWidth) *
                                 doc_.image().ImageHeight,
                             doc_.objects().size() > 0);
    const auto preview = [this, &dialog] {
        int count = 0;
        Image1->setTint(foundRegionsTint(dialog.options(), &count));
        dialog.showCount(count);
    };
    connect(&dialog, &FindObjectsDialog::optionsChanged, this, [&] { runCommand(preview); });
    preview();
    const bool accepted =
        findDialogRunner_ ? findDialogRunner_(dialog) : dialog.exec() == QDialog::Accepted;
    updateThresholdPreview(); // the tint the View menu asks for, if any
    if (!accepted) return;
    const FindOptions chosen = dialog.options();
    const bool autoThreshold = dialog.autoThreshold->isChecked();
    separating_.localThreshold = chosen.localThreshold;
    separating_.localRadius = chosen.localRadius;
    separating_.split = chosen.split;
    findObjects(chosen, dialog.replaceObjects(), dialog.dropFlagged->isChecked(), dialog.model());
    if (found_) found_->rules.autoThreshold = autoThreshold;
}

void TForm1::findObjects(const FindOptions& options, bool replace, bool dropFlagged,
                         ModelChoice model) {
    ControlValues base = controlValues();
    base.model = model;
    const std::vector<int> found =
        doc_.findObjects(options, base, replace, QThread::idealThreadCount());
    // Follow through frames finds them again on every frame, by the same rules.
    FoundObjects rules;
    rules.rules.find = resolvedPolarity(doc_.image(), options);
    rules.rules.base = base;
    rules.ids = found;
    if (!replace && found_)
        rules.ids.insert(rules.ids.end(), found_->ids.begin(), found_->ids.end());
    found_ = std::move(rules);
    doc_.setCurrent(0);
    doc_.setCurrentError({});
    AnalyseAllClick();
    std::size_t dropped = 0;
    if (dropFlagged) {
        for (const int id : found) {
            const PictureObject* object = doc_.objects().find(id);
            if (!doc_.measure(*object, doc_.image(), doc_.frame()).flags.empty()) {
                doc_.objects().remove(id);
                ++dropped;
            }
        }
        objectsChanged();
    }
    shown_.status = QStringLiteral("Found %1 objects").arg(found.size() - dropped);
    if (dropped > 0) shown_.status += QStringLiteral(" \u00B7 %1 flagged dropped").arg(dropped);
    const QString after = statusFor(shown_);
    if (!after.isEmpty()) shown_.status += QStringLiteral(" \u00B7 ") + after;
    showStatus();
}

void TForm1::addObjectAt(int X, int Y) {
    if (doc_.image().Display.isNull() || X < 0 || Y < 0 || X >= doc_.image().ImageWidth ||
        Y >= doc_.image().ImageHeight)
        return;
    ControlValues values = controlValues();
    // The click is on an object: the side of the threshold that the pixels around it are on
    // (a 5 × 5 mean, so that a dark detail of a bright coin does not decide) is the object's
    // side. The region there, at the Threshold field's value or else at the picture's own
    // (Otsu), is the object when it is no larger than Find objects would take (a quarter of
    // the picture); a larger one is the background. Objects are separated as the last Find
    // objects did: touching ones split, and with its local threshold when it took one (whose
    // polarity is then the picture's, as Auto has it).
    int sum = 0, count = 0;
    for (int y = std::max(0, Y - 2); y <= std::min(doc_.image().ImageHeight - 1, Y + 2); ++y)
        for (int x = std::max(0, X - 2); x <= std::min(doc_.image().ImageWidth - 1, X + 2);
             ++x, ++count)
            sum += doc_.image().GreyData[static_cast<std::size_t>(y) * doc_.image().ImageWidth + x];
    const auto grey = static_cast<std::uint8_t>(sum / count);
    std::size_t clicked = 0;
    FindOptions options = separating_;
    options.minArea = 1;
    options.maxArea = 0;
    options.excludeEdges = false;
    std::vector<int> labels;
    std::vector<Region> regions;
    bool found = false;
    for (const int threshold : {at(values.fields, Field::Threshold), otsuThreshold(doc_.image())}) {
        options.threshold = threshold;
        if (options.localThreshold) { // no level: the picture's polarity, as Auto finds it
            options.autoPolarity = true;
            options = resolvedPolarity(doc_.image(), options);
        } else {
            options.blackOnWhite = onObjectSide(grey, threshold, true);
            if (!options.blackOnWhite && !onObjectSide(grey, threshold, false)) continue;
        }
        regions = findRegions(doc_.image(), options, &labels, QThread::idealThreadCount());
        // The clicked pixel, or the nearest of the 5 × 5 around it that lies in a region.
        for (int r = 0; r <= 2 && !found; ++r)
            for (int y = Y - r; y <= Y + r && !found; ++y)
                for (int x = X - r; x <= X + r && !found; ++x) {
                    if (x < 0 || y < 0 || x >= doc_.image().ImageWidth ||
                        y >= doc_.image().ImageHeight)
                        continue;
                    clicked = static_cast<std::size_t>(y) * doc_.image().ImageWidth + x;
                    found = labels[clicked] >= 0;
                }
        if (found || options.localThreshold) break;
    }
    if (!found) {
        shown_.status = QStringLiteral("No object under the click: the click was on the "
                                       "background, or on an object larger than a quarter of "
                                       "the picture");
        showStatus();
        return;
    }
    // A region that runs into the picture's border at one level is often the object joined
    // to a strip of ground lit like it (the coins' lighter top): against the local background
    // the object may stand alone, and then it is taken.
    if (!options.localThreshold && regions[static_cast<std::size_t>(labels[clicked])].touchesEdge) {
        FindOptions local = options;
        local.localThreshold = local.autoPolarity = true;
        local = resolvedPolarity(doc_.image(), local);
        std::vector<int> localLabels;
        std::vector<Region> localRegions = findRegions(doc_.image(), local, &localLabels);
        // The clicked pixel's region there, or the nearest of the 5 × 5 around it.
        const int width = doc_.image().ImageWidth, height = doc_.image().ImageHeight;
        std::size_t near = clicked;
        bool inLocal = false;
        for (int r = 0; r <= 2 && !inLocal; ++r)
            for (int y = Y - r; y <= Y + r && !inLocal; ++y)
                for (int x = X - r; x <= X + r && !inLocal; ++x)
                    if (x >= 0 && y >= 0 && x < width && y < height) {
                        near = static_cast<std::size_t>(y) * width + x;
                        inLocal = localLabels[near] >= 0;
                    }
        if (inLocal && !localRegions[static_cast<std::size_t>(localLabels[near])].touchesEdge) {
            options = local;
            regions = std::move(localRegions);
            labels = std::move(localLabels);
            clicked = near;
        }
    }
    values.blackOnWhite = options.blackOnWhite;
    const Region region = regions[static_cast<std::size_t>(labels[clicked])];
    // The region's own rule, as Find objects seeds: its threshold and polarity, the radius
    // of a disc of its area, its box, and the damping its contrast needs. ("Set them all" at
    // its edge would give the radius from the box's centre and a threshold from the 21 × 21
    // pixels there, which the region's rule then replaces.)
    values = seedValues(region, values);

    const int id = doc_.objects().add(values);
    doc_.setCurrent(0);
    objectsChanged();
    chooseObject(id);
    Button2Click();
}

} // namespace orvik
