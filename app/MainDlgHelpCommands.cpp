// Help > About and Help > User Guide.
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

#include "app/AboutDlg.h"
#include "app/MainDlg.h"
#include "res/MessageBox.h"

void CMainDlg::OnHelpAbout() {
    CAboutDlg about(texts_, chipDatabase_.filePath(), this);
    about.exec();
}

void CMainDlg::OnHelpUserGuide() {
    const QString folder =
        userGuideFolder_.isEmpty() ? QCoreApplication::applicationDirPath() : userGuideFolder_;
    const QString path = QDir(folder).filePath(QStringLiteral("UserGuide.pdf"));
    // The desktop's opener reports success for a missing file; look first.
    const QFileInfo guide(path);
    bool opened = false;
    if (guide.isFile() && guide.isReadable()) {
        const QUrl url = QUrl::fromLocalFile(guide.absoluteFilePath());
        opened = documentOpener_ ? documentOpener_(url) : QDesktopServices::openUrl(url);
    }
    if (!opened)
        messageBox(texts_.helpOpenFailed);
}
