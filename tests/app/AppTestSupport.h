// Helpers for the main window tests: recorded message boxes, chip database files on
// disk, started windows and modal dialogs driven from a timer.
#pragma once

#include <QApplication>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/MainDlg.h"
#include "chipdb/ChipInfo.h"
#include "res/MessageBox.h"

struct RecordedBox {
    BoxStyle style;
    std::string text;
};

// Records every box instead of showing it; installed for its lifetime.
class RecordingSink : public MessageBoxSink {
  public:
    RecordingSink() : previous_(setMessageBoxSink(this)) {}
    ~RecordingSink() override { setMessageBoxSink(previous_); }
    BoxResult show(BoxStyle style, std::string_view text) override {
        boxes.push_back({style, std::string(text)});
        return answer;
    }
    std::vector<std::string> texts() const {
        std::vector<std::string> out;
        for (const auto& box : boxes)
            out.push_back(box.text);
        return out;
    }

    std::vector<RecordedBox> boxes;
    BoxResult answer = BoxResult::Ok;

  private:
    MessageBoxSink* previous_;
};

ChipInfo makeChip(ChipType type, const char* name, uint32_t capacity, uint32_t programMode = 1,
                  uint16_t pageSize = 256, uint8_t manufacturerId = 0x1C, uint8_t deviceId = 0x13,
                  uint8_t memoryWidth = 8, const char* manufacturer = "XYZ");

// Writes a ChipInfo.chip file holding `chips`.
void writeDatabase(const std::string& path, const std::vector<ChipInfo>& chips);

// The chips most tests start with: EN25T80 (1 MiB flash) and a few others.
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
    auto tries = std::make_shared<int>(0);
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, action, ran, tries] {
        if (auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            *ran = true;
            action(dialog);
        } else if (++*tries > 2000) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start();
    return ran;
}

// The three texts of line i of the hex view.
std::vector<std::string> hexLine(CMainDlg& window, int i);
int hexLineCount(CMainDlg& window);
