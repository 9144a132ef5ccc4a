// Runs the program: the Qt application, the message boxes, the main window.
#pragma once

#include "res/Language.h"

class CMainApp {
  public:
    explicit CMainApp(Language language) : language_(language) {}
    // Shows the main window until it closes; returns the process's exit status.
    int run(int argc, char** argv);

  private:
    Language language_;
};
