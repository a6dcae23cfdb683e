// The main window: building it, its handlers' connections, the commands "Load Image" and
// "Analysis", the change handlers with the updating guard and the enabling rules, and drawing
// the contour. The panel, the menus, recent files, the mouse, the history and the results
// items have files of their own (tform1_*.cpp).
#include "tform1.h"

#include "command_guard.h"
#include "core/commands.h"
#include "core/full_stop.h"
#include "image_view.h"
#include "kontur.h"
#include "load_image_dialog.h"
#include "objects_panel.h"
#include "picture_reader.h"
#include "render/raster_canvas.h"
#include "spin_field.h"
#include "step_progress_bar.h"
#include "tform1_layout.h"
#include "updating_scope.h"

#include <QApplication>
#include <QCheckBox>
#include <QCursor>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QSlider>
#include <QToolButton>
#include <QUndoStack>
#include <QVBoxLayout>
#include <stdexcept>
#include <utility>
#include <vector>

namespace orvik {

namespace {

// Steps the undo history keeps; older ones are dropped.
constexpr int kUndoLimit = 1000;

// What the status line adds to the error of an analysis whose run diverged.
constexpr const char* kDivergedAdvice =
    "The contour diverged: lower Tension or Rigidity, or raise Viscosity or Inertia. "
    "F1 \u203A Troubleshooting";

constexpr int kSeparateStep = TForm1::SeparateStep;
constexpr int kNotAStep = TForm1::NotAStep;

// The fields whose change rebuilds the initial contour; the others are force parameters.
bool changesInitialContour(Field field) {
    return field == Field::Points || isBoxField(field);
}

} // namespace

TForm1::TForm1(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("Form1"));
    if (const QScreen* s = screen()) scale_ = s->logicalDotsPerInch() / 96.0;

    setFont(panelFont());
    setWindowTitle(QStringLiteral("Orvik"));

    buildClientArea();
    buildPanel();
    buildFields();
    buildPopupMenu();
    buildMenuBar();
    buildStatusLine();
    buildObjectsPanel();
    buildFramesBar();
    setFocusOrder();

    // The menu bar on top, the client area as it always was, the status line at the bottom.
    auto* frame = new QVBoxLayout(this);
    frame->setContentsMargins(0, 0, 0, 0);
    frame->setSpacing(0);
    frame->setMenuBar(MenuBar);
    frame->addWidget(ClientArea, 1);
    frame->addWidget(FramesBar);
    frame->addWidget(ObjectsPanel1);
    frame->addWidget(StatusLine);

    LoadImageDialog = new LoadImageFileDialog(this);
    LoadImageDialog->setObjectName(QStringLiteral("LoadImageDialog"));

    popupOpener_ = [](QMenu& menu, QPoint globalPosition) { menu.exec(globalPosition); };

    UndoStack = new QUndoStack(this);
    UndoStack->setObjectName(QStringLiteral("UndoStack"));
    // A step keeps two states of what was shown, a few kilobytes each; the limit only keeps a
    // long session's history from growing without end.
    UndoStack->setUndoLimit(kUndoLimit);

    // The window grows by the menu bar and the status line; the client area keeps its size.
    ClientArea->setMinimumSize(scaled(sizes::MinimumClientWidth), scaled(sizes::ClientHeight));
    resize(scaled(sizes::ClientWidth), scaled(sizes::ClientHeight) + frameExtraHeight());
    if (const QScreen* s = screen()) move(s->availableGeometry().center() - rect().center());

    bindEngine();
    connectControls();
    connectMenuBar();
    connectResultItems();
    connectObjectItems();
    connectFrameItems();
    applyEnablingRules();
}

TForm1::~TForm1() {
    // The stack clears itself as it goes, and nothing is left to enable then.
    UndoStack->disconnect(this);
    // The engine must not read this window's fields once they are gone.
    BindImage({});
    SetRunHooks({});
}

void TForm1::bindEngine() {
    BindImage({&doc_.image().GreyData, &doc_.image().ImageWidth, &doc_.image().ImageHeight,
               &blackOnWhite_});
    RunHooks hooks;
    hooks.StepProgress = [this] { ProgressBar1->stepIt(); };
    hooks.ShowWaitCursor = [] { QApplication::setOverrideCursor(Qt::WaitCursor); };
    hooks.RestoreCursor = [] { QApplication::restoreOverrideCursor(); };
    SetRunHooks(std::move(hooks));
}

