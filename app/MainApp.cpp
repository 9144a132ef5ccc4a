#include "app/MainApp.h"

#include <QApplication>
#include <QFile>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <string>
#include <vector>

#include "app/CommandIcons.h"
#include "app/MainDlg.h"
#include "app/QtMessageBoxSink.h"
#include "res/MessageBox.h"

QTranslator* installQtTranslations(Language language) {
    if (language != Language::Chinese)
        return nullptr;
    // Lives as long as the application: Qt looks texts up whenever a dialog is built.
    static QTranslator qtTexts;
    if (qtTexts.isEmpty() &&
        !qtTexts.load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"),
                      QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
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
