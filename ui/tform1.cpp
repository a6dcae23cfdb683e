// The main window: its controls and their layout, the commands "Load Image" and "Analysis",
// the change handlers with the updating guard, the mouse drag on the image and the popup
// tools.
#include "tform1.h"

#include "command_guard.h"
#include "commands.h"
#include "image_view.h"
#include "kontur.h"
#include "load_image_dialog.h"
#include "raster_canvas.h"
#include "recent_files.h"
#include "spin_field.h"
#include "step_progress_bar.h"
#include "updating_scope.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEvent>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QToolButton>
#include <QUndoStack>
#include <QUrl>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <algorithm>
#include <stdexcept>
#include <utility>
#include <vector>

namespace orvik {

namespace {

// Sizes of the layout at 96 dpi.
constexpr int kPanelWidth = 252;
constexpr int kClientWidth = 543;
constexpr int kClientHeight = 323;
constexpr int kMinimumClientWidth = 392; // an outer width of 400 with the frame
constexpr int kProgressHeight = 12;
constexpr int kFieldWidth = 43 + 16; // the text field and its spin buttons side by side
constexpr int kFieldHeight = 21;
constexpr int kRadioHeight = 16;
constexpr int kLabelGap = 3; // at least between a label and its field

// Steps the undo history keeps; older ones are dropped.
constexpr int kUndoLimit = 100;

struct FieldPlace {
    Field field;
    int labelLeft, fieldLeft, top;
};

constexpr std::array<FieldPlace, FieldCount> kFieldPlaces{{
    {Field::X1, 8, 66, 112},
    {Field::Y1, 8, 66, 133},
    {Field::X2, 8, 66, 158},
    {Field::Y2, 8, 66, 179},
    {Field::Iterations, 8, 66, 204},
    {Field::Points, 8, 66, 225},
    {Field::Inertia, 130, 189, 23},
    {Field::Viscosity, 130, 189, 44},
    {Field::Tension, 130, 189, 69},
    {Field::Rigidity, 130, 189, 90},
    {Field::Form, 130, 189, 115},
    {Field::Radius, 130, 189, 136},
    {Field::Image, 130, 189, 211},
    {Field::Threshold, 130, 189, 232},
    {Field::Gradient, 130, 189, 253},
}};

// What the status line adds to the error of an analysis whose run diverged.
constexpr const char* kDivergedAdvice =
    "The contour diverged: lower Tension or Rigidity, or raise Viscosity or Inertia. "
    "F1 \u203A Troubleshooting";

constexpr int kSeparateStep = TForm1::SeparateStep;
constexpr int kNotAStep = TForm1::NotAStep;

// The fields whose change rebuilds the initial contour; the others are force parameters.
bool changesInitialContour(Field field) {
    switch (field) {
    case Field::Points:
    case Field::X1:
    case Field::Y1:
    case Field::X2:
    case Field::Y2:
        return true;
    default:
        return false;
    }
}

// Zoom steps of View > Zoom In and Zoom Out.
constexpr std::array<double, 23> kZoomSteps{
    1.0 / 64, 1.0 / 48, 1.0 / 32, 1.0 / 24, 1.0 / 16, 1.0 / 12, 1.0 / 8, 1.0 / 6,
    1.0 / 4,  1.0 / 3,  1.0 / 2,  2.0 / 3,  1.0,      1.5,      2.0,     3.0,
    4.0,      6.0,      8.0,      12.0,     16.0,     24.0,     32.0};

QString zoomText(double zoom) {
    const double percent = zoom * 100.0;
    return QString::number(percent, 'f', percent < 10.0 ? 1 : 0) + u'%';
}

// The help button's glyph: a black question mark on light grey, 10 × 10 pixels.
QPixmap helpGlyph() {
    static constexpr std::array<const char*, 10> rows{{
        "..........",
        "...####...",
        "..##..##..",
        "......##..",
        ".....##...",
        "....##....",
        "....##....",
        "..........",
        "....##....",
        "....##....",
    }};
    QImage glyph(10, 10, QImage::Format_RGB32);
    glyph.fill(QColor(192, 192, 192));
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x)
            if (rows[y][x] == '#') glyph.setPixel(x, y, qRgb(0, 0, 0));
    return QPixmap::fromImage(glyph);
}

} // namespace

