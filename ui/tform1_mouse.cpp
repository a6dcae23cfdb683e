// The mouse on the image: the drag that sets the box with its rubber band, and the popup
// menu's tools.
#include "image_view.h"
#include "render/raster_canvas.h"
#include "spin_field.h"
#include "tform1.h"
#include "updating_scope.h"

#include <QMenu>
#include <QRadioButton>

namespace orvik {

void TForm1::Image1MouseDown(Qt::MouseButton button, int X, int Y) {
    if (editMouseDown(button, X, Y)) return;
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
    if (editMouseMove(X, Y)) return;
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

void TForm1::Image1MouseUp(Qt::MouseButton button, int X, int Y) {
    if (editMouseUp(button, X, Y)) return;
    // The box ends where the last move was seen, not where the button went up.
    if (button != Qt::LeftButton || Dragging == 0) return;
    Dragging = 0;
    Image1->setRubberBand(std::nullopt);
    // Adding by clicking: a click that did not move adds the object under it.
    if (AddByClickingAction->isChecked() && DragEndX == DragStartX && DragEndY == DragStartY) {
        addObjectAt(DragStartX, DragStartY);
        return;
    }
    {
        const UpdatingScope guard(Updating);
        // The corners keep their order; each field holds its value to its own range.
        setBoxControls({DragStartX, DragStartY, DragEndX, DragEndY});
    }
    InitialChange();
    drawContour();
    Image1->update();
}

void TForm1::setPopupOpener(PopupOpener opener) {
    popupOpener_ = std::move(opener);
}

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
    runTool(tool, {selectedModel(), box(), doc_.image().ImageWidth, doc_.image().ImageHeight},
            ClickX, ClickY, toolTarget());
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
