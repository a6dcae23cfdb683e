// The intro screen: placement, the two-second timer and the input it swallows.
#include "intro_window.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QTimerEvent>

namespace orvik {

int IntroState = 0;

QPoint introPosition(QSize screen, QSize picture) {
    // Integer division truncates toward zero, also for negative differences.
    return {(screen.width() - picture.width()) / 2, (screen.height() - picture.height()) / 2};
}

IntroWindow::IntroWindow(const QPixmap& picture)
    : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      picture_(picture) {
    setObjectName(QStringLiteral("QOR_INTRO"));
    setAttribute(Qt::WA_DeleteOnClose);
    // Closing the intro must not end the program, nor may an open intro keep it running.
    setAttribute(Qt::WA_QuitOnClose, false);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setCursor(Qt::BusyCursor);
    setFixedSize(picture_.deviceIndependentSize().toSize());
    if (IntroState <= 1) timer_.start(IntroDurationMs, Qt::PreciseTimer, this);
}

bool IntroWindow::event(QEvent* event) {
    switch (event->type()) {
    case QEvent::ShortcutOverride:
        // Claim every key so that no shortcut of another window fires through the intro.
        event->accept();
        return true;
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::Shortcut:
        // Until the timer has fired the intro can't be dismissed: the input simply goes nowhere.
        if (IntroState >= 2) close();
        event->accept();
        return true;
    default:
        return QWidget::event(event);
    }
}

void IntroWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawPixmap(0, 0, picture_);
}

void IntroWindow::timerEvent(QTimerEvent* event) {
    if (event->timerId() != timer_.timerId()) {
        QWidget::timerEvent(event);
        return;
    }
    timer_.stop();
    IntroState = 2;
    close();
}

int ShowIntro(const QString& picturePath) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return 1;
    QPixmap picture;
    if (!picture.load(picturePath)) return 1;

    if (IntroState == 0) IntroState = 1;
    auto* intro = new IntroWindow(picture); // deletes itself when it closes
    const QSize size = intro->size();
    intro->move(screen->geometry().topLeft() + introPosition(screen->size(), size));
    intro->show();
    intro->repaint();

    // The main window is shown after the intro; once the event loop runs, put the intro back on
    // top in case no window manager honours the stay-on-top hint.
    QTimer::singleShot(0, intro, &QWidget::raise);
    // If the program ends before the timer fires, don't leave the window behind, also when it
    // ends through exit() rather than by closing its windows.
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, intro, &QObject::deleteLater);
    return 0;
}

} // namespace orvik
