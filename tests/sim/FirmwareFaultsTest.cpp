// Each injected fault, seen from the host side.
#include "tests/sim/FirmwareHost.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

using namespace simtest;
using sim::ProgrammerFirmware;
using sim::TransferStatus;

namespace {

const Bytes kIdCommand{0x05, 0x00, 0x01};
const Bytes kIdAnswer{0x05, 0x02, 0xEF, 0x14};

ChipInfo flashChip() {
    return makeChip(ChipType::Flash25, 65536);
}

sim::FirmwareOptions withFaults(const sim::Faults& faults) {
    sim::FirmwareOptions options = unpaced();
    options.faults = faults;
    return options;
}

} // namespace

TEST(FirmwareFaults, StallAfterDataBytesSilencesEverything) {
    sim::Faults faults;
    faults.stallAfterDataBytes = 10000;
    const ChipInfo chip = flashChip();
    ProgrammerFirmware firmware(&chip, withFaults(faults));
    FirmwareHost host(firmware);

    ASSERT_TRUE(host.exchange(readCommand(1, 0, 65536)));
    EXPECT_EQ(host.in(4096)->size(), 4096u);
    EXPECT_EQ(host.in(4096)->size(), 4096u);
    // The third chunk would pass 10,000 bytes: nothing comes, and nothing is taken.
    uint8_t buffer[4096];
    const auto stalled = firmware.hostIn(buffer, 4096, sim::Clock::now() + 100ms);
    EXPECT_EQ(stalled.status, TransferStatus::NotYet);
    EXPECT_EQ(stalled.retryAt, sim::kNever);
    EXPECT_EQ(host.out(kIdCommand, 50ms).status, TransferStatus::NotYet);
    EXPECT_TRUE(firmware.stats().stalled);
    EXPECT_EQ(firmware.stats().dataBytesOut, 8192u);

    // A waiting transfer learns of the unplug at once.
    std::thread unplugger([&] {
        std::this_thread::sleep_for(50ms);
        firmware.unplug();
    });
    const auto start = sim::Clock::now();
    EXPECT_EQ(firmware.hostIn(buffer, 64, sim::Clock::now() + 5s).status, TransferStatus::Gone);
    EXPECT_LT(sim::Clock::now() - start, 2s);
    unplugger.join();

    firmware.powerCycle();
    EXPECT_EQ(host.exchange(kIdCommand), kIdAnswer);
}

TEST(FirmwareFaults, StallAtCommandTakesItButNeverAnswers) {
    sim::Faults faults;
    faults.stallAtCommand = 2;
    const ChipInfo chip = flashChip();
    ProgrammerFirmware firmware(&chip, withFaults(faults));
    FirmwareHost host(firmware);
    EXPECT_EQ(host.exchange(kIdCommand), kIdAnswer);
    EXPECT_EQ(host.out(kIdCommand).status, TransferStatus::Done);
    EXPECT_FALSE(host.in(64, 50ms));
    EXPECT_EQ(host.out(kIdCommand, 20ms).status, TransferStatus::NotYet);
}

TEST(FirmwareFaults, DisconnectAfterDataBytesOrAtACommandUnplugs) {
    sim::Faults faults;
    faults.disconnectAfterDataBytes = 5000;
    const ChipInfo chip = flashChip();
    {
        ProgrammerFirmware firmware(&chip, withFaults(faults));
        FirmwareHost host(firmware);
        ASSERT_TRUE(host.exchange(writeCommand(1, 0, 8192)));
        EXPECT_EQ(host.out(Bytes(4096, 0)).status, TransferStatus::Done);
        EXPECT_EQ(host.out(Bytes(4096, 0)).status, TransferStatus::Gone);
        EXPECT_TRUE(firmware.isGone());
        EXPECT_EQ(host.out(kIdCommand).status, TransferStatus::Gone);
        uint8_t buffer[64];
        EXPECT_EQ(firmware.hostIn(buffer, 64).status, TransferStatus::Gone);
    }
    sim::Faults atCommand;
    atCommand.disconnectAtCommand = 3;
    ProgrammerFirmware firmware(&chip, withFaults(atCommand));
    FirmwareHost host(firmware);
    EXPECT_EQ(host.exchange(kIdCommand), kIdAnswer);
    EXPECT_EQ(host.exchange(kIdCommand), kIdAnswer);
    EXPECT_EQ(host.out(kIdCommand).status, TransferStatus::Gone);
    EXPECT_TRUE(firmware.stats().gone);
}

