// The link's timed bulk transfers against the simulated firmware behind a real connection.
#include "tests/support/SimProgrammer.h"
#include "tests/usb/Connection.h"
#include "usb/TransferState.h"

#include <gtest/gtest.h>

#include <thread>

using namespace testsupport;
using namespace std::chrono_literals;

namespace usbtest {
namespace {

using Clock = std::chrono::steady_clock;
constexpr uint8_t kUntouched = 0xA5;

struct Bench {
    explicit Bench(sim::FirmwareOptions options = unpaced()) : firmware(&chip, options) {
        firmware.setChipContents(0, contents);
        connection = connect(firmware);
    }
    UsbLink& link() { return connection->link(); }
    // One command packet out (500 ms) and its answer back (1000 ms).
    Bytes exchange(const Bytes& packet) {
        uint8_t answer[64];
        std::atomic<uint32_t> count{0};
        if (link().timedWrite(packet.data(), uint32_t(packet.size()), nullptr, 500) != 1 ||
            link().timedRead(answer, 64, &count, 1000) != 1)
            return {};
        return Bytes(answer, answer + count.load());
    }
    // The lengths of the transfers in one direction since `from` in the firmware's log.
    std::vector<uint32_t> lengths(bool in, size_t from) {
        std::vector<uint32_t> out;
        const auto log = firmware.transferLog();
        for (size_t i = from; i < log.size(); ++i)
            if (log[i].in == in)
                out.push_back(log[i].length);
        return out;
    }
    const ChipInfo chip = testChip(ChipType::Flash25, 0x10000);
    const Bytes contents = pattern(0x10000, 3);
    sim::ProgrammerFirmware firmware;
    std::unique_ptr<Connection> connection;
};

int pollUntilOver(UsbLink& link, bool read) {
    int result = -1;
    while (!(read ? link.pollRead(&result) : link.pollWrite(&result)))
        std::this_thread::sleep_for(5ms);
    return result;
}

TEST(LinkContract, ReadsAskWholeChunksAndEndAtTheFirstShortOne) {
    struct Case {
        const char* name;
        uint32_t chipSends, hostAsks;
        std::vector<uint32_t> asked;
    } cases[] = {
        {"a chip read with its spare 64 bytes", 8192, 8256, {4096, 4096, 64}},
        {"a short second chunk", 4196, 8256, {4096, 4096}},
        {"whole chunks end with a call for 0 bytes", 8192, 8192,
         kZeroLengthReadsReachDevice ? std::vector<uint32_t>{4096, 4096, 0}
                                     : std::vector<uint32_t>{4096, 4096}},
        {"one answer packet", 64, 64, {64}},
    };
    Bench bench;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(bench.exchange(readCommand(1, 0, c.chipSends)), (Bytes{0x01, 0x01, 0x00}));
        const size_t from = bench.firmware.transferLog().size();
        Bytes buffer(c.hostAsks + 64, kUntouched);
        std::atomic<uint32_t> count{12345};
        ASSERT_EQ(bench.link().startRead(buffer.data(), c.hostAsks, &count, 100000), 1);
        EXPECT_EQ(pollUntilOver(bench.link(), true), 1);
        EXPECT_EQ(count.load(), c.chipSends);
        EXPECT_EQ(bench.lengths(true, from), c.asked);
        EXPECT_TRUE(
            std::equal(buffer.begin(), buffer.begin() + c.chipSends, bench.contents.begin()));
        EXPECT_EQ(buffer[c.chipSends], kUntouched);
        EXPECT_EQ(bench.exchange(kId), kIdAnswer); // nothing stale in the way
    }
}

TEST(LinkContract, AReadStalledInsideAChunkIsAbandonedAfterTwoSeconds) {
    sim::FirmwareOptions options = unpaced();
    options.faults.stallAfterDataBytes = 4096 + 100;
    Bench bench(options);
    ASSERT_EQ(bench.exchange(readCommand(1, 0, 0x10000)), (Bytes{0x01, 0x01, 0x00}));
    Bytes buffer(0x10040, kUntouched);
    std::atomic<uint32_t> count{0};
    const auto start = Clock::now();
    ASSERT_EQ(bench.link().startRead(buffer.data(), 0x10040, &count, 100000), 1);
    EXPECT_EQ(pollUntilOver(bench.link(), true), 0);
    EXPECT_GE(msSince(start), 1990);
    EXPECT_LT(msSince(start), 3500); // far below the overall 100 s
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(count.load(), 4096u);
    EXPECT_EQ(std::count(buffer.begin() + 4096, buffer.end(), kUntouched), 0x10040 - 4096);
    EXPECT_FALSE(bench.link().inStep());
    bench.firmware.powerCycle(); // back: the same link serves the next exchange
    EXPECT_EQ(bench.exchange(kId), kIdAnswer);
}

TEST(LinkContract, ARefusingPipeEndsAtTheDeadlineAnUnpluggedDeviceAtOnce) {
    Bench bench;
    uint8_t packet[64];
    std::atomic<uint32_t> count{0};
    sim::Faults refuse;
    refuse.refuseOut = true;
    bench.firmware.setFaults(refuse);
    auto start = Clock::now();
    EXPECT_EQ(bench.link().timedWrite(kId.data(), 3, &count, 300), 0);
    EXPECT_GE(msSince(start), 295);
    EXPECT_LT(msSince(start), 1800);
    EXPECT_EQ(count.load(), 0u);
    bench.firmware.unplug();
    const Bytes data(8192, 0);
    start = Clock::now();
    EXPECT_EQ(bench.link().timedWrite(data.data(), 8192, &count, 60000), 0);
    EXPECT_EQ(bench.link().timedRead(packet, 64, &count, 60000), 0);
    EXPECT_LT(msSince(start), 2000);
}

TEST(LinkContract, AWriteOfWholeChunksEndsWithAZeroLengthTransfer) {
    Bench bench;
    ASSERT_TRUE(bench.exchange({0x04, 0x01, 0x01}).size() == 3); // erased
    ASSERT_EQ(bench.exchange(writeCommand(1, 0, 8192)), (Bytes{0x02, 0x01, 0x01}));
    const size_t from = bench.firmware.transferLog().size();
    const Bytes data = pattern(8192, 9);
    std::atomic<uint32_t> count{0};
    ASSERT_EQ(bench.link().timedWrite(data.data(), 8192, &count, 5000), 1);
    EXPECT_EQ(count.load(), 8192u);
    EXPECT_EQ(bench.lengths(false, from), (std::vector<uint32_t>{4096, 4096, 0}));
    const Bytes chip = bench.firmware.chipContents();
    EXPECT_TRUE(std::equal(data.begin(), data.end(), chip.begin()));
}

TEST(LinkContract, ASlowWriteThatKeepsMovingIsNeverCutOff) {
    // Byte programming at 1.5 ms a byte: one 2,400-byte chunk takes 3.6 s, longer than
    // the write idle limit, but the device takes bytes all along.
    sim::FirmwareOptions options = unpaced();
    options.pacing.bytesPerSecond = 1'000'000;
    options.pacing.pageProgramUs = 1500;
    Bench bench(options);
    ASSERT_EQ(bench.exchange(writeCommand(1, 0, 2400, 1)), (Bytes{0x02, 0x01, 0x01}));
    const Bytes data(2400, 0x00);
    std::atomic<uint32_t> count{0};
    auto start = Clock::now();
    ASSERT_EQ(bench.link().startWrite(data.data(), 2400, &count, 1'000'000), 1);
    std::this_thread::sleep_for(1500ms);
    EXPECT_GT(count.load(), 500u); // progress shows inside the chunk
    EXPECT_EQ(pollUntilOver(bench.link(), false), 1);
    EXPECT_GT(msSince(start), usb::kWriteIdleMs);
    EXPECT_EQ(count.load(), 2400u);
}

TEST(LinkContract, BringingTheLinkInStepDrainsLateAnswersAndWaitsOutAWriteDataPhase) {
    sim::FirmwareOptions options = unpaced();
    options.faults.lateAnswer.atCommand = 1;
    options.faults.lateAnswerMs = 1200;
    Bench bench(options);
    EXPECT_EQ(bench.exchange(kId), Bytes{}); // too late
    EXPECT_FALSE(bench.link().inStep());
    auto start = Clock::now();
    EXPECT_TRUE(bench.link().bringInStep());
    EXPECT_GE(msSince(start), UsbLink::kInStepQuietMs); // the late answer came meanwhile
    EXPECT_EQ(bench.exchange({0x03, 0x00, 0x01}), (Bytes{0x03, 0x01, 0x00}));
    // A Write command whose data never came: its idle limit passes before in step.
    EXPECT_EQ(bench.exchange(writeCommand(1, 0, 4096)), (Bytes{0x02, 0x01, 0x01}));
    start = Clock::now();
    bench.link().markOutOfStep();
    bench.link().setWriteDataPending(true);
    EXPECT_TRUE(bench.link().bringInStep());
    EXPECT_GE(msSince(start), UsbLink::kDeviceDataIdleMs);
    EXPECT_EQ(bench.exchange(kId), kIdAnswer);
    EXPECT_EQ(bench.firmware.chipContents(), bench.contents);
}

TEST(LinkContract, TransfersNeverTouchWhatTheyNoLongerOwn) {
    Bench bench;
    // A new read stops the one still waiting, which gets nothing.
    Bytes first(64, kUntouched), second(64, kUntouched);
    std::atomic<uint32_t> firstCount{0}, secondCount{0};
    ASSERT_EQ(bench.link().startRead(first.data(), 64, &firstCount, 100000), 1);
    std::this_thread::sleep_for(20ms);
    ASSERT_EQ(bench.link().startRead(second.data(), 64, &secondCount, 5000), 1);
    // A write runs beside the read: the command's answer ends the waiting read.
    EXPECT_EQ(bench.link().timedWrite(kId.data(), 3, nullptr, 500), 1);
    EXPECT_EQ(pollUntilOver(bench.link(), true), 1);
    EXPECT_EQ(Bytes(second.begin(), second.begin() + 4), kIdAnswer);
    EXPECT_EQ(firstCount.load(), 0u);
    EXPECT_EQ(first, Bytes(64, kUntouched));
    // Destroying a link stops its blocked read at once; the other link still works.
    auto gone = connect(bench.firmware);
    ASSERT_EQ(gone->link().startRead(first.data(), 64, &firstCount, 100000), 1);
    std::this_thread::sleep_for(20ms);
    const auto start = Clock::now();
    gone.reset();
    EXPECT_LT(msSince(start), 1000);
    EXPECT_EQ(first, Bytes(64, kUntouched));
    ASSERT_EQ(bench.link().open(), 1);
    EXPECT_EQ(bench.exchange(kId), kIdAnswer);
}

} // namespace
} // namespace usbtest
