// Help > User Guide through the desktop's real opener, message boxes as the user sees
// them, and Qt's own dialogs in the Chinese build.
#include <QAction>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTranslator>
#include <gtest/gtest.h>

#include <cstdlib>

#include "AppTestSupport.h"
#include "TempFolder.h"
#include "app/MainApp.h"
#include "app/QtMessageBoxSink.h"

namespace {

// Sets environment variables for its lifetime.
class Environment {
  public:
    void set(const char* name, const char* value) {
        const char* old = std::getenv(name);
        saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
        value ? ::setenv(name, value, 1) : ::unsetenv(name);
    }
    ~Environment() {
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it)
            it->second ? ::setenv(it->first.c_str(), it->second->c_str(), 1)
                       : ::unsetenv(it->first.c_str());
    }

  private:
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

// Help > User Guide, then the boxes once the opener it started has finished.
std::vector<std::string> openGuide(CMainDlg& window) {
    RecordingSink boxes;
    window.action(IdHelpUserGuide)->trigger();
    EXPECT_TRUE(
        QTest::qWaitFor([&window] { return window.findChildren<QProcess*>().empty(); }, 8000));
    QCoreApplication::processEvents();
    return boxes.texts();
}

} // namespace

TEST(Help, TheGuideOpensWithTheDesktopsOpenerAndEveryFailureIsReported) {
    auto started = startWindow(Language::Chinese);
    CMainDlg& window = *started->window;
    const std::vector<std::string> failure = {"can not open the help document!"};
    EXPECT_EQ(openGuide(window), failure); // no UserGuide.pdf beside the program

    // The real xdg-open on a desktop without a PDF viewer: no handler, no browser.
    writeFile(started->path("UserGuide.pdf"), "%PDF-1.4\n");
    TempFolder home;
    Environment desktop;
    for (const char* name : {"XDG_DATA_HOME", "XDG_DATA_DIRS", "XDG_CONFIG_HOME", "HOME"})
        desktop.set(name, home.path().c_str());
    desktop.set("XDG_CURRENT_DESKTOP", "X-Generic");
    desktop.set("BROWSER", "/nonexistent/browser");
    desktop.set("DISPLAY", nullptr);
    desktop.set("WAYLAND_DISPLAY", nullptr);
    window.setDocumentOpener(QString());
    EXPECT_EQ(openGuide(window), failure);

    // An opener that succeeds says nothing; one that is missing is a failure too.
    window.setDocumentOpener(QStringLiteral("true"));
    EXPECT_TRUE(openGuide(window).empty());
    window.setDocumentOpener(QStringLiteral("/nonexistent/xdg-open"));
    EXPECT_EQ(openGuide(window), failure);
}

TEST(MessageBoxes, ShowDeviceAndFileTextAsPlainTextWithTheBuildsButtons) {
    QtMessageBoxSink sink(kTextsChinese);
    std::string shown, title, buttons;
    Qt::TextFormat format = Qt::AutoText;
    auto answer = [&](QMessageBox::ButtonRole role) {
        return whenModal<QMessageBox>([&, role](QMessageBox* box) {
            shown = box->text().toStdString();
            format = box->textFormat();
            title = box->windowTitle().toStdString();
            buttons.clear();
            for (QAbstractButton* button : box->buttons())
                buttons += button->text().toStdString() + " ";
            for (QAbstractButton* button : box->buttons())
                if (box->buttonRole(button) == role)
                    return button->click();
        });
    };
    auto ran = answer(QMessageBox::AcceptRole);
    EXPECT_EQ(sink.show(BoxStyle::Ok, "固件版本：<h1>V1</h1><img src=x>\r\n!"), BoxResult::Ok);
    ASSERT_TRUE(*ran);
    EXPECT_EQ(format, Qt::PlainText);
    EXPECT_EQ(shown, "固件版本：<h1>V1</h1><img src=x>\n!");
    EXPECT_EQ(title, "Brimwick+");
    EXPECT_EQ(buttons, "确定 ");
    ran = answer(QMessageBox::RejectRole);
    EXPECT_EQ(sink.show(BoxStyle::OkCancel, "?"), BoxResult::Cancel);
    EXPECT_TRUE(*ran);
    EXPECT_NE(buttons.find("取消"), std::string::npos);
}

TEST(QtTranslations, TheChineseBuildsOpenDialogIsChinese) {
    QTranslator* chinese = installQtTranslations(Language::Chinese);
    ASSERT_NE(chinese, nullptr) << "qt6-translations-l10n is not installed";
    EXPECT_EQ(installQtTranslations(Language::English), nullptr);
    auto started = startWindow(Language::Chinese);
    std::string texts;
    auto ran = whenModal<QFileDialog>([&texts](QFileDialog* dialog) {
        for (QLabel* label : dialog->findChildren<QLabel*>())
            texts += label->text().toStdString() + "|";
        for (QPushButton* button :
             dialog->findChild<QDialogButtonBox*>()->findChildren<QPushButton*>())
            texts += button->text().toStdString() + "|";
        dialog->reject();
    });
    started->window->action(IdFileOpen)->trigger();
    QCoreApplication::removeTranslator(chinese);
    ASSERT_TRUE(*ran);
    EXPECT_NE(texts.find("文件名"), std::string::npos) << texts;
    EXPECT_NE(texts.find("取消"), std::string::npos) << texts;
    EXPECT_EQ(texts.find("Cancel"), std::string::npos) << texts;
}
