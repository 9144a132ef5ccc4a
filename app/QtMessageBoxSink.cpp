#include "app/QtMessageBoxSink.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

BoxResult QtMessageBoxSink::show(BoxStyle style, std::string_view text) {
    QString body = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    body.replace(QLatin1String("\r\n"), QLatin1String("\n"));

    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(QString::fromUtf8(texts_.windowTitle));
    // Device answers and file names are shown as they are, never as markup.
    box.setTextFormat(Qt::PlainText);
    box.setText(body);
    box.setIcon(style == BoxStyle::OkWarning ? QMessageBox::Warning : QMessageBox::NoIcon);
    const bool goOn = style == BoxStyle::ContinueCancel;
    if (goOn)
        box.setIcon(QMessageBox::Warning);
    QPushButton* ok = box.addButton(
        QString::fromUtf8(goOn ? texts_.continueButton : texts_.okButton), QMessageBox::AcceptRole);
    box.setDefaultButton(ok);
    if (style == BoxStyle::OkCancel || goOn) {
        QPushButton* cancel =
            box.addButton(QString::fromUtf8(texts_.cancelButton), QMessageBox::RejectRole);
        box.setEscapeButton(cancel);
        // A wrong chip is only programmed when the user says so.
        if (goOn)
            box.setDefaultButton(cancel);
    } else {
        box.setEscapeButton(ok);
    }
    box.exec();
    return box.clickedButton() == ok ? BoxResult::Ok : BoxResult::Cancel;
}
