// poll's state table, progress and what reaches the caller's buffer.
#include "tests/protocol/LinkedProgrammer.h"

using namespace prototest;

namespace {

using Polling = LinkedProgrammer;

} // namespace

TEST_F(Polling, NothingStartedIsIdleAndKeepsTheProgress) {
    const ChipInfo chip = makeChip(ChipType::Flash25, 4096);
    plugIn(&chip);
    programmer_.prepareFamily(chip);
    Bytes dest(4096);
    ASSERT_EQ(programmer_.startReadChip(dest.data(), 0, 4096), 1);
    ASSERT_EQ(pollToEnd(), OpStatus::Idle);
    ASSERT_EQ(programmer_.getProgress(), 100);
    EXPECT_EQ(programmer_.poll(), OpStatus::Idle);
    EXPECT_EQ(programmer_.poll(), OpStatus::Idle);
    EXPECT_EQ(programmer_.getProgress(), 100);
    EXPECT_EQ(commandsSent(), 1u);
}

TEST_F(Polling, ProgressGrowsDuringAPacedReadAndWrite) {
    const ChipInfo chip = makeChip(ChipType::Flash25, 256 * 1024);
    sim::FirmwareOptions options;
    options.pacing.bytesPerSecond = 1'000'000; // 256 KiB in about a quarter second
    plugIn(&chip, options);
    programmer_.prepareFamily(chip);

    Bytes dest(256 * 1024);
    ASSERT_EQ(programmer_.startReadChip(dest.data(), 0, 256 * 1024), 1);
    std::vector<uint16_t> seen;
    OpStatus status;
    while ((status = programmer_.poll()) == OpStatus::Reading) {
        seen.push_back(programmer_.getProgress());
        std::this_thread::sleep_for(5ms);
    }
    EXPECT_EQ(status, OpStatus::Idle);
    ASSERT_GT(seen.size(), 10u);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_LT(seen.front(), 20);
    EXPECT_GT(seen.back(), 80);

    const Bytes source(256 * 1024, 0x00);
    ASSERT_EQ(programmer_.startWriteChip(source.data(), 0, 256 * 1024, 256), 1);
    seen.clear();
    while ((status = programmer_.poll()) == OpStatus::Writing) {
        seen.push_back(programmer_.getProgress());
        std::this_thread::sleep_for(5ms);
    }
    EXPECT_EQ(status, OpStatus::Idle);
    ASSERT_GT(seen.size(), 10u);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_LE(seen.back(), 100);
    EXPECT_EQ(firmware_->chipContents(), source);
}

TEST_F(Polling, AReadThatBringsMoreThanAskedCopiesOnlyWhatWasAsked) {
    const ChipInfo chip = makeChip(ChipType::Flash25, 4096);
    sim::FirmwareOptions options = simtest::unpaced();
    options.faults.extraReadBytes = 64;
    plugIn(&chip, options);
    firmware_->setChipContents(0, Bytes(4096, 0x42));
    programmer_.prepareFamily(chip);

    Bytes dest(128 + 64, 0x00);
    ASSERT_EQ(programmer_.startReadChip(dest.data(), 0, 128), 1);
    EXPECT_EQ(pollToEnd(), OpStatus::Idle);
    EXPECT_EQ(firmware_->stats().dataBytesOut, 192u);
    EXPECT_EQ(programmer_.getProgress(), 100);
    EXPECT_EQ(Bytes(dest.begin(), dest.begin() + 128), Bytes(128, 0x42));
    EXPECT_EQ(Bytes(dest.begin() + 128, dest.end()), Bytes(64, 0x00));
}

