// Start-up without the database, without the default chip and without memory, and the
// commands a stopped start-up must refuse.
#include <QAction>
#include <QScrollBar>
#include <QTest>
#include <QTextEdit>
#include <gtest/gtest.h>

#include "AppTestSupport.h"
#include "app/HexViewWidget.h"
#include "dialogs/BufferFillDlg.h"

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
        EXPECT_EQ(boxes.texts(), language == Language::Chinese ? chinese : english);
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
        EXPECT_EQ(boxes.boxes.size(), language == Language::Chinese ? 3u : 2u);
    }
}

TEST(StartUp, WithoutTheDefaultChipTheWholeStoreIsInUseAndNothingIsShown) {
    RecordingSink boxes;
    auto started =
        startWindow(Language::English, {makeChip(ChipType::Eeprom24, "AT24C02", 256, 0, 8, 0, 0)});
    CMainDlg& window = *started->window;
    EXPECT_TRUE(started->startedUp);
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_EQ(window.currentChip().name[0], '\0');
    EXPECT_EQ(window.dataBuffer().length(), 0x1000000u);
    EXPECT_TRUE(window.chipInfoEdit()->toPlainText().isEmpty());
    EXPECT_EQ(window.shownPictureType(), 0);
    EXPECT_TRUE(window.action(IdErase)->isEnabled());
    EXPECT_EQ(hexLineCount(window), 0);
    EXPECT_EQ(window.hexView()->scrollBar()->maximum(), 32767);
}
