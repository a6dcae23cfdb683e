// The main window TForm1: the image view, the control panel and their handlers.
#pragma once

#include "core/commands.h"
#include "core/field_table.h"
#include "core/init_arguments.h"
#include "core/measurements.h"
#include "core/picture_units.h"
#include "core/result.h"
#include "document/document.h"
#include "document/find_objects.h"
#include "document/follow.h"
#include "document/objects.h"
#include "grey_image.h"
#include "picture_stack.h"
#include "recent_files.h"
#include "result_file_dialog.h"
#include "window_history.h"

#include <QPoint>
#include <QWidget>
#include <array>
#include <cstdint>
#include <functional>
#include <optional>

class QAction;
class QCheckBox;
class QGroupBox;
class QLabel;
class QMenu;
class QMenuBar;
class QPushButton;
class QRadioButton;
class QScrollArea;
class QSlider;
class QToolButton;
class QUndoStack;

namespace orvik {

class FindObjectsDialog;
class ImageView;
class LoadImageFileDialog;
class ObjectsPanel;
class RasterCanvas;
class SpinField;
class StepProgressBar;

class TForm1 : public QWidget {
    Q_OBJECT
public:
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    // Commands and change handlers. Each runs to its end or throws; the control events
    // reach them through runCommand, which hands an error to the general error handler.
    void Button1Click();   // "Load Image": the dialog, then loadImageFile
    void Button2Click();   // "Analysis"
    void InitialChange();  // the model, the point count or the box changed
    void AnalysisChange(); // a force parameter, the polarity or "Instant analysis" changed
    void SpeedButton1Click();

    // "Load Image" after its dialog has returned `path`. A TIFF file opens as frames; with
    // `folderAsFrames`, a folder of numbered pictures does too (File › Open frames…, a folder
    // named on the command line or dropped); otherwise a folder is no picture.
    void loadImageFile(const QString& path, bool folderAsFrames = false);
    // Loads `path` as "Load Image" does after its dialog, as one command whose failure shows
    // the same error box: a file named on the command line, dropped on the window or chosen
    // from File > Open Recent.
    void openImageFile(const QString& path);
    // Opens a File > Open Recent entry; one whose file is gone is removed, with a message.
    void openRecentFile(const QString& path);

    // Mouse handlers of the image view; X and Y are image pixels.
    void Image1MouseDown(Qt::MouseButton button, int X, int Y);
    void Image1MouseMove(int X, int Y);
    void Image1MouseUp(Qt::MouseButton button, int X, int Y);

    // The popup tools.
    void Setrad1Click();
    void SetthrClick();
    void SetobjClick();
    void SetallClick();

    // The results items: File › Save contour as… (the format by the file's extension, else by
    // the file type chosen), Save mask…, Save overlay…, Load settings…, and Edit › Copy.
    void SaveContourClick();
    void SaveMaskClick();
    void SaveOverlayClick();
    void LoadSettingsClick();
    void CopyClick();
    // Load settings… after its dialog has returned `path`: model, polarity, box and fields
    // from a saved Orvik JSON, then one preview or, with "Instant analysis", one analysis. A
    // file that cannot be used throws and changes nothing.
    void loadSettingsFile(const QString& path);

    // The Analysis menu's object items. "Add to objects" keeps the contour shown as a new
    // object, and the contour stays free of it. "Find objects…" seeds an object on every
    // region the dialog finds and analyses them. "Delete object" removes the current object
    // and makes the next one current; "Clear objects" empties the list; "Analyse all" runs
    // every object on all cores. Each is one undo step.
    void AddObjectClick();
    void FindObjectsClick();
    void findObjects(const FindOptions& options, bool replace, bool dropFlagged,
                     ModelChoice model = ModelChoice::CenterPoint);
    void DeleteObjectClick();
    void ClearObjectsClick();
    void AnalyseAllClick();
    // "Add by clicking": a click at (X, Y) on an object seeds an object on the region under
    // it as Find objects does, analyses it and adds it as the current object.
    void addObjectAt(int X, int Y);
    // Makes the object `id` current (0: none, the contour is free): its values go into the
    // controls and its drawing onto the picture; nothing runs.
    void chooseObject(int id);
    // File › "Save objects as…" (RoiSet, FeatureCollection, table, labels, Orvik JSON by the
    // file's extension, else by the file type chosen) and "Open objects…": a saved list
    // replaces the objects, each analysed from its own settings (a RoiSet's outlines are
    // kept as they are). A file that cannot be used throws and changes nothing.
    void SaveObjectsClick();
    void OpenObjectsClick();
    void openObjectsFile(const QString& path);
    const ObjectList& objects() const { return doc_.objects(); }

