// The application's edges: Help > User Guide through the desktop's real opener, message
// boxes as the user sees them, Qt's own dialogs in the Chinese build, the command line.
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
#include <optional>

#include "AppTestSupport.h"
#include "TempFolder.h"
#include "app/MainApp.h"
#include "app/QtMessageBoxSink.h"

// Help > User Guide; the boxes shown once the opener it started has finished.
static std::vector<std::string> openGuide(CMainDlg& window) {
    RecordingSink boxes;
    window.action(IdHelpUserGuide)->trigger();
    EXPECT_TRUE(
        QTest::qWaitFor([&window] { return window.findChildren<QProcess*>().empty(); }, 8000));
    QCoreApplication::processEvents();
    return boxes.texts();
}

TEST(Help, TheGuideOpensWithTheDesktopsOpenerAndEveryFailureIsReported) {
    auto started = startWindow(Language::Chinese);
    CMainDlg& window = *started->window;
    const std::vector<std::string> failure = {"can not open the help document!"};
    EXPECT_EQ(openGuide(window), failure); // no UserGuide.pdf beside the program

    // The real xdg-open on a desktop without a PDF viewer: no handler, no browser.
    writeFile(started->path("UserGuide.pdf"), "%PDF-1.4\n");
    TempFolder home;
    std::vector<std::pair<const char*, std::optional<std::string>>> saved;
    for (auto [name, value] : {std::pair{"XDG_DATA_HOME", home.path().c_str()},
                               {"XDG_DATA_DIRS", home.path().c_str()},
                               {"XDG_CONFIG_HOME", home.path().c_str()},
                               {"HOME", home.path().c_str()},
                               {"XDG_CURRENT_DESKTOP", "X-Generic"},
                               {"BROWSER", "/nonexistent/browser"},
                               {"DISPLAY", nullptr},
                               {"WAYLAND_DISPLAY", nullptr}}) {
        const char* old = std::getenv(name);
        saved.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
        value ? ::setenv(name, value, 1) : ::unsetenv(name);
    }
    window.setDocumentOpener(QString());
    EXPECT_EQ(openGuide(window), failure);
    for (const auto& [name, value] : saved)
        value ? ::setenv(name, value->c_str(), 1) : ::unsetenv(name);

    // An opener that succeeds says nothing; one that is missing is a failure too.
    window.setDocumentOpener(QStringLiteral("true"));
    EXPECT_TRUE(openGuide(window).empty());
    window.setDocumentOpener(QStringLiteral("/nonexistent/xdg-open"));
    EXPECT_EQ(openGuide(window), failure);
}

TEST(MessageBoxes, ShowDeviceAndFileTextAsPlainTextWithTheBuildsButtons) {
    QtMessageBoxSink sink(kTextsChinese);
    std::string shown;
    auto answer = [&shown](QMessageBox::ButtonRole role) {
        return whenModal<QMessageBox>([&shown, role](QMessageBox* box) {
            shown = box->windowTitle().toStdString() + "|" + box->text().toStdString() + "|" +
                    std::to_string(box->textFormat() == Qt::PlainText) + "|";
            QAbstractButton* chosen = nullptr;
            for (QAbstractButton* button : box->buttons()) {
                shown += button->text().toStdString() + "|";
                chosen = box->buttonRole(button) == role ? button : chosen;
            }
            chosen->click();
        });
    };
    answer(QMessageBox::AcceptRole);
    EXPECT_EQ(sink.show(BoxStyle::Ok, "固件版本：<h1>V1</h1><img src=x>\r\n!"), BoxResult::Ok);
    EXPECT_EQ(shown, "Brimwick+|固件版本：<h1>V1</h1><img src=x>\n!|1|确定|");
    answer(QMessageBox::RejectRole);
    EXPECT_EQ(sink.show(BoxStyle::OkCancel, "?"), BoxResult::Cancel);
    EXPECT_EQ(shown, "Brimwick+|?|1|确定|取消|");
}

TEST(Program, TheChineseOpenDialogIsChineseAndAFileArgumentIsLoaded) {
    QTranslator* chinese = installQtTranslations(Language::Chinese);
    ASSERT_NE(chinese, nullptr) << "qt6-translations-l10n is not installed";
    EXPECT_EQ(installQtTranslations(Language::English), nullptr);
    auto started = startWindow(Language::Chinese);
    std::string texts;
    auto ran = whenModal<QFileDialog>([&texts](QFileDialog* dialog) {
        for (QLabel* label : dialog->findChildren<QLabel*>())
            texts += label->text().toStdString() + "|";
        for (QAbstractButton* button : dialog->findChild<QDialogButtonBox*>()->buttons())
            texts += button->text().toStdString() + "|";
        dialog->reject();
    });
    started->window->action(IdFileOpen)->trigger();
    QCoreApplication::removeTranslator(chinese);
    ASSERT_TRUE(*ran);
    EXPECT_EQ(texts, "查找范围：|文件名称(&N)：|文件类型：|打开(&O)|取消|");

    // A file opened from the file manager arrives after the program's own name.
    EXPECT_EQ(programArguments({"/usr/bin/brimwick", "/tmp/a b.bin"}),
              std::vector<std::string>{"/tmp/a b.bin"});
    EXPECT_TRUE(programArguments({"/usr/bin/brimwick"}).empty());
}