TForm1::TForm1(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("Form1"));
    if (const QScreen* s = screen()) scale_ = s->logicalDotsPerInch() / 96.0;

    setFont(panelFont());
    setWindowTitle(QStringLiteral("Orvik"));

    ClientArea = new QWidget(this);
    ClientArea->setObjectName(QStringLiteral("ClientArea"));

    ScrollBox1 = new QScrollArea(ClientArea);
    ScrollBox1->setObjectName(QStringLiteral("ScrollBox1"));
    ScrollBox1->setBackgroundRole(QPalette::Dark); // the application workspace
    ScrollBox1->setFrameShape(QFrame::NoFrame);
    ScrollBox1->setFocusPolicy(Qt::NoFocus);
    ScrollBox1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Image1 = new ImageView;
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setPicture(&image_.Display);
    ScrollBox1->setWidget(Image1);

    Panel3 = new QWidget(ClientArea);
    Panel3->setObjectName(QStringLiteral("Panel3"));
    Panel3->setFixedWidth(scaled(kPanelWidth));

    auto* layout = new QHBoxLayout(ClientArea);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(ScrollBox1, 1);
    layout->addWidget(Panel3);

    buildPanel();
    buildFields();
    buildPopupMenu();
    buildMenuBar();
    buildStatusLine();
    setFocusOrder();

    // The menu bar on top, the client area as it always was, the status line at the bottom.
    auto* frame = new QVBoxLayout(this);
    frame->setContentsMargins(0, 0, 0, 0);
    frame->setSpacing(0);
    frame->setMenuBar(MenuBar);
    frame->addWidget(ClientArea, 1);
    frame->addWidget(StatusLine);

    LoadImageDialog = new LoadImageFileDialog(this);
    LoadImageDialog->setObjectName(QStringLiteral("LoadImageDialog"));

    popupOpener_ = [](QMenu& menu, QPoint globalPosition) { menu.exec(globalPosition); };

    UndoStack = new QUndoStack(this);
    UndoStack->setObjectName(QStringLiteral("UndoStack"));
    // A step keeps two copies of the contour model, each with its step scratch (a few hundred
    // kilobytes), so the history is bounded: the oldest steps are dropped.
    UndoStack->setUndoLimit(kUndoLimit);

    // The window grows by the menu bar and the status line; the client area keeps its size.
    ClientArea->setMinimumSize(scaled(kMinimumClientWidth), scaled(kClientHeight));
    resize(scaled(kClientWidth), scaled(kClientHeight) + frameExtraHeight());
    if (const QScreen* s = screen()) move(s->availableGeometry().center() - rect().center());

    bindEngine();
    connectControls();
    connectMenuBar();
    connectResultItems();
    applyEnablingRules();
}

TForm1::~TForm1() {
    // The stack clears itself as it goes, and nothing is left to enable then.
    UndoStack->disconnect(this);
    // The engine must not read this window's fields once they are gone.
    BindImage({});
    SetRunHooks({});
}

int TForm1::scaled(int pixelsAt96Dpi) const {
    return qRound(pixelsAt96Dpi * scale_);
}

