// Instant analysis on the real window: the time from a change of a force field to the
// repainted image, with "Instant analysis" ticked, the default settings and a 1920 × 1080
// picture. Each repetition is one change (the "Image =" field toggles between two values),
// timed from the change to the end of the event processing that repaints the view.
// Two window sizes: the window as it opens, and one large enough to show the whole picture,
// where the repaint has the most pixels to copy. A third scene holds 300 objects found on a
// picture of 300 discs, with one of them current: every repaint draws the others' outlines
// and each change updates the current object's row.
#include "core/field_table.h"
#include "document/editing.h"
#include "image_view.h"
#include "spin_field.h"
#include "tform1.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QImage>
#include <QScrollArea>
#include <QTemporaryDir>
#include <QUndoStack>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace orvik::bench {
namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr int kChanges = 40;

// Counts the paint events the image view receives.
class PaintCounter : public QObject {
public:
    int paints = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++paints;
        return QObject::eventFilter(watched, event);
    }
};

// The discs of the objects scene: 20 columns by 15 rows, 300 in all.
constexpr int kDiscColumns = 20, kDiscRows = 15, kDiscRadius = 20;

// A grey 24-bit BMP in a temporary folder: a dark ellipse in the middle, or a grid of dark
// discs.
class PictureFile {
public:
    explicit PictureFile(bool discs = false) {
        path_ = QDir(dir_.path()).filePath(QStringLiteral("picture.bmp"));
        QImage picture(kWidth, kHeight, QImage::Format_BGR888);
        const double cellX = double(kWidth) / kDiscColumns, cellY = double(kHeight) / kDiscRows;
        for (int y = 0; y < kHeight; ++y) {
            std::uint8_t* pixel = picture.scanLine(y);
            for (int x = 0; x < kWidth; ++x, pixel += 3) {
                double u = (x - kWidth / 2.0) / 300.0;
                double v = (y - kHeight / 2.0) / 200.0;
                if (discs) {
                    u = (x - (std::floor(x / cellX) + 0.5) * cellX) / kDiscRadius;
                    v = (y - (std::floor(y / cellY) + 0.5) * cellY) / kDiscRadius;
                }
                const std::uint8_t grey = u * u + v * v < 1.0 ? 30 : 210;
                pixel[0] = pixel[1] = pixel[2] = grey;
            }
        }
        if (!dir_.isValid() || !picture.save(path_, "BMP")) {
            std::fprintf(stderr, "window_bench: cannot write the picture\n");
            std::exit(1);
        }
    }
    const QString& path() const { return path_; }

private:
    QTemporaryDir dir_;
    QString path_;
};

// The window with the picture loaded and "Instant analysis" ticked.
struct Scene {
    PictureFile file;
    TForm1 form;
    PaintCounter counter;
    QSize openingSize;
    int analyses = 0;

    explicit Scene(bool objects = false) : file(objects) {
        QObject::connect(&form, &TForm1::contourShown, [this](bool analysed) {
            if (analysed) ++analyses;
        });
        form.show();
        openingSize = form.size();
        form.loadImageFile(file.path());
        if (objects) {
            FindOptions options;
            options.threshold = 480;
            form.findObjects(options, true, false);
            if (form.objects().size() != kDiscColumns * kDiscRows) {
                std::fprintf(stderr, "window_bench: found %zu objects, not 300\n",
                             form.objects().size());
                std::exit(1);
            }
            form.chooseObject(150);
        }
        form.CheckBox1->setChecked(true);
        form.Image1->installEventFilter(&counter);
        QApplication::processEvents();
    }
};

// Made on first use and destroyed by main before the application object.
std::unique_ptr<Scene> theScene, theObjectsScene;

Scene& scene(bool objects) {
    std::unique_ptr<Scene>& made = objects ? theObjectsScene : theScene;
    if (!made) made = std::make_unique<Scene>(objects);
    return *made;
}