    // Frames: a multi-page TIFF file or a folder of numbered pictures opens as frames, shown
    // one at a time through the stack's display range; the slider under the picture, "," and
    // "." step through them. The contour and the objects are analysed on the frame shown.
    void showFrame(int frame);
    int frame() const { return doc_.frame(); }
    int frameCount() const;
    const PictureStack& stack() const { return doc_.stack(); }
    // Analysis › "Follow through frames": every object (the contour alone when there is
    // none) from the frame shown to the last, each frame's analysis starting from the
    // contour the frame before left; Esc or Cancel stops between two frames, and the frames
    // done keep their results. One undo step.
    void FollowClick();
    // File › "Open frames…": a folder of numbered pictures.
    void OpenFramesClick();
    // View › "Display range…": the grey levels 0 and 255 of a 16-bit picture.
    void DisplayRangeClick();
    void setDisplayRange(DisplayRange range);
    const std::vector<Track>& tracks() const;
    int currentObject() const { return doc_.currentId(); }
    // Runs the modal Find objects dialog; tests replace it.
    using FindDialogRunner = std::function<bool(FindObjectsDialog& dialog)>;
    void setFindDialogRunner(FindDialogRunner runner);

    // The contour model's current contour with the context it was last drawn in: the image
    // file and the controls.
    ContourResult currentResult() const;

    // The results items' file dialogs; tests replace them.
    void setFileChooser(FileChooser chooser);

    // The numeric fields: the spin control (UpDownN) holds the value; its line edit is the
    // text field (EditN).
    SpinField* upDown(Field field) const;

    const GreyImage& image() const { return doc_.image(); }
    const Document& document() const { return doc_; }
    // Everything an analysis would read from the controls now.
    ControlValues controlValues() const;
    // Sets the controls to `values`; each control's change event follows as it changes.
    void setControlValues(const ControlValues& values);
    ModelChoice selectedModel() const;

    // The height that the menu bar and the status line add to the client area.
    int frameExtraHeight() const;

    // The text of Help > About Orvik: the program, its version and what it does.
    static QString aboutText();

    // Opens the popup menu at a screen position; tests replace the modal menu.
    using PopupOpener = std::function<void(QMenu& menu, QPoint globalPosition)>;
    void setPopupOpener(PopupOpener opener);

    // Window state, named as the handlers use it.
    int Updating = 1; // the updating guard: set from creation until the first good load
    std::int32_t ClickX = 0, ClickY = 0;
    int Dragging = 0;
    std::int32_t DragStartX = 0, DragStartY = 0, DragEndX = 0, DragEndY = 0;

    // Controls, named by kind and ordinal.
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;
    QToolButton* SpeedButton1 = nullptr;
    QGroupBox* GroupBox1 = nullptr;
    QGroupBox* GroupBox2 = nullptr;
    QRadioButton* RadioButton1 = nullptr;
    QRadioButton* RadioButton2 = nullptr;
    QRadioButton* RadioButton3 = nullptr;
    QRadioButton* RadioButton4 = nullptr;
    QRadioButton* RadioButton5 = nullptr;
    QRadioButton* RadioButton6 = nullptr;
    QCheckBox* CheckBox1 = nullptr;
    QLabel* Label16 = nullptr;
    QLabel* Label17 = nullptr;
    StepProgressBar* ProgressBar1 = nullptr;
    QWidget* Panel3 = nullptr;
    QScrollArea* ScrollBox1 = nullptr;
    ImageView* Image1 = nullptr;
    QMenu* PopupMenu1 = nullptr;
    QAction* Setrad1 = nullptr;
    QAction* Setobj = nullptr;
    QAction* Setthr = nullptr;
    QAction* N1 = nullptr;
    QAction* Setall = nullptr;
    LoadImageFileDialog* LoadImageDialog = nullptr;