// The system's sans serif at 11 pixels. The panel's places were measured for a narrow font;
// a wider one is condensed just enough for every caption to fit beside its neighbour.
QFont TForm1::panelFont() const {
    QFont font(QStringLiteral("Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(scaled(11));

    const QStyle* s = style();
    const int radioMark = s->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth) +
                          s->pixelMetric(QStyle::PM_RadioButtonLabelSpacing);
    const int checkMark =
        s->pixelMetric(QStyle::PM_IndicatorWidth) + s->pixelMetric(QStyle::PM_CheckBoxLabelSpacing);
    struct Caption {
        QString text;
        int room;
    };
    std::vector<Caption> captions{
        {QStringLiteral("Center point"), scaled(105) - radioMark},
        {QStringLiteral("Black on white"), scaled(99) - radioMark},
        {QStringLiteral("White on black"), scaled(99) - radioMark},
        {QStringLiteral("Instant analysis"), scaled(101) - checkMark},
    };
    for (const FieldPlace& where : kFieldPlaces)
        captions.push_back({QString::fromLatin1(fieldInfo(where.field).label),
                            scaled(where.fieldLeft - where.labelLeft - kLabelGap)});

    double fits = 1.0;
    const QFontMetrics metrics(font);
    for (const Caption& caption : captions) {
        const int width = metrics.horizontalAdvance(caption.text);
        if (width > caption.room) fits = std::min(fits, double(caption.room) / width);
    }
    if (fits < 1.0) font.setStretch(std::clamp(static_cast<int>(fits * 100), 50, 99));
    return font;
}

void TForm1::buildPanel() {
    const auto place = [this](QWidget* w, int left, int top, int width, int height) {
        w->setGeometry(scaled(left), scaled(top), scaled(width), scaled(height));
    };

    Button1 = new QPushButton(QStringLiteral("Load Image"), Panel3);
    Button1->setObjectName(QStringLiteral("Button1"));
    place(Button1, 4, 4, 120, 21);

    SpeedButton1 = new QToolButton(Panel3);
    SpeedButton1->setObjectName(QStringLiteral("SpeedButton1"));
    SpeedButton1->setIcon(helpGlyph());
    SpeedButton1->setIconSize(QSize(10, 10));
    SpeedButton1->setAutoRaise(true);
    SpeedButton1->setToolTip(QStringLiteral("Help"));
    SpeedButton1->setFocusPolicy(Qt::NoFocus);
    place(SpeedButton1, 234, 2, 16, 15);

    GroupBox1 = new QGroupBox(QStringLiteral("Model"), Panel3);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    place(GroupBox1, 6, 28, 117, 78);
    const auto radio = [this, &place](QGroupBox* group, const char* name, const char* text,
                                      int left, int top, int width) {
        auto* button = new QRadioButton(QString::fromLatin1(text), group);
        button->setObjectName(QString::fromLatin1(name));
        place(button, left, top, width, kRadioHeight);
        return button;
    };
    RadioButton1 = radio(GroupBox1, "RadioButton1", "Center point", 8, 13, 105);
    RadioButton2 = radio(GroupBox1, "RadioButton2", "Standard", 8, 28, 105);
    RadioButton3 = radio(GroupBox1, "RadioButton3", "Balloon", 8, 45, 105);
    RadioButton4 = radio(GroupBox1, "RadioButton4", "Opened", 8, 61, 105);
    RadioButton1->setChecked(true);

    Button2 = new QPushButton(QStringLiteral("Analysis"), Panel3);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button2->setEnabled(false);
    place(Button2, 4, 250, 120, 21);

    CheckBox1 = new QCheckBox(QStringLiteral("Instant analysis"), Panel3);
    CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
    place(CheckBox1, 4, 273, 101, 17);

    GroupBox2 = new QGroupBox(QStringLiteral("Object"), Panel3);
    GroupBox2->setObjectName(QStringLiteral("GroupBox2"));
    place(GroupBox2, 130, 158, 118, 50);
    RadioButton5 = radio(GroupBox2, "RadioButton5", "Black on white", 9, 14, 99);
    RadioButton6 = radio(GroupBox2, "RadioButton6", "White on black", 9, 29, 99);
    RadioButton5->setChecked(true);

    Label16 = new QLabel(QStringLiteral("Orvik"), Panel3);
    Label16->setObjectName(QStringLiteral("Label16"));
    QFont productFont = font();
    productFont.setBold(true);
    productFont.setPixelSize(scaled(17));
    Label16->setFont(productFont);
    QPalette navy = Label16->palette();
    navy.setColor(QPalette::WindowText, QColor(0, 0, 128));
    Label16->setPalette(navy);
    Label16->move(scaled(108), scaled(271));
    Label16->adjustSize();

    Label17 = new QLabel(QStringLiteral("Active contour segmentation"), Panel3);
    Label17->setObjectName(QStringLiteral("Label17"));
    QFont creditFont = font();
    creditFont.setBold(true);
    creditFont.setPixelSize(scaled(11));
    Label17->setFont(creditFont);
    QPalette blue = Label17->palette();
    blue.setColor(QPalette::WindowText, QColor(0, 0, 255));
    Label17->setPalette(blue);
    Label17->move(scaled(19), scaled(292));
    Label17->adjustSize();

    ProgressBar1 = new StepProgressBar(Panel3);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    place(ProgressBar1, 0, kClientHeight - kProgressHeight, kPanelWidth, kProgressHeight);

    Panel3->resize(scaled(kPanelWidth), scaled(kClientHeight));
    Panel3->installEventFilter(this);
}

void TForm1::buildFields() {
    for (const FieldPlace& where : kFieldPlaces) {
        const FieldInfo& entry = fieldInfo(where.field);
        auto* field = new SpinField(Panel3);
        field->setObjectName(QString::fromLatin1(entry.upDownName));
        field->edit()->setObjectName(QString::fromLatin1(entry.editName));
        field->setRange(entry.minimum, entry.maximum);
        field->setSingleStep(entry.increment);
        field->setValue(entry.defaultValue);
        field->setAccessibleName(QString::fromLatin1(entry.label));
        field->setGeometry(scaled(where.fieldLeft), scaled(where.top), scaled(kFieldWidth),
                           scaled(kFieldHeight));
        fields_[static_cast<std::size_t>(where.field)] = field;
        showFieldRange(where.field);

        // Label1 belongs to Edit1, and so on.
        const QString ordinal = QString::fromLatin1(entry.editName).mid(4);
        auto* label = new QLabel(QString::fromLatin1(entry.label), Panel3);
        label->setObjectName(QStringLiteral("Label") + ordinal);
        label->setBuddy(field);
        label->move(scaled(where.labelLeft), scaled(where.top + 2));
        label->adjustSize();
    }
}

// The tooltip says what the number means and which numbers the field takes.
void TForm1::showFieldRange(Field field) {
    const FieldInfo& entry = fieldInfo(field);
    SpinField* spin = upDown(field);
    const QString name = QString::fromLatin1(entry.label).remove(QStringLiteral(" =")).trimmed();
    spin->setToolTip(QStringLiteral("%1: %2 to %3 %4")
                         .arg(name, locale().toString(spin->minimum()),
                              locale().toString(spin->maximum()), QString::fromLatin1(entry.unit)));
}

void TForm1::buildPopupMenu() {
    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    const auto entry = [this](const char* name, const char* text) {
        QAction* action = PopupMenu1->addAction(QString::fromLatin1(text));
        action->setObjectName(QString::fromLatin1(name));
        return action;
    };
    Setrad1 = entry("Setrad1", "Set radius");
    Setobj = entry("Setobj", "Set object");
    Setthr = entry("Setthr", "Set threshold");
    N1 = PopupMenu1->addSeparator();
    N1->setObjectName(QStringLiteral("N1"));
    Setall = entry("Setall", "Set them all");
}

void TForm1::buildMenuBar() {
    MenuBar = new QMenuBar(this);
    MenuBar->setObjectName(QStringLiteral("MenuBar"));
    MenuBar->setAccessibleName(QStringLiteral("Menu bar"));
    MenuBar->setNativeMenuBar(false); // always in the window, above the client area

    const auto menu = [this](const char* name, const QString& title) {
        QMenu* m = MenuBar->addMenu(title);
        m->setObjectName(QString::fromLatin1(name));
        m->setAccessibleName(QString(title).remove(u'&'));
        return m;
    };
    // An item with its caption, shortcut and accessible name (the caption without its
    // mnemonic and its ellipsis).
    const auto item = [this](QMenu* m, const char* name, const QString& text,
                             const QKeySequence& shortcut = {}) {
        QAction* action = m->addAction(text);
        action->setObjectName(QString::fromLatin1(name));
        if (!shortcut.isEmpty()) action->setShortcut(shortcut);
        action->setShortcutContext(Qt::WindowShortcut);
        QString spoken = QString(text).remove(u'&');
        spoken.remove(QChar(0x2026));
        action->setData(spoken);
        action->setToolTip(spoken);
        action->setStatusTip(spoken);
        return action;
    };
    const QString ellipsis(QChar(0x2026));

    FileMenu = menu("FileMenu", QStringLiteral("&File"));
    LoadImageAction = item(FileMenu, "LoadImageAction", QStringLiteral("&Load Image") + ellipsis,
                           QKeySequence(Qt::CTRL | Qt::Key_O));
    OpenRecentMenu = FileMenu->addMenu(QStringLiteral("Open &Recent"));
    OpenRecentMenu->setObjectName(QStringLiteral("OpenRecentMenu"));
    OpenRecentMenu->setAccessibleName(QStringLiteral("Open Recent"));
    FileMenu->addSeparator();
    SaveContourAction =
        item(FileMenu, "SaveContourAction", QStringLiteral("&Save contour as") + ellipsis,
             QKeySequence(Qt::CTRL | Qt::Key_S));
    SaveMaskAction = item(FileMenu, "SaveMaskAction", QStringLiteral("Save &mask") + ellipsis);
    SaveOverlayAction =
        item(FileMenu, "SaveOverlayAction", QStringLiteral("Save &overlay") + ellipsis);
    LoadSettingsAction =
        item(FileMenu, "LoadSettingsAction", QStringLiteral("Load se&ttings") + ellipsis);
    FileMenu->addSeparator();
    QuitAction =
        item(FileMenu, "QuitAction", QStringLiteral("&Quit"), QKeySequence(Qt::CTRL | Qt::Key_Q));

    EditMenu = menu("EditMenu", QStringLiteral("&Edit"));
    UndoAction =
        item(EditMenu, "UndoAction", QStringLiteral("&Undo"), QKeySequence(Qt::CTRL | Qt::Key_Z));
    RedoAction = item(EditMenu, "RedoAction", QStringLiteral("&Redo"),
                      QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));
    EditMenu->addSeparator();
    CopyAction =
        item(EditMenu, "CopyAction", QStringLiteral("&Copy"), QKeySequence(Qt::CTRL | Qt::Key_C));

    ViewMenu = menu("ViewMenu", QStringLiteral("&View"));
    ZoomInAction = item(ViewMenu, "ZoomInAction", QStringLiteral("Zoom &In"));
    // Ctrl++ on keyboards where plus is shifted, Ctrl+= where it is not.
    ZoomInAction->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal)});
    ZoomOutAction = item(ViewMenu, "ZoomOutAction", QStringLiteral("Zoom &Out"),
                         QKeySequence(Qt::CTRL | Qt::Key_Minus));
    FitAction =
        item(ViewMenu, "FitAction", QStringLiteral("&Fit"), QKeySequence(Qt::CTRL | Qt::Key_0));
    ActualSizeAction = item(ViewMenu, "ActualSizeAction", QStringLiteral("&1:1"),
                            QKeySequence(Qt::CTRL | Qt::Key_1));
    ActualSizeAction->setData(QStringLiteral("Actual size"));
    ViewMenu->addSeparator();
    ShowThresholdAction = item(ViewMenu, "ShowThresholdAction", QStringLiteral("Show &threshold"));
    ShowThresholdAction->setCheckable(true);
    ShowThresholdAction->setChecked(false);

    AnalysisMenu = menu("AnalysisMenu", QStringLiteral("&Analysis"));
    AnalysisAction =
        item(AnalysisMenu, "AnalysisAction", QStringLiteral("&Analysis"), QKeySequence(Qt::Key_F5));
    InstantAnalysisAction =
        item(AnalysisMenu, "InstantAnalysisAction", QStringLiteral("&Instant analysis"));
    InstantAnalysisAction->setCheckable(true);
    InstantAnalysisAction->setChecked(CheckBox1->isChecked());

    HelpMenu = menu("HelpMenu", QStringLiteral("&Help"));
    ManualAction =
        item(HelpMenu, "ManualAction", QStringLiteral("&Manual"), QKeySequence(Qt::Key_F1));
    AboutAction = item(HelpMenu, "AboutAction", QStringLiteral("&About Orvik"));
}

