// Start-up without the database, without the default chip and without memory; the
// commands a stopped start-up must refuse; About and the user guide.
#include <QAction>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTextEdit>
#include <QToolBar>
#include <QUrl>
#include <fstream>
#include <gtest/gtest.h>

#include "AppTestSupport.h"
#include "app/AboutDlg.h"
#include "dialogs/BufferFillDlg.h"
#include "app/HexViewWidget.h"

TEST(StartUp, WithoutDatabaseTheWindowOpensButRefusesBufferCommands) {
    for (Language language : {Language::English, Language::Chinese}) {
        QTemporaryDir folder;
        RecordingSink boxes;
        CMainDlg window(language, folder.filePath("ChipInfo.chip").toStdString());
        EXPECT_FALSE(window.OnInitDialog({folder.filePath("x.bin").toStdString()}));
        ASSERT_FALSE(boxes.boxes.empty());
        EXPECT_EQ(boxes.boxes.back().text, language == Language::Chinese
                                               ? "器件信息数据库加载失败！"
                                               : "Failure to load chip database!");
        EXPECT_EQ(boxes.boxes.back().style, BoxStyle::Ok);
        EXPECT_FALSE(window.startedUp());
        EXPECT_FALSE(window.dataBuffer().allocated());
        EXPECT_EQ(hexLineCount(window), 0);
        EXPECT_TRUE(window.chipInfoEdit()->toPlainText().isEmpty());

        // Commands that need the buffer or the database are greyed and do nothing.
        for (unsigned id : {IdFileOpen, IdFileSave, IdEditFill, IdEditExchange, IdRead, IdWrite,
                            IdChipSelect, IdChipEdit}) {
            EXPECT_FALSE(window.action(id)->isEnabled()) << id;
            EXPECT_FALSE(window.commandAllowed(id)) << id;
        }
        EXPECT_TRUE(window.action(IdFileExit)->isEnabled());
        EXPECT_TRUE(window.action(IdHelpAbout)->isEnabled());
        const size_t before = boxes.boxes.size();
        auto fillShown = whenModal<BufferFillDlg>([](BufferFillDlg* dialog) { dialog->reject(); });
        window.runCommand(IdEditFill);
        window.runCommand(IdEditExchange);
        window.runCommand(IdFileSave);
        window.OnVScroll(SB_LINEDOWN, 0);
        QTest::qWait(30);
        EXPECT_FALSE(*fillShown);
        EXPECT_EQ(boxes.boxes.size(), before);
        EXPECT_FALSE(window.loadDataFile("x.bin"));
    }
}

TEST(StartUp, WithoutTheDefaultChipTheWholeStoreIsInUseAndNothingIsShown) {
    RecordingSink boxes;
    auto started =
        startWindow(Language::English, {makeChip(ChipType::Eeprom24, "AT24C02", 256, 0, 8, 0, 0)});
    CMainDlg& window = *started->window;
    EXPECT_TRUE(started->startedUp);
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_EQ(window.currentChip().capacity, 0u);
    EXPECT_EQ(window.currentChip().name[0], '\0');
    EXPECT_EQ(window.dataBuffer().length(), 0x1000000u);
    EXPECT_TRUE(window.chipInfoEdit()->toPlainText().isEmpty());
    EXPECT_EQ(window.shownPictureType(), 0);
    EXPECT_TRUE(window.action(IdErase)->isEnabled());
    EXPECT_TRUE(window.action(IdChipIdentify)->isEnabled());
    EXPECT_EQ(hexLineCount(window), 0);
    EXPECT_EQ(window.hexView()->scrollBar()->maximum(), 32767);

    // A load reads nothing (capacity 0); a save writes an empty file.
    const std::string file = started->path("data.bin");
    { std::ofstream(file, std::ios::binary) << "ABC"; }
    EXPECT_TRUE(window.loadDataFile(file));
    uint8_t first = 0;
    window.dataBuffer().copyOut(0, &first, 1);
    EXPECT_EQ(first, 0xFF);
}