TEST_F(Polling, AReadThatStallsFailsOnceAndLeavesTheDestinationAlone) {
    const ChipInfo chip = makeChip(ChipType::Flash25, 100 * 1024);
    sim::FirmwareOptions options = simtest::unpaced();
    options.faults.stallAfterDataBytes = 40 * 1024; // 40 %
    plugIn(&chip, options);
    firmware_->setChipContents(0, Bytes(100 * 1024, 0x00));
    programmer_.prepareFamily(chip);

    Bytes dest(100 * 1024, 0x77);
    ASSERT_EQ(programmer_.startReadChip(dest.data(), 0, 100 * 1024), 1);
    const auto start = std::chrono::steady_clock::now();
    uint16_t lastWhileRunning = 0;
    OpStatus status;
    while ((status = programmer_.poll()) == OpStatus::Reading) {
        lastWhileRunning = programmer_.getProgress();
        std::this_thread::sleep_for(5ms);
    }
    const double took = secondsSince(start);
    EXPECT_EQ(status, OpStatus::Failed);
    // The link's idle limit for one chunk is 2 s.
    EXPECT_GE(took, 1.9);
    EXPECT_LT(took, 3.5);
    EXPECT_EQ(programmer_.getProgress(), 40);
    EXPECT_EQ(lastWhileRunning, 40);
    EXPECT_EQ(dest, Bytes(100 * 1024, 0x77));
    EXPECT_EQ(programmer_.poll(), OpStatus::Idle);
    EXPECT_EQ(programmer_.state(), BusyState::Idle);
}

TEST_F(Polling, StartsWhileBusyAreRefusedWithoutSending) {
    const ChipInfo chip = makeChip(ChipType::Flash25, 64 * 1024);
    sim::FirmwareOptions options;
    options.pacing.bytesPerSecond = 200'000; // the write runs for about a third of a second
    plugIn(&chip, options);
    programmer_.prepareFamily(chip);

    const Bytes source(64 * 1024, 0x00);
    ASSERT_EQ(programmer_.startWriteChip(source.data(), 0, 64 * 1024, 256), 1);
    const size_t sent = commandsSent();
    Bytes dest(16);
    char text[Programmer::kVersionTextSize] = "unchanged";
    EXPECT_EQ(programmer_.startReadChip(dest.data(), 0, 16), 0);
    EXPECT_EQ(programmer_.startWriteChip(source.data(), 0, 16, 256), 0);
    EXPECT_EQ(programmer_.startErase(), 0);
    EXPECT_EQ(programmer_.readFirmwareVersion(text), 0);
    EXPECT_STREQ(text, "unchanged");
    EXPECT_EQ(commandsSent(), sent);
    EXPECT_EQ(programmer_.state(), BusyState::Writing);
    EXPECT_EQ(pollToEnd(), OpStatus::Idle);
    EXPECT_EQ(firmware_->chipContents(), source);
}

TEST_F(Polling, EraseWhoseStatusGoesUnansweredFailsOnce) {
    const ChipInfo chip = makeChip(ChipType::Flash25, 4096);
    sim::FirmwareOptions options = simtest::unpaced();
    options.pacing.eraseMs = 5000;
    options.faults.dropAnswer.atCommand = 3; // erase, status, lost status
    plugIn(&chip, options);
    programmer_.prepareFamily(chip);

    ASSERT_EQ(programmer_.startErase(), 1);
    EXPECT_EQ(programmer_.poll(), OpStatus::Erasing);
    EXPECT_EQ(programmer_.getProgress(), 0);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(programmer_.poll(), OpStatus::Failed);
    EXPECT_GE(secondsSince(start), 0.95);
    EXPECT_LT(secondsSince(start), 1.8);
    EXPECT_EQ(programmer_.getProgress(), 0);
    EXPECT_EQ(programmer_.poll(), OpStatus::Idle);
    EXPECT_EQ(commandsSent(), 3u);
}

TEST_F(Polling, ZeroLengthOperationsEndWithoutDividingByZero) {
    const ChipInfo chip = makeChip(ChipType::Flash25, 4096);
    plugIn(&chip);
    programmer_.prepareFamily(chip);
    uint8_t guard = 0x99;
    ASSERT_EQ(programmer_.startReadChip(&guard, 0, 0), 1);
    EXPECT_EQ(pollToEnd(), OpStatus::Idle);
    EXPECT_EQ(programmer_.getProgress(), 100);
    EXPECT_EQ(guard, 0x99);

    ASSERT_EQ(programmer_.startWriteChip(&guard, 0, 0, 256), 1);
    EXPECT_EQ(pollToEnd(), OpStatus::Idle);
    EXPECT_EQ(programmer_.getProgress(), 100);
    EXPECT_EQ(firmware_->chipContents(), Bytes(4096, 0xFF));
}
