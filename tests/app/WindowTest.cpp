// The main window of each build, start-up without database/chip/memory, help through the real
// opener, boxes.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "AppTestSupport.h"
#include "TempFolder.h"
#include "app/AboutDlg.h"
#include "app/ChipInfoText.h"
#include "app/HexViewWidget.h"
#include "app/QtMessageBoxSink.h"
#include "app/UserGuideWindow.h"
#include "dialogs/BufferFillDlg.h"
#include "tests/support/SimProgrammer.h"

namespace {

// Menu entries and toolbar slots in order; 0 is a separator.
const unsigned kMenuIds[] = {32884, 32885, 0,     32896, 0,     32917, 0,     32841, 32894, 32895,
                             0,     32910, 32911, 0,     32912, 32913, 32914, 32915, 0,     32916,
                             32891, 0,     32889, 32886, 32887, 32888, 0,     32881, 32880, 32882,
                             0,     32893, 0,     32918, 0,     32940, 32862, 32863};
const unsigned kToolIds[] = {32884, 32885, 0,     32894, 32895, 0,     32891, 32886,
                             32887, 32888, 32889, 0,     32881, 32880, 32882};

struct Build {
    Language language;
    const char* menus;   // "Pop-up: item|item|-|item; ..."
    const char* toolbar; // "caption/tooltip ..." ("-" separator, no tooltip after the slash)
    const char* panel;
    const char *group, *aboutTitle, *database, *ok;
};

const Build kBuilds[] = {
    {Language::English,
     "File(&F): Open(&O)[Ctrl+O]|Save(&S)[Ctrl+S]|-|Relate(&R)|-|Compare with File(&C)|-|"
     "Exit(&X)[Ctrl+Q]; Edit(&E): Fill(&F)|Exchange(&C)|-|Undo(&U)[Ctrl+Z]|Redo(&R)[Ctrl+Shift+Z; "
     "Ctrl+Y]|-|Go To Address(&G)[Ctrl+G]|Find(&I)[Ctrl+F]|Find Next(&N)[F3]|Find "
     "Previous(&P)[Shift+F3]|-|Checksum(&K); Operat(&P): Auto(&A)|-|Read(&R)|Erase(&E)|Write(&W)|"
     "Verify(&C)|-|Chip Identify(&G)|Chip Select(&L)|Chip Edit(&D)|-|Firmware Version(&V)|-|Blank "
     "Check(&B)|-|Programmer(&M); Help(&H): User Guide(&O)|About(&A); ",
     "Open/Open Save/Save - Fill/Fill Exc/Exchange - Auto/Auto Erase/Erase Write/Write "
     "Verify/Verify Read/Read - Ident/Chip Identify Select/Chip Select Edit/Chip Edit ",
     "Chip:EN25T80\n\nManufacturer:Eon\n\nCapacity:1MB\n\nManufacturer ID:1C \n\n"
     "Device ID:13 \n\nProgram Mode:PP\n\nPage Size:256Bytes\n",
     "Chip Info", "About Brimwick", "Chip database: ", "OK"},
    {Language::Chinese,
     "文件(&F): 打开文件(&O)[Ctrl+O]|保存文件(&S)[Ctrl+S]|-|文件关联(&R)|-|与文件比较(&C)|-|"
     "退出(&X)[Ctrl+Q]; 编辑(&E): 填充(&F)|交换(&C)|-|撤销(&U)[Ctrl+Z]|重做(&R)[Ctrl+Shift+Z; "
     "Ctrl+Y]|-|转到地址(&G)[Ctrl+G]|查找(&I)[Ctrl+F]|查找下一个(&N)[F3]|查找上一个(&P)[Shift+F3]|"
     "-|校验和(&K); 操作(&P): 自动编程(&A)|-|读出&R)|擦除(&E)|编程(&W)|校验(&C)|-|器件识别(&G)|"
     "器件选择(&L)|器件编辑(&D)|-|固件版本(&V)|-|查空(&B)|-|编程器(&M); 帮助(&H): 操作说明(&O)|"
     "关于(&A); ",
     "打开/打开 保存/保存 - 填充/ 交换/ - 自动/自动编程 擦除/擦除 编程/编程 校验/校验 读出/读出 - "
     "识别/器件识别 选择/器件选择 编辑/器件编辑 ",
     "器件：EN25T80\n\n厂商：Eon\n\n容量：1MB\n\n厂商ID：1C \n\n器件ID：13 \n\n"
     "编程模式：页编程\n\n页大小：256字节\n",
     "器件信息", "关于 Brimwick+", "器件信息数据库：", "确定"},
};

} // namespace

