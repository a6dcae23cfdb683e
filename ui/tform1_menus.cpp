// The main window's menu bar: each menu built whole, the items that stand for a control, and
// the About text.
#include "command_guard.h"
#include "image_view.h"
#include "spin_field.h"
#include "tform1.h"
#include "tform1_layout.h"
#include "threshold_tint.h"

#include <QActionGroup>
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

void TForm1::buildMenuBar() {
    MenuBar = new QMenuBar(this);
    MenuBar->setObjectName(QStringLiteral("MenuBar"));
    MenuBar->setAccessibleName(QStringLiteral("Menu bar"));
    MenuBar->setNativeMenuBar(false); // always in the window, above the client area
    FileMenu = addMenu("FileMenu", QStringLiteral("&File"));
    EditMenu = addMenu("EditMenu", QStringLiteral("&Edit"));
    ViewMenu = addMenu("ViewMenu", QStringLiteral("&View"));
    AnalysisMenu = addMenu("AnalysisMenu", QStringLiteral("&Analysis"));
    HelpMenu = addMenu("HelpMenu", QStringLiteral("&Help"));
    buildFileMenu();
    buildEditMenu();
    buildViewMenu();
    buildAnalysisMenu();
    buildEditingMenus();
    buildHelpMenu();
}

QMenu* TForm1::addMenu(const char* name, const QString& title) {
    QMenu* m = MenuBar->addMenu(title);
    m->setObjectName(QString::fromLatin1(name));
    m->setAccessibleName(QString(title).remove(u'&'));
    return m;
}

void TForm1::buildFileMenu() {
    QMenu* m = FileMenu;
    LoadImageAction = menuItem(m, "LoadImageAction", QStringLiteral("&Load Image\u2026"),
                               QKeySequence(Qt::CTRL | Qt::Key_O));
    OpenFramesAction = menuItem(m, "OpenFramesAction", QStringLiteral("Open &frames\u2026"));
    OpenRecentMenu = m->addMenu(QStringLiteral("Open &Recent"));
    OpenRecentMenu->setObjectName(QStringLiteral("OpenRecentMenu"));
    OpenRecentMenu->setAccessibleName(QStringLiteral("Open Recent"));
    m->addSeparator();
    SaveContourAction = menuItem(m, "SaveContourAction", QStringLiteral("&Save contour as\u2026"),
                                 QKeySequence(Qt::CTRL | Qt::Key_S));
    SaveMaskAction = menuItem(m, "SaveMaskAction", QStringLiteral("Save &mask\u2026"));
    SaveOverlayAction = menuItem(m, "SaveOverlayAction", QStringLiteral("Save &overlay\u2026"));
    LoadSettingsAction = menuItem(m, "LoadSettingsAction", QStringLiteral("Load se&ttings\u2026"));
    SaveObjectsAction = menuItem(m, "SaveObjectsAction", QStringLiteral("Save o&bjects as\u2026"));
    SaveFramesAction =
        menuItem(m, "SaveFramesAction", QStringLiteral("Save fr&ames to folder\u2026"));
    OpenObjectsAction = menuItem(m, "OpenObjectsAction", QStringLiteral("Open ob&jects\u2026"));
    m->addSeparator();
    QuitAction =
        menuItem(m, "QuitAction", QStringLiteral("&Quit"), QKeySequence(Qt::CTRL | Qt::Key_Q));
}

void TForm1::buildEditMenu() {
    QMenu* m = EditMenu;
    UndoAction =
        menuItem(m, "UndoAction", QStringLiteral("&Undo"), QKeySequence(Qt::CTRL | Qt::Key_Z));
    RedoAction = menuItem(m, "RedoAction", QStringLiteral("&Redo"),
                          QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));
    m->addSeparator();
    CopyAction =
        menuItem(m, "CopyAction", QStringLiteral("&Copy"), QKeySequence(Qt::CTRL | Qt::Key_C));
}

