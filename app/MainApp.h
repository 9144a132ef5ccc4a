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

// The Chinese build shows Qt's own dialogs (Open, Save, their questions) in Chinese too:
// installs Qt's translations (qtbase_zh_CN, from Qt's translations folder; Debian
// package qt6-translations-l10n) and returns them. Null for the English build and when
// they are not installed.
QTranslator* installQtTranslations(Language language);

class CMainApp {
  public:
    explicit CMainApp(Language language) : language_(language) {}
    // Shows the main window until it closes; returns the process's exit status.
    int run(int argc, char** argv);

  private:
    Language language_;
};
