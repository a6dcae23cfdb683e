// The intro screen: a frameless picture window that stands above the main window for two
// seconds while the program starts, swallowing the input aimed at it.
#pragma once

#include <QBasicTimer>
#include <QPixmap>
#include <QPoint>
#include <QSize>
#include <QString>
#include <QWidget>

namespace orvik {

// 0: no intro has been set up yet; 1: an intro is up and its timer pending; 2: an intro's timer
// has fired. It only ever grows.
extern int IntroState;

inline constexpr int IntroDurationMs = 2000;

// The picture compiled into the program.
inline const QString DefaultIntroPicture = QStringLiteral(":/intro.bmp");

// Top-left corner of a picture centred on a screen: each difference halved toward zero, so a
// screen smaller than the picture gives a negative position.
QPoint introPosition(QSize screen, QSize picture);

class IntroWindow : public QWidget {
    Q_OBJECT
public:
    // Starts the two-second timer unless an intro's timer has already fired (IntroState 2); such
    // a window instead closes at the first key press, mouse-button press or command.
    explicit IntroWindow(const QPixmap& picture);

    bool timerPending() const { return timer_.isActive(); }

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    QPixmap picture_;
    QBasicTimer timer_;
};

// Shows the picture at `picturePath` in an intro window centred on the primary screen and paints
// it at once. Returns 0 when the intro is up; returns 1 and shows nothing when there is no screen
// or the picture can't be loaded. The window closes and deletes itself.
int ShowIntro(const QString& picturePath = DefaultIntroPicture);

} // namespace orvik
