// Operation > Programmer > SPI Clock: the clock a CH347 runs its SPI bus at, kept for the
// programmer in use. The CH341A's clock is fixed, so the choice is offered for a CH347 only.
#include <QAction>
#include <QMenu>

#include "app/MainDlg.h"
#include "bridge/Ch347Spi.h"
#include "bridge/SpiClockSettings.h"
#include "res/MessageBox.h"
#include "usb/DeviceKinds.h"

void CMainDlg::addSpiClockChoice(const std::string& inUse) {
    // The submenu lives as long as the window; the Programmer menu only shows it again.
    if (spiClockMenu_ == nullptr)
        spiClockMenu_ = new QMenu(QString::fromUtf8(texts_.menuSpiClock), this);
    spiClockMenu_->clear();
    programmerMenu_->addSeparator();
    programmerMenu_->addMenu(spiClockMenu_);
    const bool settable = usb::deviceKindOf(inUse) == usb::DeviceKind::Ch347;
    spiClockMenu_->menuAction()->setEnabled(settable);
    if (!settable)
        return;
    bridge::SpiClockSettings& clocks = deviceOperations_.spiClocks();
    const uint32_t current = clocks.clockFor(inUse);
    for (const uint32_t hz : bridge::SpiClockSettings::choices()) {
        const std::string shown = bridge::spiClockText(hz);
        QAction* choice = spiClockMenu_->addAction(
            QString::fromUtf8(hz == bridge::Ch347Spi::kDefaultClockHz
                                  ? formatText(texts_.spiClockDefault, shown.c_str())
                                  : shown));
        choice->setCheckable(true);
        choice->setChecked(hz == current);
        connect(choice, &QAction::triggered, this, [this, inUse, hz] {
            deviceOperations_.spiClocks().set(inUse, hz);
            setStatusText(formatText(texts_.spiClockStatus, bridge::spiClockText(hz).c_str()));
        });
    }
}
