// Operation > Programmer: the programmers present, each with its firmware version, then
// the bridges with their kind and USB ID, and the one the device commands use; below them the
// settings of the bridge in use. The choice lives in
// the device link, which opens that programmer first while it is present.
#include <QAction>
#include <QMenu>
#include <algorithm>

#include "app/MainDlg.h"
#include "res/MessageBox.h"
#include "usb/DeviceKinds.h"

void CMainDlg::listProgrammers() {
    programmerMenu_->clear();
    const std::vector<std::string> present = usbLink_.listDevices();
    if (present.empty()) {
        programmerMenu_->addAction(QString::fromUtf8(texts_.programmerNone))->setEnabled(false);
        addSpiClockChoice({});
        return;
    }
    const bool chosenPresent =
        std::find(present.begin(), present.end(), usbLink_.preferredPath()) != present.end();
    const std::string& inUse = chosenPresent ? usbLink_.preferredPath() : present.front();
    for (const std::string& path : present) {
        const usb::DeviceKind kind = usb::deviceKindOf(path);
        if (usb::isBridge(kind)) {
            addProgrammerEntry(path, usb::deviceLabelOf(path), path == inUse);
            continue;
        }
        // Each programmer is asked once, and never while a device command runs or the
        // programmer object is not bound: the list then shows what is known.
        auto known = firmwareVersions_.find(path);
        if (known == firmwareVersions_.end() && startedUp_ && deviceCommands_ == 0 &&
            usbLink_.inStep() && usbLink_.openPath(path)) {
            char version[Programmer::kVersionTextSize] = {};
            if (programmer_.readFirmwareVersion(version))
                known = firmwareVersions_.emplace(path, version).first;
        }
        addProgrammerEntry(path, known == firmwareVersions_.end() ? "?" : known->second,
                           path == inUse);
    }
    addSpiClockChoice(inUse);
    if (usb::isBridge(usb::deviceKindOf(inUse)))
        addI2cSpeedMenu(inUse);
}

void CMainDlg::addProgrammerEntry(const std::string& path, const std::string& detail, bool inUse) {
    // A device path holds "&" (vid_10c4&pid_505d), which a menu would underline.
    QString text = QString::fromStdString(path + "  " + detail);
    QAction* entry = programmerMenu_->addAction(text.replace('&', QLatin1String("&&")));
    entry->setCheckable(true);
    entry->setChecked(inUse);
    connect(entry, &QAction::triggered, this, [this, path] { chooseProgrammer(path); });
}

void CMainDlg::chooseProgrammer(const std::string& devicePath) {
    usbLink_.setPreferredPath(devicePath);
    setStatusText(formatText(texts_.programmerInUse, devicePath.c_str()));
}
