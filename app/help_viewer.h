// The help viewer: a window that shows the manual "Orvik.hlp" (HTML) at its contents page.
#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>

class QPushButton;
class QTextBrowser;

namespace orvik {

inline const QString HelpFileName = QStringLiteral("Orvik.hlp");
inline const QString HelpContentsAnchor = QStringLiteral("contents");

// Folders that may hold the help file, in the order they are searched: the program's own folder
// (a build tree), then the installed data folder relative to it.
QStringList helpSearchDirs();

// The full path of `fileName` in the first of `dirs` that holds it, or an empty string.
QString findHelpFile(const QString& fileName, const QStringList& dirs);

class HelpViewer : public QWidget {
    Q_OBJECT
public:
    explicit HelpViewer(QWidget* parent = nullptr);

    // Shows `fileName`, looked up in `dirs`, at its contents page. When the file is not there,
    // or can't be read, the page says so and names the folders that were searched.
    void openContents(const QString& fileName, const QStringList& dirs);

    // The path of the file shown, or an empty string when the file was not found.
    QString filePath() const { return filePath_; }
    QTextBrowser* browser() const { return browser_; }

private:
    void showContents();
    void showMissing(const QString& fileName, const QStringList& dirs, bool foundButUnreadable);

    QTextBrowser* browser_;
    QPushButton* contentsButton_;
    QPushButton* backButton_;
    QPushButton* forwardButton_;
    QString filePath_;
};

// The help command: opens the viewer belonging to `owner` (creating it the first time) at the
// contents page of the help file, and brings it to the front.
HelpViewer* showHelp(QWidget& owner);
// Whether `owner`'s help viewer is on screen.
bool helpIsOpen(const QWidget& owner);

} // namespace orvik
