#include "app/NameFilters.h"

QStringList nameFilters(const char* filter) {
    QStringList result;
    if (!filter)
        return result;
    const QStringList parts = QString::fromUtf8(filter).split(QLatin1Char('|'));
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString& text = parts[i];
        QString pattern = parts[i + 1];
        if (text.isEmpty())
            continue;
        if (pattern == QLatin1String("*.*"))
            pattern = QStringLiteral("*");
        result << text + QStringLiteral(" (") + pattern + QLatin1Char(')');
    }
    return result;
}
