// File > Open, File > Save and File > Exit. The file's name chooses its format
// (binary, Intel HEX, S-records) in both directions.
#include <QFileDialog>
#include <QFileInfo>
#include <QStringList>

#include "app/MainDlg.h"
#include "app/NameFilters.h"
#include "buffer/DataFiles.h"
#include "res/MessageBox.h"

void CMainDlg::OnFileOpen() {
    QFileDialog dialog(this);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    // No default suffix here: Qt would add it to an existing file without extension.
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters(nameFilters(texts_.openFilter) + nameFilters(texts_.openFilterMore));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const std::string path = QFile::encodeName(dialog.selectedFiles().constFirst()).toStdString();
    std::string failure;
    if (!loadDataFile(path, &failure)) {
        messageBox(failure);
        return;
    }
    // The last operation's result no longer speaks of these bytes.
    setStatusText("");
}

void CMainDlg::OnFileSave() {
    saveBuffer();
}

bool CMainDlg::saveBuffer() {
    QFileDialog dialog(this);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(QStringLiteral("bin"));
    dialog.setNameFilters(nameFilters(texts_.saveFilter) + nameFilters(texts_.saveFilterMore));
    // A name typed without an extension takes the chosen filter's, so it is saved in
    // that filter's format.
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
                     [&dialog](const QString& filter) {
                         const QString suffix = firstExtension(filter);
                         if (!suffix.isEmpty())
                             dialog.setDefaultSuffix(suffix);
                     });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return false;
    const QString chosen = dialog.selectedFiles().constFirst();
    const std::string path = QFile::encodeName(chosen).toStdString();
    if (!saveDataFile(buffer_, currentChip_.capacity, path)) {
        // A save that did not reach the disk must not pass unnoticed.
        messageBox(texts_.saveFailed);
        return false;
    }
    // The Chinese build says so; the English one clears the last operation's result.
    setStatusText(texts_.saveDone ? texts_.saveDone : "");
    bufferMatches(QFileInfo(chosen).fileName());
    return true;
}

void CMainDlg::OnFileExit() {
    close();
}
