// Runs the program: the Qt application, the message boxes, the main window.
#pragma once

#include "res/Language.h"

class QTranslator;

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