TEST(FirmwareFaults, DroppedAndCorruptedAnswers) {
    sim::Faults faults;
    faults.dropAnswer.atCommand = 1;
    faults.corruptAnswer.atCommand = 2;
    const ChipInfo chip = flashChip();
    ProgrammerFirmware firmware(&chip, withFaults(faults));
    FirmwareHost host(firmware);
    EXPECT_FALSE(host.exchange({0x04, 0x01, 0x01}, 50ms));
    EXPECT_EQ(host.exchange({0x04, 0x01, 0x01}), (Bytes{0x04, 0xFE, 0xFE}));
    EXPECT_EQ(host.exchange(readCommand(1, 0, 0)), (Bytes{0x01, 0x01, 0x00}));
}

TEST(FirmwareFaults, StrayAndOverlongPacketsComeBeforeTheAnswer) {
    sim::Faults faults;
    faults.strayPackets.atCommand = 1;
    faults.overlongPackets.atCommand = 1;
    const ChipInfo chip = flashChip();
    ProgrammerFirmware firmware(&chip, withFaults(faults));
    FirmwareHost host(firmware);
    ASSERT_EQ(host.out(kIdCommand).status, TransferStatus::Done);

    int strays = 0;
    int overlong = 0;
    for (;;) {
        const auto packet = host.in(64);
        ASSERT_TRUE(packet);
        ASSERT_FALSE(packet->empty());
        ASSERT_LE(packet->size(), 64u);
        if (packet->at(0) != 0x05) {
            ++strays;
            EXPECT_EQ(overlong, 0) << "strays come first";
            continue;
        }
        if (packet->size() > 4) {
            ++overlong;
            continue;
        }
        EXPECT_EQ(*packet, kIdAnswer);
        break;
    }
    EXPECT_GE(strays, 1);
    EXPECT_LE(strays, 3);
    EXPECT_GE(overlong, 1);
    EXPECT_LE(overlong, 2);
    EXPECT_EQ(firmware.stats().answersSent, 1u);
}

TEST(FirmwareFaults, LateAnswerComesAfterItsDelay) {
    sim::Faults faults;
    faults.lateAnswer.atCommand = 1;
    faults.lateAnswerMs = 1200;
    const ChipInfo chip = flashChip();
    ProgrammerFirmware firmware(&chip, withFaults(faults));
    FirmwareHost host(firmware);
    const auto start = sim::Clock::now();
    ASSERT_EQ(host.out(kIdCommand).status, TransferStatus::Done);
    EXPECT_FALSE(host.in(64, 1000ms));
    EXPECT_EQ(host.in(64, 1000ms), kIdAnswer);
    EXPECT_GE(sim::Clock::now() - start, 1200ms);
}

TEST(FirmwareFaults, ExtraReadBytesAndRefusedPipes) {
    sim::Faults faults;
    faults.extraReadBytes = 64;
    const ChipInfo chip = flashChip();
    ProgrammerFirmware firmware(&chip, withFaults(faults));
    FirmwareHost host(firmware);
    ASSERT_TRUE(host.exchange(readCommand(1, 0, 128)));
    EXPECT_EQ(host.readPhase(192).size(), 192u);

    faults.refuseIn = true;
    firmware.setFaults(faults);
    EXPECT_EQ(host.out(kIdCommand).status, TransferStatus::Done);
    uint8_t buffer[64];
    EXPECT_EQ(firmware.hostIn(buffer, 64).status, TransferStatus::Refused);
    faults.refuseOut = true;
    firmware.setFaults(faults);
    EXPECT_EQ(host.out(kIdCommand).status, TransferStatus::Refused);
    EXPECT_FALSE(firmware.isGone());
}

TEST(FirmwareFaults, ProbabilityFaultsFollowTheSeed) {
    auto run = [](uint64_t seed) {
        sim::Faults faults;
        faults.seed = seed;
        faults.dropAnswer.probability = 0.3;
        faults.strayPackets.probability = 0.3;
        const ChipInfo chip = flashChip();
        ProgrammerFirmware firmware(&chip, withFaults(faults));
        FirmwareHost host(firmware);
        std::vector<Bytes> seen;
        for (int i = 0; i < 40; ++i) {
            host.out(kIdCommand);
            while (auto packet = host.in(64, 5ms)) {
                seen.push_back(*packet);
            }
            seen.push_back({}); // command boundary
        }
        return seen;
    };
    const auto first = run(7);
    EXPECT_EQ(first, run(7));
    EXPECT_NE(first, run(8));
    const auto answers = std::count(first.begin(), first.end(), kIdAnswer);
    EXPECT_GT(answers, 10);
    EXPECT_LT(answers, 40);
}