TEST(Window, EachBuildShowsItsMenusToolbarPanelAndAbout) {
    for (const Build& build : kBuilds) {
        SCOPED_TRACE(build.group);
        auto started = startWindow(build.language);
        CMainDlg& window = *started->window;
        window.show();
        EXPECT_EQ(window.windowTitle().toStdString(), "Brimwick+");
        std::string menus;
        size_t item = 0;
        for (QAction* popup : window.menu()->actions()) {
            menus += popup->text().toStdString() + ": ";
            for (QAction* entry : popup->menu()->actions()) {
                const std::string keys =
                    QKeySequence::listToString(entry->shortcuts()).toStdString();
                menus += entry->isSeparator() ? "-|"
                                              : entry->text().toStdString() +
                                                    (keys.empty() ? "" : "[" + keys + "]") + "|";
                ASSERT_LT(item, std::size(kMenuIds));
                EXPECT_EQ(entry->isSeparator() ? 0u : entry->data().toUInt(), kMenuIds[item++]);
                // Undo and Redo wait for something to undo.
                const unsigned id = entry->data().toUInt();
                EXPECT_EQ(entry->isEnabled(), id != IdEditUndo && id != IdEditRedo);
            }
            menus.back() = ';';
            menus += " ";
        }
        EXPECT_EQ(menus, build.menus);
        ASSERT_TRUE((window.activateWindow(), QTest::qWaitForWindowActive(&window)));
        // Alt and the underlined letter open each menu.
        for (int i = 0; i < 4; ++i) {
            QTest::keyClick(&window, Qt::Key("FEPH"[i]), Qt::AltModifier);
            QMenu* popup = window.menu()->actions()[i]->menu();
            EXPECT_TRUE(popup->isVisible() && popup->close()) << i;
        }

        std::string toolbar;
        item = 0;
        for (QAction* slot : window.toolBar()->actions()) {
            ASSERT_LT(item, std::size(kToolIds));
            if (slot->isSeparator()) {
                toolbar += "- ";
                EXPECT_EQ(kToolIds[item++], 0u);
                continue;
            }
            EXPECT_EQ(slot, window.action(kToolIds[item++])); // the menu item's own action
            auto* button = qobject_cast<QToolButton*>(window.toolBar()->widgetForAction(slot));
            EXPECT_FALSE(button->icon().isNull());
            QToolTip::hideText(); // then the tooltip a user sees when hovering over it
            EXPECT_TRUE(QTest::qWaitFor([] { return !QToolTip::isVisible(); }, 2000));
            QHelpEvent hover(QEvent::ToolTip, QPoint(5, 5), button->mapToGlobal(QPoint(5, 5)));
            QApplication::sendEvent(button, &hover);
            toolbar += button->text().toStdString() + "/" +
                       (QToolTip::isVisible() ? QToolTip::text().toStdString() : "") + " ";
        }
        EXPECT_EQ(toolbar, build.toolbar);

        EXPECT_EQ(window.chipInfoGroup()->title().toStdString(), build.group);
        EXPECT_EQ(window.chipInfoEdit()->toPlainText().toStdString(), build.panel);
        std::string title, text, ok;
        auto ran = whenModal<CAboutDlg>([&](CAboutDlg* about) {
            title = about->windowTitle().toStdString();
            for (QLabel* label : about->findChildren<QLabel*>())
                text += label->text().toStdString() + "|";
            ok = about->okButton()->text().toStdString();
            EXPECT_LE(about->databaseLabel()->sizeHint().width(), about->databaseLabel()->width());
            QTest::keyClick(about, Qt::Key_Escape);
        });
        window.action(IdHelpAbout)->trigger();
        ASSERT_TRUE(*ran);
        EXPECT_EQ(title + "|" + text + ok, std::string(build.aboutTitle) + "||Brimwick+ V2.0|" +
                                               build.database + started->path("ChipInfo.chip") +
                                               "|" + build.ok);
    }
}

