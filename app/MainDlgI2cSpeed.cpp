// Operation > Programmer > I²C speed: the speed the bridge in use runs a 24 EEPROM at,
// kept per bridge by the device commands (100 kHz until chosen). Short clip leads carry
// 400 kHz; long ones or weak pull-ups need the slower speeds.
#include <QAction>
#include <QActionGroup>
#include <QMenu>

#include "app/MainDlg.h"
#include "bridge/I2cSpeedSettings.h"
#include "res/MessageBox.h"

void CMainDlg::addI2cSpeedMenu(const std::string& bridgePath) {
    QMenu* speeds = programmerMenu_->addMenu(QString::fromUtf8(texts_.menuI2cSpeed));
    auto* group = new QActionGroup(speeds);
    const uint32_t current = deviceOperations_.i2cSpeeds().speedFor(bridgePath);
    for (const uint32_t kHz : bridge::I2cSpeedSettings::choices()) {
        QAction* choice = speeds->addAction(
            QString::fromStdString(formatText(texts_.i2cSpeedChoice, unsigned{kHz})));
        choice->setCheckable(true);
        choice->setChecked(kHz == current);
        group->addAction(choice);
        connect(choice, &QAction::triggered, this, [this, bridgePath, kHz] {
            deviceOperations_.i2cSpeeds().set(bridgePath, uint64_t{kHz} * 1000);
            setStatusText(formatText(texts_.i2cSpeedSet, bridgePath.c_str(), unsigned{kHz}));
        });
    }
}
