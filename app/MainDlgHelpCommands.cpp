// Help > About and Help > User Guide.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <memory>

#include "app/AboutDlg.h"
#include "app/MainDlg.h"
#include "app/UserGuideWindow.h"
#include "res/MessageBox.h"

namespace {

// How long the opener has to say that it failed. xdg-open fails within moments when the
// desktop has no viewer for PDF files; without a desktop it may run the viewer itself
// until the user closes it, and what the viewer does then is not the guide's opening.
constexpr qint64 kOpenerVerdictMs = 10000;

// The guide's files, in the order they are looked for: beside the program (a build tree),
// then in the documentation folder of the installation the program belongs to
// (<prefix>/share/doc/brimwick, BRIMWICK_GUIDE_FROM_PROGRAM is its path from the program's
// folder).
QStringList guideFolders(const QString& chosen) {
    if (!chosen.isEmpty())
        return {chosen};
    const QString own = QCoreApplication::applicationDirPath();
    return {own, QDir::cleanPath(own + QLatin1String("/" BRIMWICK_GUIDE_FROM_PROGRAM))};
}

// The first readable file of these names, each name looked for in every folder before the
// next; empty when there is none.
QString findGuideFile(const QStringList& folders, const QStringList& names) {
    for (const QString& name : names) {
        for (const QString& folder : folders) {
            const QFileInfo file(QDir(folder).filePath(name));
            if (file.isFile() && file.isReadable())
                return file.absoluteFilePath();
        }
    }
    return {};
}

} // namespace

void CMainDlg::OnHelpAbout() {
    CAboutDlg about(texts_, chipDatabase_.filePath(), this);
    about.exec();
}

void CMainDlg::showUserGuideWindow() {
    if (auto* shown = findChild<UserGuideWindow*>()) {
        shown->raise();
        shown->activateWindow();
        return;
    }
    const QString html =
        findGuideFile(guideFolders(userGuideFolder_),
                      {language_ == Language::Chinese ? QStringLiteral("UserGuide_zh_CN.html")
                                                      : QStringLiteral("UserGuide.html")});
    if (html.isEmpty()) {
        messageBox(texts_.helpOpenFailed);
        return;
    }
    auto* guide = new UserGuideWindow(html, this);
    guide->setAttribute(Qt::WA_DeleteOnClose);
    guide->show();
}

void CMainDlg::OnHelpUserGuide() {
    // The opener would start for a missing file too; look first. The Chinese build opens the
    // Chinese guide, or the one guide when that is all there is.
    QStringList names = {QStringLiteral("UserGuide.pdf")};
    if (language_ == Language::Chinese)
        names.prepend(QStringLiteral("UserGuide_zh_CN.pdf"));
    const QString pdf = findGuideFile(guideFolders(userGuideFolder_), names);
    if (pdf.isEmpty()) {
        showUserGuideWindow();
        return;
    }

    // The window does not wait for the viewer: the opener runs on its own, and a failure
    // it reports (no viewer, no opener at all) brings the guide up inside the program.
    auto* opener = new QProcess(this);
    opener->setProgram(documentOpener_.isEmpty() ? QStringLiteral("xdg-open") : documentOpener_);
    opener->setArguments({pdf});
    opener->setStandardInputFile(QProcess::nullDevice());
    opener->setProcessChannelMode(QProcess::ForwardedChannels);
    auto started = std::make_shared<QElapsedTimer>();
    connect(opener, &QProcess::errorOccurred, this, [this, opener](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return; // a crash is reported by finished() too
        opener->deleteLater();
        showUserGuideWindow();
    });
    connect(opener, &QProcess::finished, this,
            [this, opener, started](int exitCode, QProcess::ExitStatus status) {
                opener->deleteLater();
                const bool failed = status != QProcess::NormalExit || exitCode != 0;
                if (failed && started->elapsed() < kOpenerVerdictMs)
                    showUserGuideWindow();
            });
    started->start();
    opener->start();
}