TEST(Window, PanelStatusAndProgressFollowTheChipEnterEscAndExitClose) {
    auto started = startWindow(Language::English);
    CMainDlg& window = *started->window;
    const struct {
        ChipInfo chip;
        int picture;
        const char* capacity;
    } chips[] = {
        {makeChip(ChipType::Eeprom24, "AT24C02", 1536, 0, 8, 0x05, 0xEF), 1, "1KB"},
        {makeChip(ChipType::Eeprom93, "M93C46", 128, 0, 0, 0, 0, 16), 3,
         "64 x16bit\r\n\r\n(MSB First)"},
        {makeChip(ChipType::Flash25, "W25Q16", 0x180000, 1, 256, 0, 0, 16), 0, "1MB"},
        {makeChip(ChipType::Eeprom25, "25LC", 1024), 2, "1KB"},
        {makeChip(ChipType::Eeprom93, "M93C86", 0x200000, 0, 0, 0, 0, 8), 3, "2M x8bit"},
        {makeChip(ChipType::Eeprom93, "M93C76", 2048, 0, 0, 0, 0, 0), 3,
         "1K x16bit\r\n\r\n(MSB First)"},
        {makeChip(static_cast<ChipType>(7), "ODD", 128), -1, "128B"},
    };
    for (const auto& c : chips) {
        SCOPED_TRACE(c.chip.name);
        selectChip(window, c.chip);
        EXPECT_EQ(window.shownPictureType(), c.picture);
        EXPECT_EQ(window.chipPictureLabel()->pixmap().isNull(), c.picture < 0);
        // Erase and Identify follow the family; an unknown one leaves them as they were.
        EXPECT_EQ(window.toolBar()->widgetForAction(window.action(IdErase))->isEnabled(),
                  c.picture == 0);
        EXPECT_EQ(window.action(IdChipIdentify)->isEnabled(), c.picture == 0);
        EXPECT_EQ(capacityText(c.chip, kTextsEnglish),
                  "Capacity:" + std::string(c.capacity) + "\r\n\r\n");
    }
    EXPECT_NE(chipInfoText(chips[0].chip, kTextsEnglish)
                  .find("Manufacturer ID:05 \r\n\r\nDevice ID:EF \r\n\r\nProgram Mode:BP\r\n"),
              std::string::npos);
    EXPECT_EQ(chipInfoText(chips[0].chip, kTextsChinese).find("页大小"), std::string::npos);

    window.setStatusText("设备打开失败！\r\n请重新连接设备！");
    EXPECT_EQ(window.statusEdit()->text().toStdString(), "设备打开失败！ 请重新连接设备！");
    std::string shown;
    for (int percent : {5, 99, 100, 0x10000 + 42}) {
        window.showPercent(percent);
        shown += window.percentEdit()->text().toStdString() +
                 std::to_string(window.progressBar()->value()) + " ";
    }
    uint16_t progress = 150;
    window.setProgressSource([&progress] { return progress; });
    window.showProgress();
    shown +=
        window.percentEdit()->text().toStdString() + std::to_string(window.progressBar()->value());
    EXPECT_EQ(shown, " 5%5 99%99 99%99 42%42 150%100");

    // Enter accepts and Esc rejects wherever the focus is; File > Exit closes.
    std::string results;
    for (int key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
        window.show();
        window.setResult(-1);
        window.statusEdit()->setFocus();
        QTest::keyClick(window.statusEdit(), static_cast<Qt::Key>(key));
        results += window.isVisible() ? "shown " : std::to_string(window.result()) + " ";
    }
    window.show();
    window.action(IdFileExit)->trigger();
    EXPECT_EQ(results + (window.isVisible() ? "shown" : "closed"), "1 1 0 closed");
}