    // The menu bar above the client area, which holds the image and the panel as before.
    QMenuBar* MenuBar = nullptr;
    QWidget* ClientArea = nullptr;
    QMenu* FileMenu = nullptr;
    QAction* LoadImageAction = nullptr;
    QMenu* OpenRecentMenu = nullptr;
    QAction* SaveContourAction = nullptr;
    QAction* SaveMaskAction = nullptr;
    QAction* SaveOverlayAction = nullptr;
    QAction* LoadSettingsAction = nullptr;
    QAction* QuitAction = nullptr;
    QMenu* EditMenu = nullptr;
    QAction* UndoAction = nullptr;
    QAction* RedoAction = nullptr;
    QAction* CopyAction = nullptr;
    QMenu* ViewMenu = nullptr;
    QAction* ZoomInAction = nullptr;
    QAction* ZoomOutAction = nullptr;
    QAction* FitAction = nullptr;
    QAction* ActualSizeAction = nullptr;
    QAction* ShowThresholdAction = nullptr;
    QMenu* AnalysisMenu = nullptr;
    QAction* AnalysisAction = nullptr;
    QAction* InstantAnalysisAction = nullptr;
    QAction* AddObjectAction = nullptr;
    QAction* FindObjectsAction = nullptr;
    QAction* AddByClickingAction = nullptr;
    QAction* DeleteObjectAction = nullptr;
    QAction* ClearObjectsAction = nullptr;
    QAction* AnalyseAllAction = nullptr;
    QAction* ShowObjectsAction = nullptr;
    QAction* SaveObjectsAction = nullptr;
    QAction* OpenFramesAction = nullptr;
    QAction* FollowAction = nullptr;
    QAction* NextFrameAction = nullptr;
    QAction* PreviousFrameAction = nullptr;
    QAction* DisplayRangeAction = nullptr;
    // View › Channel: what the grey of a colour picture is made of.
    QMenu* ChannelMenu = nullptr;
    std::array<QAction*, 4> ChannelActions{}; // grey, red, green, blue
    void setChannel(Channel channel);
    // Analysis › "Set scale…": the size of a pixel and its unit, instead of the file's.
    QAction* SetScaleAction = nullptr;
    void SetScaleClick();
    // File › "Save frames to folder…": after Follow through frames, every frame's objects in
    // every list format (the table with a frame column, the RoiSet with each ROI on its frame,
    // the FeatureCollection, the JSON a line per frame, labels) and the Cell Tracking
    // Challenge layout, into a folder.
    QAction* SaveFramesAction = nullptr;
    void SaveFramesClick();
    void saveFramesTo(const QString& folder);
    void setScale(std::optional<Calibration> scale);
    // The units the measurements are in: the scale set, else the file's calibration.
    PictureUnits units() const;
    // Under the picture while a stack is open: the frame slider and which frame it shows.
    QWidget* FramesBar = nullptr;
    QSlider* FrameSlider = nullptr;
    QLabel* FrameLabel = nullptr;
    // In the status line: the pixel under the pointer and its value in the picture's units.
    QLabel* PointerLabel = nullptr;
    QAction* OpenObjectsAction = nullptr;

    // Below the picture and the panel, hidden until the first object exists.
    ObjectsPanel* ObjectsPanel1 = nullptr;
    QMenu* HelpMenu = nullptr;
    QAction* ManualAction = nullptr;
    QAction* AboutAction = nullptr;

