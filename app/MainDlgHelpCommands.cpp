// Help > About and Help > User Guide.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <memory>

#include "app/AboutDlg.h"
#include "app/MainDlg.h"
#include "res/MessageBox.h"

namespace {

// How long the opener has to say that it failed. xdg-open fails within moments when the
// desktop has no viewer for PDF files; without a desktop it may run the viewer itself
// until the user closes it, and what the viewer does then is not the guide's opening.
constexpr qint64 kOpenerVerdictMs = 10000;

} // namespace

void CMainDlg::OnHelpAbout() {
    CAboutDlg about(texts_, chipDatabase_.filePath(), this);
    about.exec();
}

void CMainDlg::OnHelpUserGuide() {
    const QString folder =
        userGuideFolder_.isEmpty() ? QCoreApplication::applicationDirPath() : userGuideFolder_;
    const QFileInfo guide(QDir(folder).filePath(QStringLiteral("UserGuide.pdf")));
    // The opener would start for a missing file too; look first.
    if (!guide.isFile() || !guide.isReadable()) {
        messageBox(texts_.helpOpenFailed);
        return;
    }

    // The window does not wait for the viewer: the opener runs on its own, and a failure
    // it reports (no viewer, no opener at all) shows the box when it comes.
    auto* opener = new QProcess(this);
    opener->setProgram(documentOpener_.isEmpty() ? QStringLiteral("xdg-open") : documentOpener_);
    opener->setArguments({guide.absoluteFilePath()});
    opener->setStandardInputFile(QProcess::nullDevice());
    opener->setProcessChannelMode(QProcess::ForwardedChannels);
    auto started = std::make_shared<QElapsedTimer>();
    const char* failure = texts_.helpOpenFailed;
    connect(opener, &QProcess::errorOccurred, this,
            [opener, failure](QProcess::ProcessError error) {
                if (error != QProcess::FailedToStart)
                    return; // a crash is reported by finished() too
                opener->deleteLater();
                messageBox(failure);
            });
    connect(opener, &QProcess::finished, this,
            [opener, failure, started](int exitCode, QProcess::ExitStatus status) {
                opener->deleteLater();
                const bool failed = status != QProcess::NormalExit || exitCode != 0;
                if (failed && started->elapsed() < kOpenerVerdictMs)
                    messageBox(failure);
            });
    started->start();
    opener->start();
}
