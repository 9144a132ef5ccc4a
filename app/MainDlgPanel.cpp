// The chip panel, status line and progress display of the main window.
#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QTextBlockFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>

#include "app/ChipInfoText.h"
#include "app/MainDlg.h"
#include "protocol/BridgeOperations.h"
#include "res/MessageBox.h"

namespace {

constexpr int kChipInfoLineHeight = 11; // pixels, for the box's 10-pixel font

// The texts carry Windows line ends; a multi-line box shows each as one line break.
QString multiLine(const std::string& text) {
    QString shown = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    return shown;
}

// A single line shows a line end as a space.
QString singleLine(const char* text) {
    QString shown = QString::fromUtf8(text);
    shown.replace(QLatin1String("\r\n"), QLatin1String(" "));
    shown.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return shown;
}

} // namespace

void CMainDlg::showChipInfo(const ChipInfo& chip, const std::string& more) {
    chipInfoEdit_->setPlainText(multiLine(chipInfoText(chip, texts_) + more));
    // Even line steps in both scripts, so that a whole description fits the box.
    QTextCursor all(chipInfoEdit_->document());
    all.select(QTextCursor::Document);
    QTextBlockFormat lines;
    lines.setLineHeight(kChipInfoLineHeight, QTextBlockFormat::FixedHeight);
    all.mergeBlockFormat(lines);
    fitChipPanel();
    // Picture and command states follow the selected chip.
    const auto type = static_cast<uint32_t>(currentChip_.type);
    setPicture(type <= 3 ? static_cast<int>(type) : -1);
    if (type == 0) {
        enableCommand(IdErase, true);
        enableCommand(IdChipIdentify, true);
    } else if (type <= 3) {
        enableCommand(IdErase, false);
        enableCommand(IdChipIdentify, false);
    }
}

void CMainDlg::setPicture(int chipType) {
    if (chipType < 0 || chipType > 3) {
        chipPicture_->clear();
        shownPictureType_ = -1;
        return;
    }
    chipPicture_->setPixmap(QPixmap::fromImage(pictures_[static_cast<size_t>(chipType)]));
    shownPictureType_ = chipType;
}

void CMainDlg::enableCommand(unsigned id, bool enable) {
    // One action serves the menu item and the toolbar button.
    if (QAction* command = action(id))
        command->setEnabled(enable);
}

void CMainDlg::setStatusText(const char* text) {
    statusEdit_->setText(text ? singleLine(text) : QString());
    statusEdit_->setCursorPosition(0);
    // A long message may not fit the line; hovering shows all of it.
    statusEdit_->setToolTip(statusEdit_->text());
}

void CMainDlg::setStatusText(std::string text) {
    setStatusText(text.c_str());
}

void CMainDlg::showProgress() {
    const uint16_t progress = progressSource_ ? progressSource_() : 0;
    // The bar stops at full; the percentage shows the value as it is.
    progressBar_->setValue(std::min<int>(progress, 100));
    percentEdit_->setText(QString::fromStdString(formatText("%2d%%", static_cast<int>(progress))));
}

void CMainDlg::showPercent(int percent) {
    const auto value = static_cast<uint16_t>(percent & 0xFFFF);
    if (value >= 100)
        return;
    progressBar_->setValue(value);
    percentEdit_->setText(QString::fromStdString(formatText("%2d%%", static_cast<int>(value))));
}

void CMainDlg::showBridgeIdentity(const bridge::NorIdentity& identity) {
    if (identity.presence != bridge::Presence::Chip)
        return;
    std::string facts = formatText(texts_.panelJedecId, jedecIdText(identity.jedecId).c_str());
    facts += "\r\n\r\n" + sfdpText(texts_, identity.sfdp);
    if (identity.sfdp.state == bridge::SfdpState::Sound && identity.sfdp.fourByteAddress)
        facts += std::string("\r\n\r\n") + texts_.panelFourByteAddress;
    showChipInfo(currentChip_, "\r\n" + facts + "\r\n");
}
