// Runs the program: the Qt application, the message boxes, the main window.
#pragma once

#include "res/Language.h"

#include <QStringList>
#include <string>
#include <vector>

class QTranslator;

// The arguments the window's start-up takes from the application's arguments (Qt's own
// options already taken out): all but the program's name, as file-system bytes.
std::vector<std::string> programArguments(const QStringList& all);

// Each build's Qt dialogs (Open, Save, message boxes, their sizes and dates) speak the
// build's language whatever LANG or LC_ALL say. Before the application exists: makes
// the build's language Qt's system locale, leaving the environment as it was.
void fixQtSystemLocale(Language language);
// After: makes it the default locale and installs Qt's translations for it alone (the
// Chinese build: qtbase_zh_CN from Qt's translations folder, Debian package
// qt6-translations-l10n) and returns them; null for the English build (whose Qt texts
// are Qt's own) and when they are not installed.
QTranslator* installQtTranslations(Language language);

class CMainApp {
  public:
    explicit CMainApp(Language language) : language_(language) {}
    // Shows the main window until it closes; returns the process's exit status.
    int run(int argc, char** argv);

  private:
    Language language_;
};
