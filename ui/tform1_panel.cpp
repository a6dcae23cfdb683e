// The main window's client area and control panel: the controls, their places and font, the
// fields with their ranges, the popup menu, the focus order, and reading and setting the
// controls' values.
#include "image_view.h"
#include "spin_field.h"
#include "step_progress_bar.h"
#include "tform1.h"
#include "tform1_layout.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QStyle>
#include <QToolButton>
#include <algorithm>
#include <array>
#include <vector>

namespace orvik {

namespace {

constexpr int kFieldWidth = 43 + 16; // the text field and its spin buttons side by side
constexpr int kFieldHeight = 21;
constexpr int kRadioHeight = 16;
constexpr int kLabelGap = 3; // at least between a label and its field

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

// The image area on the left and the panel on the right, as the window always had them.
void TForm1::buildClientArea() {
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
    Image1->setPicture(&doc_.image().Display);
    ScrollBox1->setWidget(Image1);

    Panel3 = new QWidget(ClientArea);
    Panel3->setObjectName(QStringLiteral("Panel3"));
    Panel3->setFixedWidth(scaled(sizes::PanelWidth));

    auto* layout = new QHBoxLayout(ClientArea);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(ScrollBox1, 1);
    layout->addWidget(Panel3);
}

// The inverse of controlValues(): the fields, the model and the polarity, each control's
// change event following as it changes.
void TForm1::setControlValues(const ControlValues& values) {
    QRadioButton* const models[] = {RadioButton1, RadioButton2, RadioButton3, RadioButton4};
    models[static_cast<int>(values.model) - 1]->setChecked(true);
    (values.blackOnWhite ? RadioButton5 : RadioButton6)->setChecked(true);
    for (const FieldInfo& entry : fieldTable())
        upDown(entry.field)->setValue(at(values.fields, entry.field));
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
    place(ProgressBar1, 0, sizes::ClientHeight - sizes::ProgressHeight, sizes::PanelWidth,
          sizes::ProgressHeight);

    Panel3->resize(scaled(sizes::PanelWidth), scaled(sizes::ClientHeight));
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

// The progress bar stays docked along the panel's bottom edge, and the product label and
// the credit line keep their distance from it; everything else stays where it is.
void TForm1::layOutPanelBottom() {
    const int bottom = Panel3->height();
    ProgressBar1->setGeometry(0, bottom - scaled(sizes::ProgressHeight), Panel3->width(),
                              scaled(sizes::ProgressHeight));
    Label16->move(Label16->x(), bottom - scaled(sizes::ClientHeight - 271));
    Label17->move(Label17->x(), bottom - scaled(sizes::ClientHeight - 292));
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
    return boxOf(controlValues().fields);
}

void TForm1::setBoxControls(const Box& box) {
    for (const BoxField& b : BoxFields)
        upDown(b.field)->setValue(box.*b.coordinate);
}

} // namespace orvik
