// A device fault in any phase ends the command within the link's limits, never hangs,
// and the programmer can talk to a healthy device again afterwards.
#include "tests/protocol/LinkedProgrammer.h"

using namespace prototest;

namespace {

class FaultLimits : public LinkedProgrammer {
  protected:
    void plugInWith(const sim::Faults& faults) {
        chip_ = makeChip(ChipType::Flash25, 64 * 1024, 0xEF, 0x14);
        sim::FirmwareOptions options = simtest::unpaced();
        options.faults = faults;
        plugIn(&chip_, options);
        programmer_.prepareFamily(chip_);
    }

    // Seconds the chip ID exchange took; `ok` its result.
    double timeChipId(int* ok) {
        uint8_t ids[2] = {};
        const auto start = std::chrono::steady_clock::now();
        *ok = programmer_.readChipId(ids);
        return secondsSince(start);
    }

    ChipInfo chip_{};
};

} // namespace

TEST_F(FaultLimits, AStalledCommandWriteEndsAfterHalfASecond) {
    sim::Faults faults;
    faults.stallAtCommand = 1; // then nothing is taken any more
    plugInWith(faults);
    int ok = 1;
    EXPECT_LT(timeChipId(&ok), 1.5); // the command itself: answer limit
    EXPECT_EQ(ok, 0);
    const double took = timeChipId(&ok); // the next one cannot even be written
    EXPECT_EQ(ok, 0);
    EXPECT_GE(took, 0.45);
    EXPECT_LT(took, 0.9);
}

TEST_F(FaultLimits, AMissingOrLateAnswerEndsAfterOneSecond) {
    sim::Faults faults;
    faults.dropAnswer.atCommand = 1;
    faults.lateAnswer.atCommand = 2;
    faults.lateAnswerMs = 1300;
    plugInWith(faults);
    int ok = 1;
    double took = timeChipId(&ok);
    EXPECT_EQ(ok, 0);
    EXPECT_GE(took, 0.95);
    EXPECT_LT(took, 1.6);
    took = timeChipId(&ok);
    EXPECT_EQ(ok, 0);
    EXPECT_GE(took, 0.95);
    EXPECT_LT(took, 1.6);

    // The late answer is still in the pipe: the next status query skips it.
    std::this_thread::sleep_for(400ms);
    int status = -1;
    EXPECT_EQ(programmer_.queryEraseStatus(&status), 1);
    EXPECT_EQ(status, 0);
}

TEST_F(FaultLimits, DisconnectsEndAtOnce) {
    sim::Faults faults;
    faults.disconnectAfterDataBytes = 10000;
    plugInWith(faults);
    Bytes dest(64 * 1024, 0x11);
    ASSERT_EQ(programmer_.startReadChip(dest.data(), 0, 64 * 1024), 1);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(pollToEnd(), OpStatus::Failed);
    EXPECT_LT(secondsSince(start), 1.0);
    EXPECT_EQ(dest, Bytes(64 * 1024, 0x11));
    EXPECT_TRUE(server_->waitUnplugged(1s));

    // Unplugged: commands fail at once, and the link finds nothing to open.
    int ok = 1;
    EXPECT_LT(timeChipId(&ok), 1.0);
    EXPECT_EQ(ok, 0);
    EXPECT_EQ(link_.open(), 0);
}

TEST_F(FaultLimits, DisconnectDuringAWriteFails) {
    sim::Faults faults;
    faults.disconnectAfterDataBytes = 20000;
    plugInWith(faults);
    const Bytes source(64 * 1024, 0x00);
    ASSERT_EQ(programmer_.startWriteChip(source.data(), 0, 64 * 1024, 256), 1);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(pollToEnd(5s), OpStatus::Failed);
    EXPECT_LT(secondsSince(start), 2.0);
    EXPECT_EQ(programmer_.poll(), OpStatus::Idle);
}

TEST_F(FaultLimits, ADisconnectAtACommandAndAReplugRecover) {
    sim::Faults faults;
    faults.disconnectAtCommand = 2;
    plugInWith(faults);
    int ok = 0;
    timeChipId(&ok);
    EXPECT_EQ(ok, 1);
    EXPECT_LT(timeChipId(&ok), 1.0);
    EXPECT_EQ(ok, 0);
    ASSERT_TRUE(server_->waitUnplugged(1s));

    // Plugged in again: found by the next open, without a new link or programmer.
    server_->stop();
    firmware_->setFaults({});
    firmware_->powerCycle();
    server_ = std::make_unique<sim::SimServer>(*firmware_);
    ASSERT_TRUE(server_->start());
    ASSERT_EQ(link_.open(), 1);
    EXPECT_LT(timeChipId(&ok), 1.0);
    EXPECT_EQ(ok, 1);
}
