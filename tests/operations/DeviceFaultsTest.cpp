// A programmer that is unplugged or stops answering during a command: the failure is
// shown within the link's limits, the buffer keeps its bytes, and once the programmer
// is back the next command works.
#include "tests/operations/OperationsFixture.h"

using namespace optest;

namespace {

constexpr uint32_t kChipSize = 0x40000;

class DeviceFaults : public OperationsTest {
  protected:
    // A 256 KiB flash chip holding a pattern, the window on it and the buffer filled
    // with other bytes.
    CMainDlg& startWith(const sim::Faults& faults, Language language = Language::English) {
        chip_ = flashChip("FL25X02", kChipSize, 0xEF, 0x12);
        sim::FirmwareOptions options = unpaced();
        options.faults = faults;
        options.pacing.eraseMs = 300;
        plugIn(&chip_, options);
        firmware_->setChipContents(0, pattern(kChipSize, 2));
        CMainDlg& window = start(language, {flashChip("EN25T80", 0x100000), chip_});
        select(chip_);
        setStore(0, pattern(kChipSize, 8));
        return window;
    }

    // Runs the command; the seconds it took.
    double timed(unsigned id) {
        const auto begin = std::chrono::steady_clock::now();
        window().runCommand(id);
        return secondsSince(begin);
    }

    // After the failure: the programmer back, healthy, and the command works.
    void expectWorksAgain(unsigned id, const char* done) {
        boxes_.boxes.clear();
        replug();
        window().runCommand(id);
        EXPECT_TRUE(boxes_.boxes.empty()) << boxes_.boxes.front().text;
        EXPECT_EQ(status(), done);
    }

    ChipInfo chip_{};
};

} // namespace

TEST_F(DeviceFaults, ReadUnpluggedOrStalledFailsInTimeAndLeavesTheBuffer) {
    for (bool stall : {false, true}) {
        sim::Faults faults;
        if (stall)
            faults.stallAfterDataBytes = 100'000;
        else
            faults.disconnectAfterDataBytes = 100'000;
        startWith(faults);
        const Bytes before = storeBytes(0, kChipSize);
        const double took = timed(IdRead);
        // A disconnect shows at once; silence after the 2 s idle limit of a read.
        EXPECT_LT(took, stall ? 4.0 : 1.5);
        if (stall) {
            EXPECT_GT(took, 1.9);
        }
        EXPECT_EQ(status(), "Read Failure");
        EXPECT_EQ(boxes_.texts(), std::vector<std::string>{"Read Failure!"});
        EXPECT_EQ(storeBytes(0, kChipSize), before);
        expectWorksAgain(IdRead, "Read Successfully");
        EXPECT_EQ(storeBytes(0, kChipSize), pattern(kChipSize, 2));
        started_.reset();
    }
}

TEST_F(DeviceFaults, WriteUnpluggedOrStalledAtItsCommandFailsInTime) {
    sim::Faults unplug;
    unplug.disconnectAfterDataBytes = 50'000;
    startWith(unplug, Language::Chinese);
    EXPECT_LT(timed(IdWrite), 1.5);
    EXPECT_EQ(status(), "写数据失败！");
    EXPECT_EQ(boxes_.texts(), std::vector<std::string>{"写数据失败！"});
    expectWorksAgain(IdWrite, "写数据完成！");
    started_.reset();

    // The command is taken but never answered: refused after the 1 s answer limit,
    // and the status line keeps its text.
    sim::Faults stall;
    stall.stallAtCommand = 1;
    startWith(stall);
    window().setStatusText("before");
    const double took = timed(IdWrite);
    EXPECT_GT(took, 0.9);
    EXPECT_LT(took, 2.5);
    EXPECT_EQ(status(), "before");
    EXPECT_EQ(boxes_.texts(), std::vector<std::string>{"Write Failure!"});
    expectWorksAgain(IdWrite, "Write Successfully");
}

