// Dialog controls carry the numbers of their templates, so that code and tests can name
// them as the rest of the program does ("list 1044", "button 1055").
#pragma once

#include <QString>
#include <QWidget>

inline QString controlName(int id) {
    return QStringLiteral("ctl%1").arg(id);
}

inline void setControlId(QWidget* widget, int id) {
    widget->setObjectName(controlName(id));
}

template <typename T> T* findControl(const QWidget* dialog, int id) {
    return dialog->findChild<T*>(controlName(id));
}