TEST(Window, ClosingWithUnsavedChangesAsksSaveDiscardOrCancel) {
    // Steps: F fill, X exchange, U undo, R redo, S save. After: title, asked, window, file, buffer.
    const struct {
        const char *steps, *close, *answer, *after;
    } cases[] = {
        {"F", "Esc", "Save", "*image.bin - Brimwick+|asked|closed|AALLO|AA"},
        {"XUR", "Return", "Discard", "*image.bin - Brimwick+|asked|closed||EH"},
        {"FUU", "Ctrl+Q", "Cancel", "*image.bin - Brimwick+|asked|shown||\xFF\xFF"},
        {"F", "close", "Save/no file", "*image.bin - Brimwick+|asked|shown||AA"},
        {"", "Esc", "Cancel", "image.bin - Brimwick+|-|closed||HE"}, // nothing to ask
        {"FU", "close", "Cancel", "image.bin - Brimwick+|-|closed||HE"},
        {"FSUR", "Ctrl+Q", "Cancel", "saved.bin - Brimwick+|-|closed|AALLO|AA"},
    };
    const unsigned ids[] = {IdEditExchange, IdEditUndo, IdEditRedo, IdFileSave};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.steps) + " " + c.close + " " + c.answer);
        auto started = startWindow(Language::English);
        CMainDlg& window = *started->window;
        const std::string saved = started->path("saved.bin"), answer = c.answer, close = c.close;
        writeFile(started->path("image.bin"), "HELLO");
        ASSERT_TRUE(window.loadDataFile(started->path("image.bin")));
        window.show();
        for (char step : std::string(c.steps))
            step == 'F' ? void(fillBuffer(window, "0", "1", "41"))
                        : (step == 'S' ? void(answerFileDialog(saved)) : void(),
                           window.action(ids[std::string_view("XURS").find(step)])->trigger());
        std::string after = window.windowTitle().toStdString();
        ASSERT_TRUE((window.activateWindow(), QTest::qWaitForWindowActive(&window))); // Ctrl+Q
        answer == "Save"
            ? void(answerFileDialog(saved))
            : void(whenModal<QFileDialog>([](QFileDialog* files) { files->reject(); }));
        auto asked = whenModal<QMessageBox>([&answer](QMessageBox* box) {
            for (QAbstractButton* button : box->buttons())
                if (button->text().toStdString() == answer.substr(0, answer.find('/')))
                    button->click();
        });
        close == "close" ? void(window.close()) // the close button; Ctrl+Q is File > Exit
                         : QTest::keySequence(&window, QKeySequence(QString::fromStdString(close)));
        qDeleteAll(qApp->findChildren<QTimer*>(Qt::FindDirectChildrenOnly)); // unused answers
        EXPECT_EQ(after + (*asked ? "|asked|" : "|-|") +
                      (window.isVisible() ? "shown|" : "closed|") + readFile(saved).substr(0, 5) +
                      "|" + bytesAt(window, 0, 2),
                  c.after);
    }
}

