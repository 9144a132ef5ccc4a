#include "app/MainApp.h"

#include <QApplication>
#include <QFile>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/CommandIcons.h"
#include "app/MainDlg.h"
#include "app/QtMessageBoxSink.h"
#include "res/MessageBox.h"

namespace {

QLocale localeOf(Language language) {
    return language == Language::Chinese ? QLocale(QLocale::Chinese, QLocale::China)
                                         : QLocale(QLocale::English, QLocale::UnitedStates);
}

} // namespace

void fixQtSystemLocale(Language language) {
    // Qt reads the system locale from LANGUAGE, LC_ALL, LC_* and LANG once, at its first
    // use; the file dialogs take sizes and dates from it ("0 字节" in the English build
    // under zh_CN). Only that first reading sees the build's language: the variables are
    // put back at once, so the C library and the programs started from here keep the
    // user's own.
    const QByteArray name = localeOf(language).name().toLatin1() + ".UTF-8";
    std::vector<std::pair<const char*, std::optional<QByteArray>>> saved;
    for (const char* variable : {"LANGUAGE", "LC_ALL"}) {
        saved.emplace_back(variable, qEnvironmentVariableIsSet(variable)
                                         ? std::optional(qgetenv(variable))
                                         : std::nullopt);
        qputenv(variable, name);
    }
    (void)QLocale::system();
    for (const auto& [variable, value] : saved) {
        if (value)
            qputenv(variable, *value);
        else
            qunsetenv(variable);
    }
}

QTranslator* installQtTranslations(Language language) {
    QLocale::setDefault(localeOf(language));
    // Lives as long as the application: Qt looks texts up whenever a dialog is built.
    static QTranslator qtTexts;
    if (language != Language::Chinese) {
        // Qt's own texts are English; a translation left from a Chinese run would not be.
        QCoreApplication::removeTranslator(&qtTexts);
        return nullptr;
    }
    if (qtTexts.isEmpty() &&
        !qtTexts.load(localeOf(language), QStringLiteral("qtbase"), QStringLiteral("_"),
                      QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        return nullptr;
    return QCoreApplication::installTranslator(&qtTexts) ? &qtTexts : nullptr;
}

std::vector<std::string> programArguments(const QStringList& all) {
    // Qt has taken its own options out; the first is the program's own name.
    std::vector<std::string> arguments;
    for (qsizetype i = 1; i < all.size(); ++i)
        arguments.push_back(QFile::encodeName(all[i]).toStdString());
    return arguments;
}

int CMainApp::run(int argc, char** argv) {
    fixQtSystemLocale(language_);
    QApplication application(argc, argv);
    QApplication::setWindowIcon(applicationIcon());

    installQtTranslations(language_);

    QtMessageBoxSink sink(textsFor(language_));
    MessageBoxSink* previous = setMessageBoxSink(&sink);

    {
        CMainDlg window(language_);
        window.OnInitDialog(programArguments(QApplication::arguments()));
        window.exec();
    }
    setMessageBoxSink(previous);
    return 0;
}
