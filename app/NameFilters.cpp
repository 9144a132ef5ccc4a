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
        pattern.replace(QLatin1Char(';'), QLatin1Char(' '));
        result << text + QStringLiteral(" (") + pattern + QLatin1Char(')');
    }
    return result;
}

QString firstExtension(const QString& nameFilter) {
    // The last "(*." opens the pattern, or the text's own list when the dialog hides it.
    const qsizetype open = nameFilter.lastIndexOf(QStringLiteral("(*."));
    if (open < 0)
        return {};
    const qsizetype start = open + 3;
    qsizetype end = start;
    while (end < nameFilter.size() && nameFilter[end].isLetterOrNumber())
        ++end;
    return nameFilter.mid(start, end - start);
}