void TForm1::buildStatusLine() {
    StatusLine = new QWidget(this);
    StatusLine->setObjectName(QStringLiteral("StatusLine"));
    StatusLine->setAccessibleName(QStringLiteral("Status line"));
    auto* layout = new QHBoxLayout(StatusLine);
    layout->setContentsMargins(scaled(4), scaled(2), scaled(4), scaled(2));
    layout->setSpacing(scaled(8));

    MeasurementsLabel = new QLabel(StatusLine);
    MeasurementsLabel->setObjectName(QStringLiteral("MeasurementsLabel"));
    MeasurementsLabel->setAccessibleName(QStringLiteral("Measurements"));
    MeasurementsLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    MeasurementsLabel->setMinimumWidth(0);
    MeasurementsLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);

    ZoomLabel = new QLabel(StatusLine);
    ZoomLabel->setObjectName(QStringLiteral("ZoomLabel"));
    ZoomLabel->setAccessibleName(QStringLiteral("Zoom"));
    ZoomLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    layout->addWidget(MeasurementsLabel, 1);
    layout->addWidget(ZoomLabel);
    // The line keeps its height whether or not it holds text.
    StatusLine->setFixedHeight(QFontMetrics(font()).height() + scaled(4));
}

double TForm1::zoom() const {
    return Image1->zoom();
}

