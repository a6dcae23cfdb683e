// The help viewer: finding the help file, showing it at its contents, saying so when it's missing.
#include "help_viewer.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QPushButton>
#include <QShortcut>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

#ifndef ORVIK_HELP_RELATIVE_DIR
#define ORVIK_HELP_RELATIVE_DIR "../share/orvik"
#endif

namespace orvik {

QStringList helpSearchDirs() {
    const QDir programDir(QCoreApplication::applicationDirPath());
    return {programDir.absolutePath(),
            QDir::cleanPath(programDir.absoluteFilePath(QStringLiteral(ORVIK_HELP_RELATIVE_DIR)))};
}

QString findHelpFile(const QString& fileName, const QStringList& dirs) {
    for (const QString& dir : dirs) {
        const QFileInfo candidate(QDir(dir), fileName);
        if (candidate.isFile()) return candidate.absoluteFilePath();
    }
    return {};
}

HelpViewer::HelpViewer(QWidget* parent)
    : QWidget(parent, Qt::Window), browser_(new QTextBrowser(this)),
      contentsButton_(new QPushButton(tr("Contents"), this)),
      backButton_(new QPushButton(tr("Back"), this)),
      forwardButton_(new QPushButton(tr("Forward"), this)) {
    setObjectName(QStringLiteral("HelpViewer"));
    setWindowTitle(tr("Orvik Help"));
    browser_->setObjectName(QStringLiteral("HelpBrowser"));
    browser_->setOpenExternalLinks(true);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(contentsButton_);
    buttons->addWidget(backButton_);
    buttons->addWidget(forwardButton_);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(browser_);

    backButton_->setEnabled(false);
    forwardButton_->setEnabled(false);
    connect(contentsButton_, &QPushButton::clicked, this, &HelpViewer::showContents);
    connect(backButton_, &QPushButton::clicked, browser_, &QTextBrowser::backward);
    connect(forwardButton_, &QPushButton::clicked, browser_, &QTextBrowser::forward);
    connect(browser_, &QTextBrowser::backwardAvailable, backButton_, &QPushButton::setEnabled);
    connect(browser_, &QTextBrowser::forwardAvailable, forwardButton_, &QPushButton::setEnabled);
    // Esc and Ctrl+W close the help, as they close a document window.
    for (const QKeySequence& keys :
         {QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::Key_W)})
        connect(new QShortcut(keys, this), &QShortcut::activated, this, &QWidget::close);
    resize(680, 600);
}

void HelpViewer::openContents(const QString& fileName, const QStringList& dirs) {
    filePath_ = findHelpFile(fileName, dirs);
    const bool readable = !filePath_.isEmpty() && QFile(filePath_).open(QIODevice::ReadOnly);
    if (!readable) {
        showMissing(fileName, dirs, !filePath_.isEmpty());
        filePath_.clear();
        return;
    }
    showContents();
}

void HelpViewer::showContents() {
    if (filePath_.isEmpty()) return;
    QUrl url = QUrl::fromLocalFile(filePath_);
    url.setFragment(HelpContentsAnchor);
    // The file's name doesn't say it is HTML, so say it here.
    browser_->setSource(url, QTextDocument::HtmlResource);
    contentsButton_->setEnabled(true);
}

void HelpViewer::showMissing(const QString& fileName, const QStringList& dirs,
                             bool foundButUnreadable) {
    QString places;
    for (const QString& dir : dirs)
        places += QStringLiteral("<li>%1</li>").arg(QDir::toNativeSeparators(dir).toHtmlEscaped());
    const QString problem = foundButUnreadable ? tr("The help file %1 could not be opened.")
                                               : tr("The help file %1 could not be found.");
    browser_->clearHistory();
    browser_->setHtml(QStringLiteral("<h2>%1</h2><p>%2</p><p>%3</p><ul>%4</ul><p>%5</p>")
                          .arg(tr("Orvik Help"), problem.arg(fileName.toHtmlEscaped()),
                               tr("Orvik looked for it in these folders:"), places,
                               tr("Reinstall Orvik, or put %1 beside the program.")
                                   .arg(fileName.toHtmlEscaped())));
    contentsButton_->setEnabled(false);
}

HelpViewer* showHelp(QWidget& owner) {
    auto* viewer = owner.findChild<HelpViewer*>(QString(), Qt::FindDirectChildrenOnly);
    if (!viewer)
        viewer = new HelpViewer(&owner); // a window of its own, owned by and closed with `owner`
    viewer->openContents(HelpFileName, helpSearchDirs());
    viewer->show();
    viewer->raise();
    viewer->activateWindow();
    return viewer;
}

bool helpIsOpen(const QWidget& owner) {
    const auto* viewer = owner.findChild<HelpViewer*>(QString(), Qt::FindDirectChildrenOnly);
    return viewer != nullptr && viewer->isVisible();
}

} // namespace orvik