void changeToRepaint(benchmark::State& state, bool wholePicture, bool objects) {
    Scene& s = scene(objects);
    // Called once per repetition: the size is set, not grown.
    if (wholePicture) {
        // The panel keeps its width; the scroll area grows until it shows the whole picture.
        const QSize viewport = s.form.ScrollBox1->viewport()->size();
        if (viewport.width() < kWidth || viewport.height() < kHeight) {
            s.form.resize(s.form.width() + std::max(kWidth - viewport.width(), 0),
                          s.form.height() + std::max(kHeight - viewport.height(), 0));
        }
    } else {
        s.form.resize(s.openingSize);
    }
    QApplication::processEvents();
    SpinField* image = s.form.upDown(Field::Image);
    for (auto _ : state) {
        const int analysesBefore = s.analyses;
        const int paintsBefore = s.counter.paints;
        QElapsedTimer timer;
        timer.start();
        image->setValue(image->value() == 30 ? 31 : 30);
        QApplication::processEvents();
        const qint64 elapsed = timer.nsecsElapsed();
        if (s.analyses != analysesBefore + 1 || s.counter.paints == paintsBefore) {
            state.SkipWithError("the change did not run one analysis and repaint the view");
            return;
        }
        state.SetIterationTime(static_cast<double>(elapsed) * 1e-9);
    }
    state.counters["visible_pixels"] =
        static_cast<double>(s.form.Image1->visibleRegion().boundingRect().width()) *
        s.form.Image1->visibleRegion().boundingRect().height();
}

// "Edit outline" on the objects scene: each repetition drags a handle of the current object
// two pixels (press, move, release, as the view reports them), which "Instant analysis" then
// relaxes; timed from the press to the end of the event processing that repaints the view.
void editToRepaint(benchmark::State& state) {
    Scene& s = scene(true);
    const QSize viewport = s.form.ScrollBox1->viewport()->size();
    if (viewport.width() < kWidth || viewport.height() < kHeight)
        s.form.resize(s.form.width() + std::max(kWidth - viewport.width(), 0),
                      s.form.height() + std::max(kHeight - viewport.height(), 0));
    s.form.EditOutlineAction->setChecked(true);
    QApplication::processEvents();
    int step = 2;
    for (auto _ : state) {
        const PictureObject* object = s.form.document().objects().find(s.form.currentObject());
        const ContourPoint p = contourPoints(*object)[0];
        const QPoint from(static_cast<int>(std::floor(p.x)), static_cast<int>(std::floor(p.y)));
        const QPoint to = from + QPoint(step, 0);
        step = -step;
        const int paintsBefore = s.counter.paints;
        QElapsedTimer timer;
        timer.start();
        emit s.form.Image1->pressed(Qt::LeftButton, from);
        emit s.form.Image1->moved(to);
        emit s.form.Image1->released(Qt::LeftButton, to);
        QApplication::processEvents();
        const qint64 elapsed = timer.nsecsElapsed();
        if (s.counter.paints == paintsBefore || s.form.UndoStack->count() == 0) {
            state.SkipWithError("the drag did not make an undo step and repaint the view");
            return;
        }
        state.SetIterationTime(static_cast<double>(elapsed) * 1e-9);
    }
    s.form.EditOutlineAction->setChecked(false);
}

} // namespace
} // namespace orvik::bench

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const struct {
        const char* name;
        bool whole, objects;
    } cases[] = {{"Window/instant_analysis/opening_size", false, false},
                 {"Window/instant_analysis/whole_picture", true, false},
                 {"Window/instant_analysis/whole_picture_300_objects", true, true}};
    for (const auto& c : cases)
        benchmark::RegisterBenchmark(c.name, orvik::bench::changeToRepaint, c.whole, c.objects)
            ->Unit(benchmark::kMillisecond)
            ->UseManualTime()
            ->Iterations(1)
            ->Repetitions(orvik::bench::kChanges);
    benchmark::RegisterBenchmark("Window/edit_instant_relax/whole_picture_300_objects",
                                 orvik::bench::editToRepaint)
        ->Unit(benchmark::kMillisecond)
        ->UseManualTime()
        ->Iterations(1)
        ->Repetitions(orvik::bench::kChanges);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    orvik::bench::theScene.reset();
    orvik::bench::theObjectsScene.reset();
    return 0;
}