void TForm1::setZoom(double zoom, std::optional<QPoint> anchor) {
    zoom = std::clamp(zoom, kZoomSteps.front(), kZoomSteps.back());
    QWidget* viewport = ScrollBox1->viewport();
    const QPoint at = anchor.value_or(viewport->rect().center());
    // The image point under the anchor, before and after.
    const double old = Image1->zoom();
    const QPointF imagePoint = QPointF(at - Image1->pos()) / old;
    Image1->setZoom(zoom);
    const QPointF shown = imagePoint * zoom - QPointF(at);
    ScrollBox1->horizontalScrollBar()->setValue(qRound(shown.x()));
    ScrollBox1->verticalScrollBar()->setValue(qRound(shown.y()));
    showZoom();
}

void TForm1::zoomIn() {
    const double now = zoom();
    const auto next = std::find_if(kZoomSteps.begin(), kZoomSteps.end(),
                                   [now](double step) { return step > now * 1.001; });
    if (next != kZoomSteps.end()) setZoom(*next);
}

void TForm1::zoomOut() {
    const double now = zoom();
    const auto next = std::find_if(kZoomSteps.rbegin(), kZoomSteps.rend(),
                                   [now](double step) { return step < now / 1.001; });
    if (next != kZoomSteps.rend()) setZoom(*next);
}

double TForm1::fitZoom() const {
    if (image_.Display.isNull()) return 1.0;
    const QSize room = ScrollBox1->maximumViewportSize();
    return std::min(double(room.width()) / image_.ImageWidth,
                    double(room.height()) / image_.ImageHeight);
}

void TForm1::zoomToFit() {
    setZoom(fitZoom());
}

// A new picture is shown pixel for pixel, so that every pixel can be reached with the mouse;
// the window grows, within the screen, to show as much of it as it can.
void TForm1::showLoadedPicture() {
    if (isVisible()) {
        if (const QScreen* s = screen()) {
            const QRect room = s->availableGeometry();
            const QSize frame = frameGeometry().size() - size();
            const QSize wanted(image_.ImageWidth + Panel3->width(),
                               std::max(image_.ImageHeight, scaled(kClientHeight)) +
                                   frameExtraHeight());
            const QSize grown = size().expandedTo(wanted).boundedTo(room.size() - frame);
            if (grown != size()) {
                resize(grown);
                // Keep the whole frame on the screen.
                QRect placed = frameGeometry();
                placed.moveRight(std::min(placed.right(), room.right()));
                placed.moveBottom(std::min(placed.bottom(), room.bottom()));
                placed.moveLeft(std::max(placed.left(), room.left()));
                placed.moveTop(std::max(placed.top(), room.top()));
                move(placed.topLeft());
                layout()->activate();
                ClientArea->layout()->activate();
            }
        }
    }
    setZoom(1.0, QPoint(0, 0));
}

// The zoom, and how to see a picture whole that is larger than the view.
void TForm1::showZoom() {
    if (image_.Display.isNull()) {
        ZoomLabel->clear();
        return;
    }
    QString text = zoomText(zoom());
    // Not when the user enlarged the picture on purpose.
    const QSize shown = Image1->size(), room = ScrollBox1->maximumViewportSize();
    if (zoom() <= 1.0 && (shown.width() > room.width() || shown.height() > room.height()))
        text = QStringLiteral("Larger than the view: Ctrl+0 fits it \u00B7 ") + text;
    ZoomLabel->setText(text);
}

int TForm1::frameExtraHeight() const {
    return MenuBar->sizeHint().height() + StatusLine->height();
}

QString TForm1::aboutText() {
    return QStringLiteral("Orvik %1\n\nActive contour segmentation: one object in a picture, "
                          "outlined by a contour that settles on its edge.")
        .arg(QStringLiteral(ORVIK_VERSION));
}

void TForm1::connectMenuBar() {
    // Items that stand for a control do exactly what the control does.
    connect(LoadImageAction, &QAction::triggered, Button1, &QPushButton::click);
    connect(AnalysisAction, &QAction::triggered, Button2, &QPushButton::click);
    connect(ManualAction, &QAction::triggered, SpeedButton1, &QToolButton::click);
    connect(InstantAnalysisAction, &QAction::triggered, CheckBox1, &QCheckBox::setChecked);
    connect(CheckBox1, &QCheckBox::toggled, InstantAnalysisAction, &QAction::setChecked);
    connect(QuitAction, &QAction::triggered, this, &QWidget::close);
    connect(UndoAction, &QAction::triggered, this,
            [this] { runCommand([this] { UndoStack->undo(); }); });
    connect(RedoAction, &QAction::triggered, this,
            [this] { runCommand([this] { UndoStack->redo(); }); });
    connect(UndoStack, &QUndoStack::canUndoChanged, this, [this] { applyEnablingRules(); });
    connect(UndoStack, &QUndoStack::canRedoChanged, this, [this] { applyEnablingRules(); });
    connect(AboutAction, &QAction::triggered, this,
            [this] { QMessageBox::about(this, QStringLiteral("About Orvik"), aboutText()); });

    connect(ZoomInAction, &QAction::triggered, this, &TForm1::zoomIn);
    connect(ZoomOutAction, &QAction::triggered, this, &TForm1::zoomOut);
    connect(FitAction, &QAction::triggered, this, &TForm1::zoomToFit);
    connect(ActualSizeAction, &QAction::triggered, this, [this] { setZoom(1.0); });
    // The threshold preview follows the threshold, the polarity and the picture.
    connect(ShowThresholdAction, &QAction::toggled, this,
            [this] { runCommand([this] { updateThresholdPreview(); }); });
    connect(upDown(Field::Threshold), &SpinField::changed, this,
            [this] { runCommand([this] { updateThresholdPreview(); }); });
    connect(RadioButton5, &QRadioButton::toggled, this,
            [this] { runCommand([this] { updateThresholdPreview(); }); });
    setAcceptDrops(true);
    rebuildRecentMenu();

    // Ctrl+wheel zooms around the pointer; the plain wheel scrolls as before.
    ScrollBox1->viewport()->installEventFilter(this);

    // Return presses a focused push button, as Space does.
    for (QPushButton* button : {Button1, Button2})
        button->installEventFilter(this);
}

