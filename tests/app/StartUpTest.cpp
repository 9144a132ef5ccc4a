// Start-up without the database, without the default chip and without memory, and the
// commands a stopped start-up must refuse.
#include <QAction>
#include <QScrollBar>
#include <QTest>
#include <QTextEdit>
#include <gtest/gtest.h>

#include "AppTestSupport.h"
#include "dialogs/BufferFillDlg.h"
#include "app/HexViewWidget.h"

TEST(StartUp, WithoutTheDatabaseTheWindowOpensButRefusesWhatNeedsTheBuffer) {
    for (Language language : {Language::English, Language::Chinese}) {
        QTemporaryDir folder;
        RecordingSink boxes;
        CMainDlg window(language, folder.filePath("ChipInfo.chip").toStdString());
        EXPECT_FALSE(window.OnInitDialog({folder.filePath("x.bin").toStdString()}));
        ASSERT_FALSE(boxes.boxes.empty());
        EXPECT_EQ(boxes.boxes.back().text, language == Language::Chinese
                                               ? "器件信息数据库加载失败！"
                                               : "Failure to load chip database!");
        EXPECT_FALSE(window.dataBuffer().allocated());
        EXPECT_EQ(hexLineCount(window), 0);
        for (unsigned id : {IdFileOpen, IdFileSave, IdEditFill, IdEditExchange, IdRead, IdWrite,
                            IdChipSelect, IdChipEdit})
            EXPECT_FALSE(window.action(id)->isEnabled()) << id;
        EXPECT_TRUE(window.action(IdFileExit)->isEnabled());
        EXPECT_TRUE(window.action(IdHelpAbout)->isEnabled());
        const size_t before = boxes.boxes.size();
        auto fillShown = whenModal<BufferFillDlg>([](BufferFillDlg* dialog) { dialog->reject(); });
        window.runCommand(IdEditFill);
        window.runCommand(IdFileSave);
        window.OnVScroll(SB_LINEDOWN, 0);
        QTest::qWait(30);
        EXPECT_FALSE(*fillShown);
        EXPECT_EQ(boxes.boxes.size(), before);
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
    EXPECT_FALSE(window.action(IdEditFill)->isEnabled());
    EXPECT_TRUE(QTest::qWaitFor([&closed] { return closed; }, 2000));
}