TEST_F(DeviceFaults, EraseStalledOrUnpluggedWhileRunningFailsInTime) {
    for (bool stall : {true, false}) {
        sim::Faults faults;
        if (stall)
            faults.stallAtCommand = 3; // the second status query
        else
            faults.disconnectAtCommand = 3;
        startWith(faults);
        const double took = timed(IdErase);
        EXPECT_LT(took, stall ? 2.5 : 1.0);
        if (stall) {
            EXPECT_GT(took, 1.0);
        }
        EXPECT_EQ(status(), "Erase Failure");
        EXPECT_EQ(boxes_.texts(), std::vector<std::string>{"Erase Failure!"});
        expectWorksAgain(IdErase, "Erase Successfully");
        EXPECT_EQ(firmware_->chipContents(), Bytes(kChipSize, 0xFF));
        started_.reset();
    }
}

TEST_F(DeviceFaults, VerifyStalledOrUnpluggedInALaterBlockFailsInTime) {
    for (bool stall : {true, false}) {
        sim::Faults faults;
        if (stall)
            faults.stallAfterDataBytes = 100'000; // in the second block
        else
            faults.disconnectAfterDataBytes = 100'000;
        startWith(faults, Language::Chinese);
        setStore(0, pattern(kChipSize, 2)); // equal to the chip
        const Bytes before = storeBytes(0, kChipSize);
        const double took = timed(IdVerify);
        EXPECT_LT(took, stall ? 4.0 : 1.5);
        if (stall) {
            EXPECT_GT(took, 1.9);
        }
        EXPECT_EQ(status(), "校验数据失败！");
        EXPECT_EQ(boxes_.texts(), std::vector<std::string>{"校验出错!"});
        EXPECT_EQ(storeBytes(0, kChipSize), before);
        expectWorksAgain(IdVerify, "校验数据正确！");
        started_.reset();
    }
}

TEST_F(DeviceFaults, IdentifyWithoutAnAnswerChangesNothingButTheStatusLine) {
    for (Language language : {Language::English, Language::Chinese}) {
        sim::Faults faults;
        faults.stallAtCommand = 1;
        startWith(faults, language);
        const double took = timed(IdChipIdentify);
        EXPECT_GT(took, 0.9);
        EXPECT_LT(took, 2.5);
        EXPECT_STREQ(window().currentChip().name, "FL25X02");
        if (language == Language::English) {
            EXPECT_EQ(status(), "Identify Failure");
            EXPECT_TRUE(boxes_.boxes.empty()); // this build shows no box for it
        } else {
            EXPECT_EQ(status(), "自动识别失败！");
            EXPECT_EQ(boxes_.texts(), std::vector<std::string>{"自动识别失败！"});
        }
        boxes_.boxes.clear();
        replug();
        window().runCommand(IdChipIdentify);
        EXPECT_EQ(boxes_.boxes.size(), 1u);
        EXPECT_EQ(status(), language == Language::English ? "Identify Successfully" : "识别成功！");
        boxes_.boxes.clear();
        started_.reset();
    }
}

TEST_F(DeviceFaults, AutoRunsItsNextStepsAfterOneFails) {
    // The erase's answer comes back garbled (the erase itself happens): Write and
    // Verify still run.
    sim::Faults garbled;
    garbled.corruptAnswer.atCommand = 1;
    startWith(garbled);
    window().runCommand(IdAuto);
    EXPECT_EQ(boxes_.texts(), std::vector<std::string>{"Erase error!"});
    EXPECT_EQ(status(), "Verify Successfully");
    EXPECT_EQ(firmware_->chipContents(), pattern(kChipSize, 8));
    boxes_.boxes.clear();
    started_.reset();

    // Unplugged during the write: Verify still tries, and cannot open the device.
    sim::Faults unplug;
    unplug.disconnectAfterDataBytes = 50'000;
    startWith(unplug);
    window().runCommand(IdAuto);
    EXPECT_EQ(boxes_.texts(),
              (std::vector<std::string>{"Write Failure!", "Failure to open device!"}));
    EXPECT_EQ(status(), "Failure to open device!");
}