void TForm1::setFocusOrder() {
    std::vector<QWidget*> order{Button1, Button2};
    for (const FieldInfo& entry : fieldTable()) // the table is in focus order
        order.push_back(upDown(entry.field));
    for (QWidget* w : {static_cast<QWidget*>(RadioButton1), static_cast<QWidget*>(RadioButton2),
                       static_cast<QWidget*>(RadioButton3), static_cast<QWidget*>(RadioButton4),
                       static_cast<QWidget*>(RadioButton5), static_cast<QWidget*>(RadioButton6),
                       static_cast<QWidget*>(CheckBox1)})
        order.push_back(w);
    for (std::size_t i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);
}

void TForm1::bindEngine() {
    BindImage({&image_.GreyData, &image_.ImageWidth, &image_.ImageHeight, &blackOnWhite_});
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
    if (watched == ScrollBox1->viewport() && event->type() == QEvent::Wheel) {
        const auto* wheel = static_cast<QWheelEvent*>(event);
        if (wheel->modifiers() & Qt::ControlModifier) {
            if (!image_.Display.isNull() && wheel->angleDelta().y() != 0) {
                const double factor = wheel->angleDelta().y() > 0 ? 1.25 : 0.8;
                setZoom(zoom() * factor, wheel->position().toPoint());
            }
            return true;
        }
    }
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

// The progress bar stays docked along the panel's bottom edge, and the product label and
// the credit line keep their distance from it; everything else stays where it is.
void TForm1::layOutPanelBottom() {
    const int bottom = Panel3->height();
    ProgressBar1->setGeometry(0, bottom - scaled(kProgressHeight), Panel3->width(),
                              scaled(kProgressHeight));
    Label16->move(Label16->x(), bottom - scaled(kClientHeight - 271));
    Label17->move(Label17->x(), bottom - scaled(kClientHeight - 292));
}

SpinField* TForm1::upDown(Field field) const {
    return fields_[static_cast<std::size_t>(field)];
}

ModelChoice TForm1::selectedModel() const {
    if (RadioButton2->isChecked()) return ModelChoice::Standard;
    if (RadioButton3->isChecked()) return ModelChoice::Balloon;
    if (RadioButton4->isChecked()) return ModelChoice::Opened;
    return ModelChoice::CenterPoint;
}

ControlValues TForm1::controlValues() const {
    ControlValues values;
    for (const FieldInfo& entry : fieldTable())
        at(values.fields, entry.field) = upDown(entry.field)->value();
    values.model = selectedModel();
    values.blackOnWhite = RadioButton5->isChecked();
    return values;
}

Box TForm1::box() const {
    return {upDown(Field::X1)->value(), upDown(Field::Y1)->value(), upDown(Field::X2)->value(),
            upDown(Field::Y2)->value()};
}

void TForm1::setPopupOpener(PopupOpener opener) {
    popupOpener_ = std::move(opener);
}

// ---- undo and redo ----

TForm1::HistoryPause::HistoryPause(TForm1& form) : form_(form) {
    ++form_.historyDepth_;
}

TForm1::HistoryPause::~HistoryPause() {
    --form_.historyDepth_;
}

WindowSnapshot TForm1::snapshot() const {
    return {controlValues(), shown_};
}

void TForm1::userChange(int step, const std::function<void()>& change) {
    if (historyDepth_ > 0) { // part of a step already under way, a load or a restore
        runCommand(change);
        return;
    }
    const WindowState before = history_;
    {
        const HistoryPause pause(*this);
        runCommand(change);
    }
    WindowSnapshot now = snapshot();
    if (now == *history_) return;
    if (step == kNotAStep) {
        // Only what is shown changed (an analysis, "Instant analysis"): the state that the
        // step before leads to, and the step after starts from, is this one now.
        *history_ = std::move(now);
        if (const int index = UndoStack->index(); index > 0)
            static_cast<WindowStep*>(const_cast<QUndoCommand*>(UndoStack->command(index - 1)))
                ->seal();
        return;
    }
    UndoStack->push(new WindowStep([this](const WindowState& state) { restore(state); }, before,
                                   std::make_shared<WindowSnapshot>(std::move(now)), step));
    // The state the history stands at: the one the current step leads to, also when the
    // step merged into the one before or undid it.
    const int index = UndoStack->index();
    if (index > 0)
        history_ = static_cast<const WindowStep*>(UndoStack->command(index - 1))->after();
    else if (UndoStack->count() > 0)
        history_ = static_cast<const WindowStep*>(UndoStack->command(0))->before();
    else
        history_ = std::make_shared<WindowSnapshot>(snapshot());
}

// Puts the controls and the drawing back and shows them again, without running anything.
void TForm1::restore(const WindowState& state) {
    const HistoryPause pause(*this);
    Dragging = 0;
    Image1->setRubberBand(std::nullopt);
    {
        const UpdatingScope guard(Updating);
        for (const FieldInfo& entry : fieldTable())
            upDown(entry.field)->setValue(at(state->controls.fields, entry.field));
        QRadioButton* models[] = {RadioButton1, RadioButton2, RadioButton3, RadioButton4};
        models[static_cast<int>(state->controls.model) - 1]->setChecked(true);
        (state->controls.blackOnWhite ? RadioButton5 : RadioButton6)->setChecked(true);
    }
    shown_ = state->shown;
    applyEnablingRules();
    if (!image_.Display.isNull()) {
        refreshDisplay(image_);
        paintShown();
        Image1->update();
    }
    history_ = state;
}

// ---- drawing ----

RasterCanvas TForm1::displayCanvas() {
    QImage& display = image_.Display;
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
}

void TForm1::showContour(bool analysed) {
    refreshDisplay(image_);
    shown_.analysed = analysed;
    drawContour();
    Image1->update();
}

// ---- commands and change propagation ----

void TForm1::Button1Click() {
    const QString path = LoadImageDialog->choose();
    if (path.isEmpty()) return;
    loadImageFile(path);
}

void TForm1::loadImageFile(const QString& path) {
    // A load is no step of its own, and the steps before it do not apply to the new picture.
    const HistoryPause pause(*this);
    {
        // A failed load leaves the guard as it found it: still set before the first image.
        const UpdatingScope guard(Updating);
        CheckBox1->setChecked(false);

        // The store refuses sides beyond 32767, so the box fields can hold every size.
        LoadedImage loaded = loadImage(path);
        image_ = std::move(loaded.image);

        Button2->setEnabled(true);
        const int width = image_.ImageWidth, height = image_.ImageHeight;
        // The maxima first, so that the new box always fits.
        upDown(Field::X1)->setMaximum(width);
        upDown(Field::X2)->setMaximum(width);
        upDown(Field::Y1)->setMaximum(height);
        upDown(Field::Y2)->setMaximum(height);
        for (const Field field : {Field::X1, Field::X2, Field::Y1, Field::Y2})
            showFieldRange(field);
        const Box& fifth = loaded.box;
        upDown(Field::X1)->setValue(fifth.x1);
        upDown(Field::Y1)->setValue(fifth.y1);
        upDown(Field::X2)->setValue(fifth.x2);
        upDown(Field::Y2)->setValue(fifth.y2);

        Image1->setZoom(1.0);
        const ControlValues geometry = controlValues();
        setWindowTitle(QStringLiteral("Orvik - ") + path);
        imagePath_ = path;
        previewContour(Kontur, geometry);
        // The display holds the fresh grey image already: no refresh before drawing.
        shown_.analysed = false;
        drawContour();
        Image1->update();
    }
    Updating = 0;
    UndoStack->clear();
    history_ = std::make_shared<WindowSnapshot>(snapshot());
    applyEnablingRules();
    showLoadedPicture();
    updateThresholdPreview();
    recentFiles_.remember(path);
    rebuildRecentMenu();
}

void TForm1::openImageFile(const QString& path) {
    userChange(NotAStep, [this, &path] { loadImageFile(path); });
}

void TForm1::openRecentFile(const QString& path) {
    if (!QFileInfo::exists(path)) {
        recentFiles_.forget(path);
        rebuildRecentMenu();
        runCommand([&path] {
            throw std::runtime_error(
                QStringLiteral("The file %1 no longer exists; it has been removed from the "
                               "recent files")
                    .arg(QDir::toNativeSeparators(path))
                    .toStdString());
        });
        return;
    }
    openImageFile(path);
}

void TForm1::rebuildRecentMenu() {
    OpenRecentMenu->clear();
    const QStringList& files = recentFiles_.files();
    for (int i = 0; i < files.size(); ++i) {
        const QString name = QFileInfo(files[i]).fileName();
        QAction* entry = OpenRecentMenu->addAction(QStringLiteral("&%1 %2").arg(
            i + 1 < 10 ? QString::number(i + 1) : QStringLiteral("1&0"), name));
        entry->setToolTip(files[i]);
        entry->setStatusTip(files[i]);
        entry->setData(files[i]);
        const QString file = files[i];
        connect(entry, &QAction::triggered, this, [this, file] { openRecentFile(file); });
    }
    OpenRecentMenu->setEnabled(!files.isEmpty());
}

QImage TForm1::thresholdTint(const GreyImage& image, int threshold, bool blackOnWhite) {
    const int width = image.ImageWidth, height = image.ImageHeight;
    QImage tint(width, height, QImage::Format_ARGB32_Premultiplied);
    const QRgb object = qPremultiply(qRgba(0, 170, 255, 120));
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<QRgb*>(tint.scanLine(y));
        const std::uint8_t* grey = image.GreyData.get() + static_cast<std::size_t>(y) * width;
        for (int x = 0; x < width; ++x) {
            // grey < threshold / 4, or above it, without rounding the quarter.
            const int quarters = 4 * grey[x];
            row[x] = (blackOnWhite ? quarters < threshold : quarters > threshold) ? object : 0;
        }
    }
    return tint;
}

