// The user guide shown inside the program, from the guide's HTML in the build's language:
// for a desktop with no PDF viewer (or no UserGuide.pdf). Not modal: the user reads it beside
// the main window. Lives on the window's thread; the main window owns it.
#pragma once

#include <QDialog>
#include <QString>

class QTextBrowser;

class UserGuideWindow : public QDialog {
  public:
    // Shows `htmlPath`; its title is the guide's own title. Links to other sites open in the
    // desktop's browser.
    UserGuideWindow(const QString& htmlPath, QWidget* parent);
    QTextBrowser* browser() const { return browser_; }

  private:
    QTextBrowser* browser_;
};
