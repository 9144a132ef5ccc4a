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

int CMainApp::run(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setWindowIcon(applicationIcon());

    // The Chinese build shows Qt's own dialogs (file dialogs) in Chinese too.
    QTranslator qtTexts;
    if (language_ == Language::Chinese &&
        qtTexts.load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"),
                     QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTexts);

    QtMessageBoxSink sink(textsFor(language_));
    MessageBoxSink* previous = setMessageBoxSink(&sink);

    // Qt has taken its own options out of the arguments; the rest are the program's.
    std::vector<std::string> arguments;
    const QStringList all = QApplication::arguments();
    for (qsizetype i = 1; i < all.size(); ++i)
        arguments.push_back(QFile::encodeName(all[i]).toStdString());

    {
        CMainDlg window(language_);
        window.OnInitDialog(arguments);
        window.exec();
    }
    setMessageBoxSink(previous);
    return 0;
}
