// Commands chosen while an operation runs, closing the window meanwhile, and the
// device steps of start-up.
#include "tests/operations/OperationsFixture.h"

#include <QTimer>

using namespace optest;

namespace {

// 1 MiB at the programmer's real data rate: a read of about 0.9 s.
sim::FirmwareOptions paced() {
    sim::FirmwareOptions options;
    options.pacing.bytesPerSecond = 1'216'000;
    return options;
}

} // namespace

TEST_F(OperationsTest, ACommandChosenDuringAReadFindsTheDeviceBusy) {
    for (Language language : {Language::English, Language::Chinese}) {
        const ChipInfo chip = flashChip("EN25T80", 0x100000);
        plugIn(&chip, paced());
        const Bytes contents = pattern(0x100000, 9);
        firmware_->setChipContents(0, contents);
        CMainDlg& window = start(language);

        size_t commandsDuring = 0;
        bool fired = false;
        QTimer::singleShot(200, &window, [&] {
            fired = true;
            const size_t before = commandCount();
            for (unsigned id :
                 {IdRead, IdVerify, IdAuto, IdFirmwareVersion, IdChipIdentify, IdErase, IdWrite})
                window.runCommand(id);
            commandsDuring = commandCount() - before;
        });
        window.runCommand(IdRead);
        ASSERT_TRUE(fired);
        EXPECT_EQ(commandsDuring, 0u);
        const char* busy = language == Language::English ? "Device busy!" : "设备忙！";
        // Auto's three steps each find it busy.
        EXPECT_EQ(boxes_.texts(), std::vector<std::string>(9, busy));
        // The read itself went on undisturbed.
        EXPECT_EQ(status(), language == Language::English ? "Read Successfully" : "读数据完成！");
        EXPECT_EQ(storeBytes(0, 0x100000), contents);
        boxes_.boxes.clear();

        // Afterwards the programmer is free again.
        window.runCommand(IdFirmwareVersion);
        ASSERT_EQ(boxes_.boxes.size(), 1u);
        EXPECT_NE(boxes_.boxes[0].text.find("Brimwick SIM V1.00"), std::string::npos);
        boxes_.boxes.clear();
        started_.reset();
    }
}

TEST_F(OperationsTest, ClosingTheWindowDuringAnOperationEndsItsRunWhenTheHandlerReturns) {
    const ChipInfo chip = flashChip("EN25T80", 0x100000);
    sim::FirmwareOptions options = paced();
    options.pacing.eraseMs = 400;
    plugIn(&chip, options);
    const Bytes contents = pattern(0x100000, 4);
    firmware_->setChipContents(0, contents);
    CMainDlg& window = start(Language::English);

    for (unsigned id : {IdRead, IdAuto}) {
        std::string statusAtClose;
        QTimer::singleShot(0, &window, [&window, id] { window.runCommand(id); });
        QTimer::singleShot(300, &window, [&] {
            statusAtClose = status();
            window.close();
        });
        const auto begin = std::chrono::steady_clock::now();
        window.exec();
        // The run ended only once the handler had finished its work.
        EXPECT_FALSE(window.isVisible());
        EXPECT_FALSE(statusAtClose.empty());
        EXPECT_NE(statusAtClose, status());
        EXPECT_GT(secondsSince(begin), 0.8);
        EXPECT_TRUE(boxes_.boxes.empty()) << boxes_.boxes.front().text;
        if (id == IdRead) {
            EXPECT_EQ(status(), "Read Successfully");
            EXPECT_EQ(storeBytes(0, 0x100000), contents);
        } else {
            EXPECT_EQ(status(), "Verify Successfully");
        }
    }
    started_.reset(); // nothing of the window is left running
    EXPECT_EQ(firmware_->chipContents(), contents);
}

TEST_F(OperationsTest, StartUpReportsAMissingProgrammerAndGoesOn) {
    for (Language language : {Language::English, Language::Chinese}) {
        const std::string failure = language == Language::English
                                        ? "Failure to open device!"
                                        : "设备打开失败！\r\n请重新连接设备！";
        CMainDlg& window = start(language);
        // The one-line status box shows the line break as a space.
        EXPECT_EQ(status(), language == Language::English ? "Failure to open device!"
                                                          : "设备打开失败！ 请重新连接设备！");
        ASSERT_EQ(boxes_.boxes.size(), 1u);
        EXPECT_EQ(boxes_.boxes[0].text, failure);
        EXPECT_EQ(boxes_.boxes[0].style, BoxStyle::Ok);
        boxes_.boxes.clear();

        // Every device command says the same until the programmer is there...
        window.runCommand(IdRead);
        EXPECT_EQ(boxes_.texts(), std::vector<std::string>{failure});
        boxes_.boxes.clear();

        // ...and works once it is: the programmer was bound all the same.
        const ChipInfo chip = flashChip("EN25T80", 0x100000);
        plugIn(&chip);
        firmware_->setChipContents(0, {0x12, 0x34});
        window.runCommand(IdRead);
        EXPECT_TRUE(boxes_.boxes.empty());
        EXPECT_EQ(storeBytes(0, 2), (Bytes{0x12, 0x34}));
        started_.reset();
        server_.reset();
    }
}

TEST_F(OperationsTest, StartUpWithTheProgrammerPresentSaysNothing) {
    const ChipInfo chip = flashChip("EN25T80", 0x100000);
    plugIn(&chip);
    CMainDlg& window = start(Language::English);
    EXPECT_TRUE(boxes_.boxes.empty());
    EXPECT_EQ(status(), "");
    EXPECT_EQ(commandCount(), 0u); // opening sends no command
    window.runCommand(IdVerify);
    EXPECT_EQ(status(), "Verify Successfully"); // erased chip, buffer of 0xFF
}
