// Started windows on their own database, dialogs answered from a timer, hex view texts.
#pragma once

#include <QTest>
#include <QtWidgets>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ChipFiles.h"
#include "MessageRecorder.h"
#include "app/MainDlg.h"

// The chips most tests start with: EN25T80 (1 MiB flash), AT24C02 and AT93C46.
std::vector<ChipInfo> standardChips();

// A started window on its own database file in a temporary folder.
struct StartedWindow {
    QTemporaryDir folder;
    std::unique_ptr<CMainDlg> window;
    bool startedUp = false;

    std::string path(const char* name) const { return folder.filePath(name).toStdString(); }
};

std::unique_ptr<StartedWindow> startWindow(Language language,
                                           const std::vector<ChipInfo>& chips = standardChips(),
                                           const std::vector<std::string>& arguments = {});

// Makes `chip` current as Select Device does (view reset and panel redrawn).
void selectChip(CMainDlg& window, const ChipInfo& chip);

// Runs `action` on the first modal widget of type T once it is shown; used to answer
// dialogs that a command runs with exec(). Returns a flag that says whether it ran.
template <typename T> std::shared_ptr<bool> whenModal(std::function<void(T*)> action) {
    auto ran = std::make_shared<bool>(false);
    auto timer = new QTimer(qApp); // gone with the application at the latest
    // Gives up after a minute of wall-clock time: a loaded machine may take long to show it.
    auto since = std::make_shared<QElapsedTimer>();
    since->start();
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, action, ran, since] {
        if (auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            *ran = true;
            action(dialog);
        } else if (since->elapsed() > 60'000) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start();
    return ran;
}

// Answers the next file dialog with `path`.
std::shared_ptr<bool> answerFileDialog(const std::string& path);
// Edit > Fill with these three texts typed in and OK pressed; false: no dialog came.
bool fillBuffer(CMainDlg& window, const char* start, const char* end, const char* data);
std::string bytesAt(CMainDlg& window, uint32_t offset, uint32_t count);

// The three texts of line i of the hex view.
std::vector<std::string> hexLine(CMainDlg& window, int i);
int hexLineCount(CMainDlg& window);