TEST(StartUp, DefaultChipSetsTheLength) {
    auto started = startWindow(Language::Chinese);
    CMainDlg& window = *started->window;
    EXPECT_EQ(std::string(window.currentChip().name), "EN25T80");
    EXPECT_EQ(window.dataBuffer().length(), 0x100000u);
    EXPECT_EQ(window.chipInfoGroup()->title().toStdString(), "器件信息");
    EXPECT_NE(window.chipInfoEdit()->toPlainText().indexOf("器件：EN25T80"), -1);
}

TEST(StartUp, MemoryShortageIsReportedAndClosesTheWindow) {
    QTemporaryDir folder;
    const std::string database = folder.filePath("ChipInfo.chip").toStdString();
    writeDatabase(database, standardChips());
    RecordingSink boxes;
    CMainDlg window(Language::Chinese, database);
    window.setStoreAllocator([](DataBuffer&) { return false; });
    bool closed = false;
    QObject::connect(&window, &QDialog::rejected, [&closed] { closed = true; });
    EXPECT_FALSE(window.OnInitDialog({}));
    EXPECT_EQ(boxes.texts(), std::vector<std::string>{"内存不足！"});
    EXPECT_FALSE(window.startedUp());
    EXPECT_FALSE(window.action(IdEditFill)->isEnabled());
    QTest::qWait(20);
    EXPECT_TRUE(closed);
}

TEST(Help, UserGuideMissingOrRefusedShowsTheMessage) {
    auto started = startWindow(Language::Chinese);
    CMainDlg& window = *started->window;
    RecordingSink boxes;
    std::vector<QUrl> opened;
    bool opens = true;
    window.setDocumentOpener([&](const QUrl& url) {
        opened.push_back(url);
        return opens;
    });
    window.action(IdHelpUserGuide)->trigger();
    EXPECT_TRUE(opened.empty());
    EXPECT_EQ(boxes.texts(), std::vector<std::string>{"can not open the help document!"});

    const QString guide = QDir(started->folder.path()).filePath("UserGuide.pdf");
    { std::ofstream(guide.toStdString()) << "%PDF-1.4\n"; }
    boxes.boxes.clear();
    // Whatever the current folder is.
    const QString previous = QDir::currentPath();
    QDir::setCurrent(QDir::rootPath());
    window.action(IdHelpUserGuide)->trigger();
    QDir::setCurrent(previous);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], QUrl::fromLocalFile(guide));
    EXPECT_TRUE(boxes.boxes.empty());

    opens = false;
    window.action(IdHelpUserGuide)->trigger();
    EXPECT_EQ(boxes.texts(), std::vector<std::string>{"can not open the help document!"});
}

TEST(Help, AboutBoxOfEachBuild) {
    for (Language language : {Language::English, Language::Chinese}) {
        auto started = startWindow(language);
        std::string title, text, button, database;
        auto ran = whenModal<CAboutDlg>([&](CAboutDlg* about) {
            title = about->windowTitle().toStdString();
            for (QLabel* label : about->findChildren<QLabel*>())
                if (!label->text().isEmpty() && label != about->databaseLabel())
                    text = label->text().toStdString();
            button = about->okButton()->text().toStdString();
            database = about->databaseLabel()->text().toStdString();
            EXPECT_LE(about->databaseLabel()->sizeHint().width(), about->databaseLabel()->width());
            QTest::keyClick(about, Qt::Key_Escape);
        });
        started->window->action(IdHelpAbout)->trigger();
        ASSERT_TRUE(*ran);
        EXPECT_EQ(title, language == Language::Chinese ? "关于 Brimwick+" : "About Brimwick");
        EXPECT_EQ(text, "Brimwick+ V2.0");
        EXPECT_EQ(button, language == Language::Chinese ? "确定" : "OK");
        EXPECT_EQ(database,
                  (language == Language::Chinese ? "器件信息数据库：" : "Chip database: ") +
                      started->path("ChipInfo.chip"));
        EXPECT_TRUE(started->window->isEnabled());
    }
}