    // Edit > Undo and Redo: one step per user change of the box, a field, the model, the
    // polarity, a popup tool or "Set them all"; a load clears it.
    QUndoStack* UndoStack = nullptr;

    // The status line under the image and the panel.
    QWidget* StatusLine = nullptr;
    QLabel* MeasurementsLabel = nullptr;
    QLabel* ZoomLabel = nullptr;

signals:
    void helpRequested();
    // A preview (`analysed` false) or an analysis has drawn a new contour.
    void contourShown(bool analysed);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    // A file dropped on the window loads as through the dialog.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void buildClientArea();
    void buildPanel();
    void buildFields();
    void buildPopupMenu();
    // The menu bar, each menu built whole in one place.
    void buildMenuBar();
    QMenu* addMenu(const char* name, const QString& title);
    void buildFileMenu();
    void buildEditMenu();
    void buildViewMenu();
    void buildAnalysisMenu();
    void buildHelpMenu();
    // An item of `menu` (before `before`, else at its end) with its caption, shortcut and
    // accessible name: the caption without its mnemonic and its ellipsis.
    QAction* menuItem(QMenu* menu, const char* name, const QString& text,
                      const QKeySequence& shortcut = {}, QAction* before = nullptr);
    void buildStatusLine();
    void connectMenuBar();
    void setFocusOrder();
    void connectControls();
    void layOutPanelBottom();
    void bindEngine();

    void applyEnablingRules();
    void showFieldRange(Field field);

    // The objects of the picture.
    void buildObjectsPanel();
    void connectObjectItems();
    // The list changed as a whole: the table, the outlines and the items follow.
    void objectsChanged();
    // The current object takes the controls and the drawing shown; its row follows.
    void keepCurrentObject();
    void showObjectOutlines();
    void showObjectsPanel(bool show);
    void restoreObjects(const DocumentState& state);
    QImage foundRegionsTint(const FindOptions& options, int* count) const;

    // Frames.
    void buildFramesBar();
    void connectFrameItems();
    void loadFrames(const QString& path); // a TIFF file or a folder, in place of the picture
    void takeFrameImage();                // image_ from the stack's frame shown
    void showFrameImage();                // ... and shown with the contour
    void showFrameResults();              // each object's contour on the frame shown
    void showTracks(); // the Objects panel's Tracks view and the frame slider's marks
    void showPointer(int X, int Y);

public:
    // Runs a control's command through runCommand; `step` names the undo step it makes (a
    // field's own changes merge into one step), and a change of the controls or the contour
    // is pushed as that step.
    static constexpr int SeparateStep = -1; // a step that never merges with the one before
    static constexpr int NotAStep = -2;     // a command that is not undone (an analysis, a load)
    void userChange(int step, const std::function<void()>& change);

private:
    void restore(const WindowState& state);
    WindowSnapshot snapshot() const; // what the window shows now
    // Holds back undo steps for its lifetime (a load, a restore, a step under way); when the
    // last one ends, what is shown becomes the state the next step starts from.
    class HistoryPause {
    public:
        explicit HistoryPause(TForm1& form);
        ~HistoryPause();
        HistoryPause(const HistoryPause&) = delete;
        HistoryPause& operator=(const HistoryPause&) = delete;