void TForm1::buildViewMenu() {
    QMenu* m = ViewMenu;
    ZoomInAction = menuItem(m, "ZoomInAction", QStringLiteral("Zoom &In"));
    // Ctrl++ on keyboards where plus is shifted, Ctrl+= where it is not.
    ZoomInAction->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal)});
    ZoomOutAction = menuItem(m, "ZoomOutAction", QStringLiteral("Zoom &Out"),
                             QKeySequence(Qt::CTRL | Qt::Key_Minus));
    FitAction =
        menuItem(m, "FitAction", QStringLiteral("&Fit"), QKeySequence(Qt::CTRL | Qt::Key_0));
    ActualSizeAction =
        menuItem(m, "ActualSizeAction", QStringLiteral("&1:1"), QKeySequence(Qt::CTRL | Qt::Key_1));
    ActualSizeAction->setData(QStringLiteral("Actual size"));
    m->addSeparator();
    ShowThresholdAction = menuItem(m, "ShowThresholdAction", QStringLiteral("Show &threshold"));
    ShowThresholdAction->setCheckable(true);
    ShowThresholdAction->setChecked(false);
    m->addSeparator();
    ShowObjectsAction = m->addAction(QStringLiteral("O&bjects panel"));
    ShowObjectsAction->setObjectName(QStringLiteral("ShowObjectsAction"));
    ShowObjectsAction->setData(QStringLiteral("Objects panel"));
    ShowObjectsAction->setCheckable(true);
    m->addSeparator();
    PreviousFrameAction =
        menuItem(m, "PreviousFrameAction", QStringLiteral("&Previous frame"), Qt::Key_Comma);
    NextFrameAction = menuItem(m, "NextFrameAction", QStringLiteral("&Next frame"), Qt::Key_Period);
    DisplayRangeAction = menuItem(m, "DisplayRangeAction", QStringLiteral("&Display range\u2026"));
    ChannelMenu = m->addMenu(QStringLiteral("&Channel"));
    ChannelMenu->setObjectName(QStringLiteral("ChannelMenu"));
    ChannelMenu->setAccessibleName(QStringLiteral("Channel"));
    auto* channels = new QActionGroup(ChannelMenu);
    const char* const names[] = {"&Grey", "&Red", "Gr&een", "&Blue"};
    for (int c = 0; c < 4; ++c) {
        const QByteArray objectName = "ChannelAction" + QByteArray::number(c);
        QAction* action =
            menuItem(ChannelMenu, objectName.constData(), QString::fromLatin1(names[c]));
        action->setCheckable(true);
        action->setChecked(c == 0);
        channels->addAction(action);
        ChannelActions[static_cast<std::size_t>(c)] = action;
    }
}

void TForm1::buildAnalysisMenu() {
    QMenu* m = AnalysisMenu;
    AnalysisAction =
        menuItem(m, "AnalysisAction", QStringLiteral("&Analysis"), QKeySequence(Qt::Key_F5));
    InstantAnalysisAction =
        menuItem(m, "InstantAnalysisAction", QStringLiteral("&Instant analysis"));
    InstantAnalysisAction->setCheckable(true);
    InstantAnalysisAction->setChecked(CheckBox1->isChecked());
    m->addSeparator();
    AddObjectAction = menuItem(m, "AddObjectAction", QStringLiteral("Add &to objects"), Qt::Key_T);
    FindObjectsAction = menuItem(m, "FindObjectsAction", QStringLiteral("&Find objects\u2026"),
                                 QKeySequence(Qt::CTRL | Qt::Key_F));
    AddByClickingAction = menuItem(m, "AddByClickingAction", QStringLiteral("Add by &clicking"));
    AddByClickingAction->setCheckable(true);
    DeleteObjectAction =
        menuItem(m, "DeleteObjectAction", QStringLiteral("&Delete object"), Qt::Key_Delete);
    ClearObjectsAction = menuItem(m, "ClearObjectsAction", QStringLiteral("C&lear objects"));
    AnalyseAllAction = menuItem(m, "AnalyseAllAction", QStringLiteral("A&nalyse all"),
                                QKeySequence(Qt::SHIFT | Qt::Key_F5));
    FollowAction = menuItem(m, "FollowAction", QStringLiteral("F&ollow through frames"));
    m->addSeparator();
    SetScaleAction = menuItem(m, "SetScaleAction", QStringLiteral("Set &scale\u2026"));
}

void TForm1::buildHelpMenu() {
    ManualAction =
        menuItem(HelpMenu, "ManualAction", QStringLiteral("&Manual"), QKeySequence(Qt::Key_F1));
    AboutAction = menuItem(HelpMenu, "AboutAction", QStringLiteral("&About Orvik"));
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

    connectEditing();

    // Return presses a focused push button, as Space does.
    for (QPushButton* button : {Button1, Button2})
        button->installEventFilter(this);
}

QString TForm1::aboutText() {
    return QStringLiteral("Orvik %1\n\nActive contour segmentation: one object in a picture, "
                          "outlined by a contour that settles on its edge.")
        .arg(QCoreApplication::applicationVersion());
}

} // namespace orvik
