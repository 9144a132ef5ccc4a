#include "app/UserGuideWindow.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace {

// About 90 characters of the guide's text per line, the height of a page.
constexpr int kStartWidthPx = 760;
constexpr int kStartHeightPx = 820;

} // namespace

UserGuideWindow::UserGuideWindow(const QString& htmlPath, QWidget* parent)
    : QDialog(parent), browser_(new QTextBrowser(this)) {
    setObjectName(QStringLiteral("userGuideWindow"));
    setWindowFlag(Qt::WindowMinMaxButtonsHint);
    setSizeGripEnabled(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(browser_);
    browser_->setOpenExternalLinks(true);
    browser_->setSearchPaths({QFileInfo(htmlPath).absolutePath()});
    browser_->setSource(QUrl::fromLocalFile(QFileInfo(htmlPath).absoluteFilePath()),
                        QTextDocument::HtmlResource);
    setWindowTitle(browser_->documentTitle());

    QSize size(kStartWidthPx, kStartHeightPx);
    if (const QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen())
        size = size.boundedTo(screen->availableGeometry().size() * 9 / 10);
    resize(size);
}
