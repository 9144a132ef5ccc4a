// Menu 129 and toolbar 130 of both builds, as the user sees them.
#include <QAction>
#include <QHelpEvent>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <QToolTip>
#include <gtest/gtest.h>

#include "AppTestSupport.h"

namespace {

// One row per menu entry: text and id; "-" is a separator.
struct Row {
    const char* text;
    unsigned id;
};

using Menu = std::vector<std::pair<const char*, std::vector<Row>>>;

const Menu kEnglishMenu = {
    {"File(F)",
     {{"Open(&O)", 32884},
      {"Save(&S)", 32885},
      {"-", 0},
      {"Relate(&R)", 32896},
      {"-", 0},
      {"Exit(&X)", 32841}}},
    {"Edit(&E)", {{"Fill(&F)", 32894}, {"Exchange(&C)", 32895}}},
    {"Operat(&P)",
     {{"Auto(&A)", 32891},
      {"-", 0},
      {"Read(&R)", 32889},
      {"Erase(&E)", 32886},
      {"Write(&W)", 32887},
      {"Verify(&C)", 32888},
      {"-", 0},
      {"Chip Identify(&G)", 32881},
      {"Chip Select(&L)", 32880},
      {"Chip Edit(&D)", 32882},
      {"-", 0},
      {"Firmware Version(&V)", 32893}}},
    {"Help(&H)", {{"User Guide(&O)", 32862}, {"About(&A)", 32863}}},
};

const Menu kChineseMenu = {
    {"文件(F)",
     {{"打开文件(&O)", 32884},
      {"保存文件(&S)", 32885},
      {"-", 0},
      {"文件关联(&R)", 32896},
      {"-", 0},
      {"退出(&X)", 32841}}},
    {"编辑(&E)", {{"填充(&F)", 32894}, {"交换(&C)", 32895}}},
    {"操作(&P)",
     {{"自动编程(&A)", 32891},
      {"-", 0},
      {"读出&R)", 32889},
      {"擦除(&E)", 32886},
      {"编程(&W)", 32887},
      {"校验(&C)", 32888},
      {"-", 0},
      {"器件识别(&G)", 32881},
      {"器件选择(&L)", 32880},
      {"器件编辑(&D)", 32882},
      {"-", 0},
      {"固件版本(&V)", 32893}}},
    {"帮助(&H)", {{"操作说明(&O)", 32862}, {"关于(&A)", 32863}}},
};

// Toolbar: caption, id, tooltip (null: none); id 0 is a separator.
struct Slot {
    const char* caption;
    unsigned id;
    const char* tip;
};

const std::vector<Slot> kEnglishToolbar = {
    {"Open", 32884, "Open"},
    {"Save", 32885, "Save"},
    {"", 0, nullptr},
    {"Fill", 32894, "Fill"},
    {"Exc", 32895, "Exchange"},
    {"", 0, nullptr},
    {"Auto", 32891, "Auto"},
    {"Erase", 32886, "Erase"},
    {"Write", 32887, "Write"},
    {"Verify", 32888, "Verify"},
    {"Read", 32889, "Read"},
    {"", 0, nullptr},
    {"Ident", 32881, "Chip Identify"},
    {"Select", 32880, "Chip Select"},
    {"Edit", 32882, "Chip Edit"},
};

const std::vector<Slot> kChineseToolbar = {
    {"打开", 32884, "打开"},     {"保存", 32885, "保存"},     {"", 0, nullptr},
    {"填充", 32894, nullptr},    {"交换", 32895, nullptr},    {"", 0, nullptr},
    {"自动", 32891, "自动编程"}, {"擦除", 32886, "擦除"},     {"编程", 32887, "编程"},
    {"校验", 32888, "校验"},     {"读出", 32889, "读出"},     {"", 0, nullptr},
    {"识别", 32881, "器件识别"}, {"选择", 32880, "器件选择"}, {"编辑", 32882, "器件编辑"},
};

void checkMenu(CMainDlg& window, const Menu& expected) {
    const QList<QAction*> popups = window.menu()->actions();
    ASSERT_EQ(popups.size(), static_cast<qsizetype>(expected.size()));
    for (size_t p = 0; p < expected.size(); ++p) {
        EXPECT_EQ(popups[p]->text().toStdString(), expected[p].first);
        QMenu* menu = popups[p]->menu();
        ASSERT_NE(menu, nullptr);
        const QList<QAction*> items = menu->actions();
        const auto& rows = expected[p].second;
        // Commands added since come after the described ones, a separator first.
        ASSERT_GE(items.size(), static_cast<qsizetype>(rows.size())) << expected[p].first;
        if (items.size() > static_cast<qsizetype>(rows.size())) {
            EXPECT_TRUE(items[static_cast<qsizetype>(rows.size())]->isSeparator());
        }
        for (size_t i = 0; i < rows.size(); ++i) {
            if (rows[i].id == 0) {
                EXPECT_TRUE(items[i]->isSeparator()) << expected[p].first << " item " << i;
                continue;
            }
            EXPECT_FALSE(items[i]->isSeparator());
            EXPECT_EQ(items[i]->text().toStdString(), rows[i].text);
            EXPECT_EQ(items[i]->data().toUInt(), rows[i].id);
            EXPECT_TRUE(items[i]->isEnabled()) << rows[i].text;
            EXPECT_EQ(window.action(rows[i].id), items[i]);
        }
    }
}

// The tooltip a user sees when hovering over `button`.
QString hoverTip(QWidget* button) {
    QToolTip::hideText();
    // A hidden tip fades out; wait until it is gone.
    EXPECT_TRUE(QTest::qWaitFor([] { return !QToolTip::isVisible(); }, 2000));
    QHelpEvent hover(QEvent::ToolTip, QPoint(5, 5), button->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(button, &hover);
    return QToolTip::isVisible() ? QToolTip::text() : QString();
}

void checkToolbar(CMainDlg& window, const std::vector<Slot>& expected) {
    window.show();
    const QList<QAction*> buttons = window.toolBar()->actions();
    ASSERT_EQ(buttons.size(), static_cast<qsizetype>(expected.size()));
    EXPECT_EQ(window.toolBar()->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
    for (size_t i = 0; i < expected.size(); ++i) {
        if (expected[i].id == 0) {
            EXPECT_TRUE(buttons[i]->isSeparator()) << "slot " << i;
            continue;
        }
        // The button runs the same action as the menu item.
        EXPECT_EQ(buttons[i], window.action(expected[i].id)) << "slot " << i;
        auto* button = qobject_cast<QToolButton*>(window.toolBar()->widgetForAction(buttons[i]));
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->text().toStdString(), expected[i].caption);
        EXPECT_FALSE(button->icon().isNull()) << expected[i].caption;
        EXPECT_EQ(hoverTip(button).toStdString(), expected[i].tip ? expected[i].tip : "")
            << expected[i].caption;
    }
    QToolTip::hideText();
}

} // namespace

TEST(MenuAndToolbar, EnglishBuild) {
    auto started = startWindow(Language::English);
    checkMenu(*started->window, kEnglishMenu);
    checkToolbar(*started->window, kEnglishToolbar);
    EXPECT_EQ(started->window->windowTitle().toStdString(), "Brimwick+");
    EXPECT_FALSE(started->window->windowIcon().isNull());
}

TEST(MenuAndToolbar, ChineseBuildHasNoTipForFillAndExchange) {
    auto started = startWindow(Language::Chinese);
    checkMenu(*started->window, kChineseMenu);
    checkToolbar(*started->window, kChineseToolbar);
    EXPECT_EQ(started->window->windowTitle().toStdString(), "Brimwick+");
}

TEST(MenuAndToolbar, EnableCommandGreysMenuItemAndButtonTogether) {
    auto started = startWindow(Language::English);
    CMainDlg& window = *started->window;
    QWidget* button = window.toolBar()->widgetForAction(window.action(IdWrite));
    window.enableCommand(IdWrite, false);
    EXPECT_FALSE(window.action(IdWrite)->isEnabled());
    EXPECT_FALSE(button->isEnabled());
    window.enableCommand(IdWrite, true);
    EXPECT_TRUE(window.action(IdWrite)->isEnabled());
    EXPECT_TRUE(button->isEnabled());
}