void TForm1::connectControls() {
    connect(Button1, &QPushButton::clicked, this,
            [this] { userChange(kNotAStep, [this] { Button1Click(); }); });
    connect(Button2, &QPushButton::clicked, this,
            [this] { userChange(kNotAStep, [this] { Button2Click(); }); });
    connect(SpeedButton1, &QToolButton::clicked, this,
            [this] { runCommand([this] { SpeedButton1Click(); }); });

    for (const FieldInfo& entry : fieldTable()) {
        // Each field's own changes merge into one undo step while nothing else happens.
        const int step = static_cast<int>(entry.field);
        if (changesInitialContour(entry.field))
            connect(upDown(entry.field), &SpinField::changed, this,
                    [this, step] { userChange(step, [this] { InitialChange(); }); });
        else
            connect(upDown(entry.field), &SpinField::changed, this,
                    [this, step] { userChange(step, [this] { AnalysisChange(); }); });
    }

    // A radio button reports once, when it becomes selected.
    for (QRadioButton* model : {RadioButton1, RadioButton2, RadioButton3, RadioButton4})
        connect(model, &QRadioButton::toggled, this, [this](bool selected) {
            if (selected) userChange(kSeparateStep, [this] { InitialChange(); });
        });
    // The engine's copy of the polarity follows the selection before any handler runs:
    // the button losing the selection reports first, the one gaining it second.
    for (QRadioButton* polarity : {RadioButton5, RadioButton6})
        connect(polarity, &QRadioButton::toggled, this,
                [this] { blackOnWhite_ = RadioButton5->isChecked(); });
    for (QRadioButton* polarity : {RadioButton5, RadioButton6})
        connect(polarity, &QRadioButton::toggled, this, [this](bool selected) {
            if (selected) userChange(kSeparateStep, [this] { AnalysisChange(); });
        });
    connect(CheckBox1, &QCheckBox::toggled, this,
            [this] { userChange(kNotAStep, [this] { AnalysisChange(); }); });

    connect(Image1, &ImageView::pressed, this, [this](Qt::MouseButton button, QPoint p) {
        runCommand([&] { Image1MouseDown(button, p.x(), p.y()); });
    });
    connect(Image1, &ImageView::moved, this,
            [this](QPoint p) { runCommand([&] { Image1MouseMove(p.x(), p.y()); }); });
    connect(Image1, &ImageView::released, this, [this](Qt::MouseButton button, QPoint p) {
        userChange(kSeparateStep, [&] { Image1MouseUp(button, p.x(), p.y()); });
    });

    connect(Setrad1, &QAction::triggered, this,
            [this] { userChange(kSeparateStep, [this] { Setrad1Click(); }); });
    connect(Setobj, &QAction::triggered, this,
            [this] { userChange(kSeparateStep, [this] { SetobjClick(); }); });
    connect(Setthr, &QAction::triggered, this,
            [this] { userChange(kSeparateStep, [this] { SetthrClick(); }); });
    connect(Setall, &QAction::triggered, this,
            [this] { userChange(kSeparateStep, [this] { SetallClick(); }); });
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Panel3 && event->type() == QEvent::Resize) layOutPanelBottom();
    if (watched == ScrollBox1->viewport() && event->type() == QEvent::Resize) showZoom();
    if ((watched == Button1 || watched == Button2) && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
            (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
            static_cast<QPushButton*>(watched)->click();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

// ---- drawing ----

RasterCanvas TForm1::displayCanvas() {
    QImage& display = doc_.image().Display;
    return RasterCanvas(
        PixelView{display.bits(), display.width(), display.height(), display.bytesPerLine()});
}

namespace {

// Draws the vertices as Draw passed them: a move to the first, lines to the others.
void drawVertices(const std::vector<Vertex>& vertices, ContourCanvas& canvas) {
    if (vertices.empty()) return;
    canvas.SelectRedPen();
    canvas.MoveTo(vertices.front().x, vertices.front().y);
    for (std::size_t i = 1; i < vertices.size(); ++i)
        canvas.LineTo(vertices[i].x, vertices[i].y);
    canvas.RestorePen();
}

// The same lines for the view, which draws them itself when the picture is zoomed.
QList<QPolygon> viewLines(const std::vector<Vertex>& vertices) {
    QPolygon line;
    for (const Vertex& v : vertices)
        line << QPoint(v.x, v.y);
    return line.isEmpty() ? QList<QPolygon>{} : QList<QPolygon>{line};
}

} // namespace

void TForm1::drawContour() {
    // What Draw will pass, taken first: a contour that cannot be drawn whole is shown as far
    // as Draw gets before it fails.
    shown_.result = captureResult(Kontur, runContext());
    shown_.status = statusFor(shown_);
    Image1->setContourLines(viewLines(shown_.result.vertices));
    showStatus();
    doc_.setCurrentError({});
    keepCurrentObject();
    RasterCanvas canvas = displayCanvas();
    Draw(Kontur, canvas);
}

// The status line cuts a long text at the window's edge; its tooltip holds it whole.
void TForm1::showStatus() {
    MeasurementsLabel->setText(shown_.status);
    MeasurementsLabel->setToolTip(shown_.status);
}

void TForm1::paintShown() {
    RasterCanvas canvas = displayCanvas();
    drawVertices(shown_.result.vertices, canvas);
    Image1->setContourLines(viewLines(shown_.result.vertices));
    showStatus();
    showEditHandles();
}

void TForm1::showContour(bool analysed) {
    refreshDisplay(doc_.image());
    shown_.analysed = analysed;
    drawContour();
    Image1->update();
    emit contourShown(analysed);
}

// ---- commands and change propagation ----

void TForm1::Button1Click() {
    const QString path = LoadImageDialog->choose();
    if (path.isEmpty()) return;
    loadImageFile(path);
}

void TForm1::loadImageFile(const QString& path, bool folderAsFrames) {
    // A load is no step of its own, and the steps before it do not apply to the new picture.
    const HistoryPause pause(*this);
    {
        // A failed load leaves the guard as it found it: still set before the first image.
        const UpdatingScope guard(Updating);
        CheckBox1->setChecked(false);

        // The store refuses sides beyond 32767, so the box fields can hold every size. Every
        // picture is kept as it was read (a TIFF file's pages, or a folder's pictures, as
        // frames), and the grey the contour sees is made from it.
        if (QFileInfo(path).isDir() && !folderAsFrames) loadImage(path); // says it is no file
        LoadedStack loaded = loadStack(path);
        const Box box = loaded.box;
        // A new picture starts from the free contour's own controls, not from the values of
        // the object that was current.
        if (freeValues_) setControlValues(*freeValues_);
        freeValues_.reset();
        // The objects, the tracks and the scale belonged to the picture before.
        doc_.open(std::move(loaded), path);
        ChannelActions[0]->setChecked(true); // a new picture is seen in its grey
        // Zoomed views show the grey picture itself, the contour drawn over it thin.
        Image1->setPlainPicture(QImage(doc_.image().GreyData.get(), doc_.image().ImageWidth,
                                       doc_.image().ImageHeight, doc_.image().ImageWidth,
                                       QImage::Format_Grayscale8));

        Button2->setEnabled(true);
        const int width = doc_.image().ImageWidth, height = doc_.image().ImageHeight;
        // The maxima first, so that the new box always fits.
        for (const BoxField& b : BoxFields) {
            upDown(b.field)->setMaximum(b.horizontal ? width : height);
            showFieldRange(b.field);
        }
        setBoxControls(box);

        Image1->setZoom(1.0);
        const ControlValues geometry = controlValues();
        setWindowTitle(QStringLiteral("Orvik - ") + path);
        objectsChanged();
        previewContour(Kontur, geometry);
        // The display holds the fresh grey image already: no refresh before drawing.
        shown_.analysed = false;
        drawContour();
        Image1->update();
    }
    Updating = 0;
    UndoStack->clear();
    found_.reset(); // a new picture's ids start again
    history_ = std::make_shared<WindowSnapshot>(snapshot());
    {
        const QSignalBlocker quiet(FrameSlider);
        FrameSlider->setRange(0, frameCount() - 1);
        FrameSlider->setValue(0);
    }
    FrameLabel->setText(QStringLiteral("Frame 1 / %1").arg(frameCount()));
    FramesBar->setVisible(frameCount() > 1);
    applyEnablingRules();
    showLoadedPicture();
    updateThresholdPreview();
    // The pixel under the pointer is the new picture's: the pointer may not move at all.
    const QPoint under = Image1->mapFromGlobal(QCursor::pos());
    const QPoint pixel =
        Image1->rect().contains(under) ? Image1->imagePixel(under) : QPoint(-1, -1);
    showPointer(pixel.x(), pixel.y());
    recentFiles_.remember(path);
    rebuildRecentMenu();
}

void TForm1::Button2Click() {
    bool running = false;
    try {
        analyseContour(Kontur, scratch_, controlValues(), [this, &running](std::int32_t maximum) {
            ProgressBar1->setMaximum(maximum);
            running = true;
        });
    } catch (const std::exception& error) {
        // A run that ends in a floating-point error has diverged. The box shows the error
        // alone; the status line says what to do about it, over the drawing that stays.
        if (running) {
            shown_.status = withFullStop(QString::fromUtf8(error.what())) + u' ' +
                            QString::fromUtf8(kDivergedAdvice);
            showStatus();
            // The current object keeps its last good drawing, marked with the error.
            doc_.setCurrentError(error.what());
            keepCurrentObject();
        }
        throw;
    }
    ProgressBar1->setValue(0);
    showContour(true);
}

void TForm1::applyEnablingRules() {
    const ModelControls rule = modelControls(selectedModel());
    const QPalette standard = QApplication::palette();
    for (const Field field : {Field::Form, Field::Radius}) {
        SpinField* spin = upDown(field);
        spin->setEnabled(rule.formAndRadius);
        QPalette palette = spin->palette();
        palette.setColor(QPalette::Base,
                         standard.color(rule.formAndRadius ? QPalette::Base : QPalette::Button));
        spin->setPalette(palette);
    }
    RadioButton5->setEnabled(rule.polarity);
    RadioButton6->setEnabled(rule.polarity);
    Setrad1->setEnabled(rule.setRadius);
    Setobj->setEnabled(rule.setObject);
    Setthr->setEnabled(rule.setThreshold);

    // The menu items: each one that stands for a control follows it; the result items wait
    // for the first image (a contour exists from then on).
    const bool loaded = !doc_.image().Display.isNull();
    const std::pair<QAction*, bool> items[] = {
        {LoadImageAction, Button1->isEnabled()},
        {AnalysisAction, Button2->isEnabled()},
        {InstantAnalysisAction, CheckBox1->isEnabled()},
        {ManualAction, SpeedButton1->isEnabled()},
        {SaveContourAction, loaded},
        {SaveOverlayAction, loaded},
        {CopyAction, loaded},
        {LoadSettingsAction, loaded},
        {SaveMaskAction, loaded && isClosed(selectedModel())},
        {ZoomInAction, loaded},
        {ZoomOutAction, loaded},
        {FitAction, loaded},
        {ActualSizeAction, loaded},
        {AddObjectAction, loaded},
        {FindObjectsAction, loaded},
        {AddByClickingAction, loaded},
        {DeleteObjectAction, doc_.currentId() != 0},
        {ClearObjectsAction, doc_.objects().size() > 0},
        {SaveObjectsAction, doc_.objects().size() > 0},
        {OpenObjectsAction, loaded},
        {FollowAction, frameCount() > 1},
        {SaveFramesAction, doc_.tracks() != nullptr},
        {NextFrameAction, frameCount() > 1},
        {PreviousFrameAction, frameCount() > 1},
        {DisplayRangeAction, doc_.stack().frames.frameCount() > 0},
        {ChannelMenu->menuAction(), doc_.stack().frames.layout() == SampleLayout::Rgb8},
        {AnalyseAllAction, doc_.objects().size() > 0},
        {RelaxAction, doc_.currentId() != 0},
        {SplitObjectAction, doc_.currentId() != 0},
        {MergeObjectsAction, doc_.objects().size() > 1},
        {FollowFromFrameAction, frameCount() > 1 && doc_.objects().size() > 0},
        {UndoAction, UndoStack->canUndo()},
        {RedoAction, UndoStack->canRedo()},
    };
    for (const auto& [action, enabled] : items)
        action->setEnabled(enabled);
}

void TForm1::InitialChange() {
    applyEnablingRules();
    if (Updating != 0) return;
    if (CheckBox1->isChecked()) {
        Button2Click();
        return;
    }
    previewContour(Kontur, controlValues());
    showContour(false);
}

void TForm1::AnalysisChange() {
    if (Updating != 0) return;
    if (CheckBox1->isChecked()) Button2Click();
}

void TForm1::SpeedButton1Click() {
    emit helpRequested();
}

// ---- mouse on the image ----

// ---- popup tools ----

} // namespace orvik
