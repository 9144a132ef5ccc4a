// A command whose answer never came, or came too late, costs only that command: the
// read the host abandoned must not take the next command's answer.
#include "tests/protocol/LinkedProgrammer.h"

#include <cstring>

using namespace prototest;

namespace {

class AbandonedRead : public LinkedProgrammer {
  protected:
    void plugInWith(const sim::Faults& faults) {
        chip_ = makeChip(ChipType::Flash25, 64 * 1024, 0xEF, 0x14);
        sim::FirmwareOptions options = simtest::unpaced();
        options.versionText = "SIM V9";
        options.faults = faults;
        plugIn(&chip_, options);
        programmer_.prepareFamily(chip_);
    }

    void expectVersionAndIdAnswered() {
        char text[Programmer::kVersionTextSize] = {};
        EXPECT_EQ(programmer_.readFirmwareVersion(text), 1);
        EXPECT_STREQ(text, "SIM V9");
        uint8_t ids[2] = {};
        EXPECT_EQ(programmer_.readChipId(ids), 1);
        EXPECT_EQ(ids[0], 0xEF);
        EXPECT_EQ(ids[1], 0x14);
    }

    ChipInfo chip_{};
};

} // namespace

TEST_F(AbandonedRead, TheCommandAfterADroppedAnswerIsAnswered) {
    sim::Faults faults;
    faults.dropAnswer.atCommand = 1;
    plugInWith(faults);
    for (int round = 0; round < 3; ++round) {
        uint8_t ids[2] = {};
        EXPECT_EQ(programmer_.readChipId(ids), 0);
        expectVersionAndIdAnswered();
        // Drop the answer of the next command again, a few times over.
        faults.dropAnswer.atCommand = firmware_->stats().commands + 1;
        firmware_->setFaults(faults);
    }
    EXPECT_EQ(firmware_->stats().answersSent, 6u);
}

TEST_F(AbandonedRead, TheCommandAfterALateAnswerIsAnswered) {
    sim::Faults faults;
    faults.lateAnswer.atCommand = 1;
    faults.lateAnswerMs = 1100; // just after the host gave up
    plugInWith(faults);
    uint8_t ids[2] = {};
    EXPECT_EQ(programmer_.readChipId(ids), 0);
    // The stale ID answer is skipped as a packet of another command.
    expectVersionAndIdAnswered();
}
