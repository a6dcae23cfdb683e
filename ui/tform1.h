// The main window TForm1: the image view, the control panel and their handlers.
#pragma once

#include <QWidget>

namespace orvik {

class TForm1 : public QWidget {
    Q_OBJECT
public:
    explicit TForm1(QWidget* parent = nullptr);
};

} // namespace orvik