    private:
        TForm1& form_;
    };
    int historyDepth_ = 0;
    WindowState history_ = std::make_shared<WindowSnapshot>(); // the state shown now
    void showLoadedPicture(); // grows the window for a new picture, shown at 1:1
    void showZoom();          // the zoom in the status line
    void updateThresholdPreview();
    void rebuildRecentMenu();
    Box box() const;
    void setBoxControls(const Box& box); // X1, Y1, X2, Y2 in this order
    // Refreshes the display from the grey buffer, draws the contour model and repaints;
    // `analysed` says whether it is an analysis result or an initial contour.
    void showContour(bool analysed);
    // Draws the contour model onto the display bitmap without a refresh, and makes it what
    // is shown, still a result or an initial contour as before.
    void drawContour();
    // Draws what `shown_` holds onto the display bitmap and into the view, and shows its
    // status; runs nothing and cannot fail.
    void paintShown();
    void showStatus(); // shown_.status in the status line
    RasterCanvas displayCanvas();
    ToolTarget toolTarget();
    void runPopupTool(Tool tool);
    void connectResultItems();
    RunContext runContext() const;   // the image and the controls, as a result records them
    GreyBufferView greyView() const; // the picture as the measurements read it
    QString statusFor(const ShownContour& shown) const; // the status line's text
    FileChoice chooseFile(const FileRequest& request);
    QString suggestedPath(const char* ending) const;

    int scaled(int pixelsAt96Dpi) const;
    QFont panelFont() const;

    // The picture, its objects and their tracks: what the window shows and edits.
    Document doc_;
    StepScratch scratch_;      // what the steps of the window's analyses work in, made once
    bool blackOnWhite_ = true; // mirrors "Black on white" for the engine's sampling
    std::array<SpinField*, FieldCount> fields_{};
    PopupOpener popupOpener_;
    double scale_ = 1.0;
    ShownContour shown_; // the contour drawn on the picture, and the status line about it
    FileChooser fileChooser_;
    RecentFiles recentFiles_;
    QString lastFolder_; // where the results' file dialogs were used last

    // The controls of the free contour while an object's are shown; a new picture starts
    // from them.
    std::optional<ControlValues> freeValues_;
    FindDialogRunner findDialogRunner_;
    // How the last Find objects separated objects (its local threshold and split), which
    // Add by clicking and the next Find objects take too; split at first.
    FindOptions separating_ = [] {
        FindOptions options;
        options.split = true;
        return options;
    }();
    // The objects the last Find objects found and its rules: Follow through frames follows
    // them with detection when the list holds no other objects.
    struct FoundObjects {
        TrackingRules rules;
        std::vector<int> ids;
    };
    std::optional<FoundObjects> found_;
    QPoint pointer_{-1, -1};         // the picture pixel under the pointer, as last seen
    bool objectsPanelShown_ = false; // shown once already: the user decides from then on

    // ---- correcting a contour by hand (tform1_editing.cpp) ----
public:
    QAction* EditOutlineAction = nullptr;     // Edit › Edit outline (E), checkable
    QAction* LeaveEditAction = nullptr;       // Esc: leaves "Edit outline" or a split's line
    QAction* RelaxAction = nullptr;           // Analysis › Relax (R)
    QAction* SplitObjectAction = nullptr;     // Analysis › Split object: the next drag's line
    QAction* MergeObjectsAction = nullptr;    // Analysis › Merge objects: the rows chosen
    QAction* FollowFromFrameAction = nullptr; // Analysis › Follow from this frame
    bool editingOutline() const { return EditOutlineAction && EditOutlineAction->isChecked(); }
    double brushRadius() const { return brushRadius_; }
    void setBrushRadius(double radius);
    void RelaxClick();
    void MergeObjectsClick();
    void FollowFromFrameClick();

private:
    void buildEditingMenus();
    void connectEditing();
    // The mouse in "Edit outline" or while a split's line is drawn; false: not theirs.
    bool editMouseDown(Qt::MouseButton button, int X, int Y);
    bool editMouseMove(int X, int Y);
    bool editMouseUp(Qt::MouseButton button, int X, int Y);
    void showEditedObject(); // the current object's contour after an edit, drawn again
    void showEditHandles();  // the handles and the brush, or none outside "Edit outline"
    void relaxIfInstant();
    enum class EditDrag { None, Point, Pin, Brush, Split };
    EditDrag editDrag_ = EditDrag::None;
    int editPoint_ = -1;
    double brushRadius_ = 12;
    bool splitting_ = false;
    QPointF brushAt_{-1e9, -1e9};
};

} // namespace orvik
