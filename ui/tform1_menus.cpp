// The main window's menu bar and status line: the items and their shortcuts, what the View
// menu shows (the zoom, the threshold tint) and how a new picture is first shown.
#include "command_guard.h"
#include "image_view.h"
#include "spin_field.h"
#include "tform1.h"
#include "tform1_layout.h"
#include "threshold_tint.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QToolButton>
#include <QUndoStack>
#include <algorithm>

namespace orvik {

namespace {

QString zoomText(double zoom) {
    const double percent = zoom * 100.0;
    return QString::number(percent, 'f', percent < 10.0 ? 1 : 0) + u'%';
}

} // namespace

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
    const auto item = [this](QMenu* m, const char* name, const QString& text,
                             const QKeySequence& shortcut = {}) {
        return menuItem(m, name, text, shortcut);
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

QAction* TForm1::menuItem(QMenu* menu, const char* name, const QString& text,
                          const QKeySequence& shortcut, QAction* before) {
    auto* action = new QAction(text, menu);
    menu->insertAction(before, action); // appended when `before` is null
    action->setObjectName(QString::fromLatin1(name));
    if (!shortcut.isEmpty()) action->setShortcut(shortcut);
    action->setShortcutContext(Qt::WindowShortcut);
    QString spoken = QString(text).remove(u'&');
    spoken.remove(QChar(0x2026));
    action->setData(spoken);
    action->setToolTip(spoken);
    action->setStatusTip(spoken);
    return action;
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

    connect(ZoomInAction, &QAction::triggered, Image1, &ImageView::zoomIn);
    connect(ZoomOutAction, &QAction::triggered, Image1, &ImageView::zoomOut);
    connect(FitAction, &QAction::triggered, Image1, &ImageView::zoomToFit);
    connect(ActualSizeAction, &QAction::triggered, Image1, [this] { Image1->zoomAround(1.0); });
    connect(Image1, &ImageView::zoomChanged, this, &TForm1::showZoom);
    // The threshold preview follows the threshold, the polarity and the picture.
    connect(ShowThresholdAction, &QAction::toggled, this,
            [this] { runCommand([this] { updateThresholdPreview(); }); });
    connect(upDown(Field::Threshold), &SpinField::changed, this,
            [this] { runCommand([this] { updateThresholdPreview(); }); });
    connect(RadioButton5, &QRadioButton::toggled, this,
            [this] { runCommand([this] { updateThresholdPreview(); }); });
    setAcceptDrops(true);
    rebuildRecentMenu();

    // The zoom's hint follows the room the view has.
    ScrollBox1->viewport()->installEventFilter(this);

    // Return presses a focused push button, as Space does.
    for (QPushButton* button : {Button1, Button2})
        button->installEventFilter(this);
}

QString TForm1::aboutText() {
    return QStringLiteral("Orvik %1\n\nActive contour segmentation: one object in a picture, "
                          "outlined by a contour that settles on its edge.")
        .arg(QCoreApplication::applicationVersion());
}

// A new picture is shown pixel for pixel, so that every pixel can be reached with the mouse;
// the window grows, within the screen, to show as much of it as it can.
void TForm1::showLoadedPicture() {
    if (isVisible()) {
        if (const QScreen* s = screen()) {
            const QRect room = s->availableGeometry();
            const QSize frame = frameGeometry().size() - size();
            const QSize wanted(image_.ImageWidth + Panel3->width(),
                               std::max(image_.ImageHeight, scaled(sizes::ClientHeight)) +
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
    Image1->zoomAround(1.0, QPoint(0, 0));
}

// The zoom, and how to see a picture whole that is larger than the view.
void TForm1::showZoom() {
    if (image_.Display.isNull()) {
        ZoomLabel->clear();
        return;
    }
    const double zoom = Image1->zoom();
    QString text = zoomText(zoom);
    // Not when the user enlarged the picture on purpose.
    const QSize shown = Image1->size(), room = ScrollBox1->maximumViewportSize();
    if (zoom <= 1.0 && (shown.width() > room.width() || shown.height() > room.height()))
        text = QStringLiteral("Larger than the view: Ctrl+0 fits it \u00B7 ") + text;
    ZoomLabel->setText(text);
}

int TForm1::frameExtraHeight() const {
    // The menu bar's height as the window's layout gives it: its height for the window's
    // width, a pixel above its size hint in some styles at a fractional scale.
    const int menu = MenuBar->heightForWidth(std::max(width(), MenuBar->minimumWidth()));
    return (menu > 0 ? menu : MenuBar->sizeHint().height()) + StatusLine->height();
}

void TForm1::updateThresholdPreview() {
    if (!ShowThresholdAction->isChecked() || image_.Display.isNull()) {
        Image1->setTint({});
        return;
    }
    Image1->setTint(
        thresholdTint(image_, upDown(Field::Threshold)->value(), RadioButton5->isChecked()));
}

} // namespace orvik
