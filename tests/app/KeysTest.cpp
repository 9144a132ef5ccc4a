// Esc and Enter end the program wherever the focus is; File > Exit closes too.
#include <QAction>
#include <QLineEdit>
#include <QScrollBar>
#include <QTableView>
#include <QTest>
#include <QTextEdit>
#include <QToolBar>
#include <gtest/gtest.h>

#include "AppTestSupport.h"
#include "app/HexViewWidget.h"

namespace {

std::vector<QWidget*> focusTargets(CMainDlg& window) {
    return {&window,
            window.hexView()->list(),
            window.hexView()->scrollBar(),
            window.chipInfoEdit(),
            window.statusEdit(),
            window.percentEdit(),
            window.toolBar()->widgetForAction(window.action(IdFileOpen))};
}

} // namespace

TEST(Keys, EnterAcceptsAndEscRejectsFromEveryControl) {
    for (int key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
        auto started = startWindow(Language::English);
        const size_t targets = focusTargets(*started->window).size();
        for (size_t i = 0; i < targets; ++i) {
            CMainDlg& window = *started->window;
            window.show();
            window.setResult(-1);
            QWidget* target = focusTargets(window)[i];
            target->setFocus();
            QTest::keyClick(target, static_cast<Qt::Key>(key));
            EXPECT_FALSE(window.isVisible()) << "key " << key << " target " << i;
            EXPECT_EQ(window.result(),
                      key == Qt::Key_Escape ? QDialog::Rejected : QDialog::Accepted)
                << "key " << key << " target " << i;
        }
    }
}

TEST(Keys, ExitClosesTheWindow) {
    auto started = startWindow(Language::Chinese);
    started->window->show();
    started->window->action(IdFileExit)->trigger();
    EXPECT_FALSE(started->window->isVisible());
}