TEST(Window, TheProgrammerMenuListsEveryProgrammerAndDeviceCommandsUseTheChosenOne) {
    const ChipInfo chip = standardChips()[0];
    testsupport::SimProgrammer one(&chip);
    sim::ProgrammerFirmware firmware(&chip, {"SECOND V2", {}, {}});
    sim::SimServer two(firmware);
    ASSERT_TRUE(two.start());
    auto started = startWindow(Language::Chinese);
    CMainDlg& window = *started->window;
    auto shown = [&] { // the status line, then the menu; "*" marks the one in use
        emit window.programmerMenu()->aboutToShow();
        QString text = window.statusEdit()->text();
        for (QAction* entry : window.programmerMenu()->actions())
            text += (entry->isChecked() ? "|*" : "| ") + entry->text();
        return text.replace("&&", "&")
            .replace(QString::fromStdString(one.socketPath()), "one")
            .replace(QString::fromStdString(two.socketPath()), "two")
            .toStdString();
    };
    EXPECT_EQ(shown(), "编程器：one|*one  Brimwick SIM V1.00| two  SECOND V2| | SPI 时钟");
    window.programmerMenu()->actions()[1]->trigger();
    EXPECT_EQ(shown(), "编程器：two| one  Brimwick SIM V1.00|*two  SECOND V2| | SPI 时钟");
    const size_t before = one.commandCount(), chosen = firmware.commandLog().size();
    window.action(IdRead)->trigger();
    EXPECT_EQ(window.windowTitle().toStdString() + std::to_string(one.commandCount() - before) +
                  std::to_string(firmware.commandLog().size() > chosen),
              "EN25T80 - Brimwick+01");
    two.stop(); // gone: the first present again
    window.action(IdRead)->trigger();
    EXPECT_EQ(shown().substr(shown().find('|')) + std::to_string(one.commandCount() > before),
              "|*one  Brimwick SIM V1.00| | SPI 时钟1");
}

TEST(StartUp, WithoutDatabaseOrMemoryTheWindowOpensButRefusesWhatNeedsTheBuffer) {
    for (Language language : {Language::English, Language::Chinese}) {
        QTemporaryDir folder;
        const std::string database = folder.filePath("ChipInfo.chip").toStdString();
        RecordingSink boxes;
        CMainDlg noDatabase(language, database);
        EXPECT_FALSE(noDatabase.OnInitDialog({folder.filePath("x.bin").toStdString()}));
        writeDatabase(database, standardChips());
        CMainDlg noMemory(language, database);
        noMemory.setStoreAllocator([](DataBuffer&) { return false; });
        bool closed = false;
        QObject::connect(&noMemory, &QDialog::rejected, [&closed] { closed = true; });
        EXPECT_FALSE(noMemory.OnInitDialog({}));
        const std::vector<std::string> chinese = {"打开文件失败！", "器件信息数据库加载失败！",
                                                  "内存不足！"},
                                       english = {"Failure to load chip database!",
                                                  "Memory is not enough!"};
        EXPECT_TRUE(QTest::qWaitFor([&closed] { return closed; }, 2000));
        EXPECT_FALSE(noDatabase.dataBuffer().allocated());
        EXPECT_EQ(hexLineCount(noDatabase), 0);
        for (CMainDlg* window : {&noDatabase, &noMemory}) {
            for (unsigned id : {IdFileOpen, IdFileSave, IdEditFill, IdEditExchange, IdRead, IdWrite,
                                IdChipSelect, IdChipEdit})
                EXPECT_FALSE(window->action(id)->isEnabled()) << id;
            EXPECT_TRUE(window->action(IdFileExit)->isEnabled() &&
                        window->action(IdHelpAbout)->isEnabled());
        }
        auto fillShown = whenModal<BufferFillDlg>([](BufferFillDlg* dialog) { dialog->reject(); });
        noDatabase.runCommand(IdEditFill);
        noDatabase.runCommand(IdFileSave);
        noDatabase.OnVScroll(SB_LINEDOWN, 0);
        QTest::qWait(30);
        EXPECT_FALSE(*fillShown);
        EXPECT_EQ(boxes.texts(), language == Language::Chinese ? chinese : english);
    }
}