void TForm1::updateThresholdPreview() {
    if (!ShowThresholdAction->isChecked() || image_.Display.isNull()) {
        Image1->setTint({});
        return;
    }
    Image1->setTint(
        thresholdTint(image_, upDown(Field::Threshold)->value(), RadioButton5->isChecked()));
}

void TForm1::dragEnterEvent(QDragEnterEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (!urls.isEmpty() && urls.first().isLocalFile()) event->acceptProposedAction();
}

void TForm1::dropEvent(QDropEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.isEmpty() || !urls.first().isLocalFile()) return;
    event->acceptProposedAction();
    openImageFile(urls.first().toLocalFile());
}

void TForm1::Button2Click() {
    ++analysisCount_;
    bool running = false;
    try {
        analyseContour(Kontur, controlValues(), [this, &running](std::int32_t maximum) {
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
    const bool loaded = !image_.Display.isNull();
    const std::pair<QAction*, bool> items[] = {
        {LoadImageAction, Button1->isEnabled()},
        {AnalysisAction, Button2->isEnabled()},
        {InstantAnalysisAction, CheckBox1->isEnabled()},
        {ManualAction, SpeedButton1->isEnabled()},
        {SaveContourAction, loaded},
        {SaveOverlayAction, loaded},
        {CopyAction, loaded},
        {LoadSettingsAction, loaded},
        {SaveMaskAction, loaded && selectedModel() != ModelChoice::Opened},
        {ZoomInAction, loaded},
        {ZoomOutAction, loaded},
        {FitAction, loaded},
        {ActualSizeAction, loaded},
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
    ++previewCount_;
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

void TForm1::Image1MouseDown(Qt::MouseButton button, int X, int Y) {
    if (button == Qt::RightButton) {
        ClickX = X;
        ClickY = Y;
        popupOpener_(*PopupMenu1, Image1->mapToGlobal(Image1->viewPoint(QPoint(X, Y))));
    } else if (button == Qt::LeftButton) {
        Dragging = 1;
        DragStartX = DragEndX = X;
        DragStartY = DragEndY = Y;
    }
}

void TForm1::Image1MouseMove(int X, int Y) {
    if (Dragging == 0) return;
    // The inverting pen: drawing the previous outline again erases it.
    RasterCanvas canvas = displayCanvas();
    canvas.setPenMode(RasterCanvas::PenMode::Invert);
    if (RadioButton4->isChecked()) {
        canvas.MoveTo(DragStartX, DragStartY);
        canvas.LineTo(DragEndX, DragEndY);
        DragEndX = X;
        DragEndY = Y;
        canvas.MoveTo(DragStartX, DragStartY);
        canvas.LineTo(DragEndX, DragEndY);
    } else {
        canvas.Ellipse(DragStartX, DragStartY, DragEndX, DragEndY);
        DragEndX = X;
        DragEndY = Y;
        canvas.Ellipse(DragStartX, DragStartY, DragEndX, DragEndY);
    }
    Image1->setRubberBand(ImageView::RubberBand{
        {DragStartX, DragStartY}, {DragEndX, DragEndY}, RadioButton4->isChecked()});
    Image1->update();
}

void TForm1::Image1MouseUp(Qt::MouseButton button, int /*X*/, int /*Y*/) {
    // The box ends where the last move was seen, not where the button went up.
    if (button != Qt::LeftButton || Dragging == 0) return;
    Dragging = 0;
    Image1->setRubberBand(std::nullopt);
    {
        const UpdatingScope guard(Updating);
        // The corners keep their order; each field holds its value to its own range.
        upDown(Field::X1)->setValue(DragStartX);
        upDown(Field::Y1)->setValue(DragStartY);
        upDown(Field::X2)->setValue(DragEndX);
        upDown(Field::Y2)->setValue(DragEndY);
    }
    InitialChange();
    drawContour();
    Image1->update();
}

// ---- popup tools ----

ToolTarget TForm1::toolTarget() {
    // Each control's own change event follows; selecting the polarity button that is
    // selected already fires nothing.
    return {
        [this](int radius) { upDown(Field::Radius)->setValue(radius); },
        [this](int threshold) { upDown(Field::Threshold)->setValue(threshold); },
        [this](bool blackOnWhite) {
            (blackOnWhite ? RadioButton5 : RadioButton6)->setChecked(true);
        },
    };
}

void TForm1::runPopupTool(Tool tool) {
    runTool(tool, {selectedModel(), box(), image_.ImageWidth, image_.ImageHeight}, ClickX, ClickY,
            toolTarget());
}

void TForm1::Setrad1Click() {
    runPopupTool(Tool::Radius);
}

void TForm1::SetthrClick() {
    runPopupTool(Tool::Threshold);
}

void TForm1::SetobjClick() {
    runPopupTool(Tool::Object);
}

void TForm1::SetallClick() {
    {
        // One analysis at the end instead of one per changed field; the guard comes back
        // as it was even when a tool fails, and then no analysis runs.
        const UpdatingScope guard(Updating);
        runPopupTool(Tool::All);
    }
    AnalysisChange();
}

} // namespace orvik