TEST(StartUp, WithoutTheDefaultChipTheWholeStoreIsInUseAndNothingIsShown) {
    RecordingSink boxes;
    auto started =
        startWindow(Language::English, {makeChip(ChipType::Eeprom24, "AT24C02", 256, 0, 8, 0, 0)});
    CMainDlg& window = *started->window;
    EXPECT_TRUE(started->startedUp && boxes.boxes.empty() && window.currentChip().name[0] == 0);
    EXPECT_EQ(formatText("%X %d %d %d %d %d", window.dataBuffer().length(),
                         int(window.chipInfoEdit()->toPlainText().size()),
                         window.shownPictureType(), window.action(IdErase)->isEnabled(),
                         hexLineCount(window), window.hexView()->scrollBar()->maximum()),
              "1000000 0 0 1 0 32767");
}

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
    const std::vector<std::string> failure = {"无法打开帮助文档！"};
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
    // An opener that ends in failure or is missing is reported; one that succeeds says nothing.
    window.setDocumentOpener(QStringLiteral("false"));
    EXPECT_EQ(openGuide(window), failure);
    window.setDocumentOpener(QStringLiteral("true"));
    EXPECT_TRUE(openGuide(window).empty());
    window.setDocumentOpener(QStringLiteral("/nonexistent/xdg-open"));
    EXPECT_EQ(openGuide(window), failure);
    // A window closed while its opener still runs leaves no box behind.
    writeFile(started->path("slow"), "#!/bin/sh\nsleep 2\nexit 1\n");
    ::chmod(started->path("slow").c_str(), 0755);
    window.setDocumentOpener(QString::fromStdString(started->path("slow")));
    RecordingSink boxes;
    window.action(IdHelpUserGuide)->trigger();
    started->window.reset();
    QTest::qWait(50);
    EXPECT_TRUE(boxes.boxes.empty());
}

// A desktop with no PDF viewer, or no UserGuide.pdf: the built guide of the build's language
// in a window of its own, once however often it is asked for. The viewer is asked first, for
// the build's own PDF.
TEST(Help, WithoutAViewerTheGuideOfTheBuildsLanguageShowsInsideTheProgram) {
    for (auto [language, page, title, pdf] :
         {std::tuple{Language::English, "UserGuide.html", "Brimwick+ User Guide", "UserGuide.pdf"},
          {Language::Chinese, "UserGuide_zh_CN.html", "Brimwick+ 操作说明",
           "UserGuide_zh_CN.pdf"}}) {
        auto started = startWindow(language);
        CMainDlg& window = *started->window;
        const QString built = QCoreApplication::applicationDirPath() + "/" + page;
        writeFile(started->path(page), readFile(built.toStdString()));
        EXPECT_TRUE(openGuide(window).empty()) << page; // no PDF: no opener, no box
        ASSERT_EQ(window.findChildren<UserGuideWindow*>().size(), 1u) << page;
        window.findChild<UserGuideWindow*>()->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        window.setUserGuideFolder(QString()); // the guide built beside the program
        writeFile(started->path("viewerless"), "#!/bin/sh\necho \"$1\" >>\"$0.log\"\nexit 3\n");
        ::chmod(started->path("viewerless").c_str(), 0755);
        window.setDocumentOpener(QString::fromStdString(started->path("viewerless")));
        EXPECT_TRUE(openGuide(window).empty() && openGuide(window).empty()) << page;
        const std::string asked = QCoreApplication::applicationDirPath().toStdString() + "/" + pdf;
        EXPECT_EQ(readFile(started->path("viewerless.log")), asked + "\n" + asked + "\n");
        const auto guides = window.findChildren<UserGuideWindow*>();
        ASSERT_EQ(guides.size(), 1u) << page;
        EXPECT_TRUE(guides[0]->isVisible() && !guides[0]->isModal());
        EXPECT_EQ(guides[0]->windowTitle().toStdString(), title);
        EXPECT_TRUE(guides[0]->browser()->toPlainText().startsWith(title));
    }
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
