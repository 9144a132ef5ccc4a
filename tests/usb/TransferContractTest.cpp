// The timed bulk transfers, run against a device behind a real connection.
#include "tests/usb/ContractBench.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace usbtest {

std::vector<uint32_t> lengths(const std::vector<TransferRecord>& log, bool in) {
    std::vector<uint32_t> out;
    for (const TransferRecord& record : log)
        if (record.in == in)
            out.push_back(record.length);
    return out;
}

namespace {

using Clock = std::chrono::steady_clock;

long long msSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// Polls like the operation loops do, with 5 ms pauses; the result of the read.
int pollReadUntilOver(UsbLink& link) {
    int result = -1;
    while (!link.pollRead(&result))
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return result;
}

int pollWriteUntilOver(UsbLink& link) {
    int result = -1;
    while (!link.pollWrite(&result))
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return result;
}

constexpr uint8_t kUntouched = 0xA5;

class TransferContract : public ::testing::Test {
  protected:
    std::unique_ptr<ContractBench> bench = makeContractBench();
    UsbLink& link = bench->link();
    ScriptedDevice& device = bench->device();
};

TEST_F(TransferContract, ReadAsksInFullChunksAndEndsAfterTheLastSmallerOne) {
    auto first = pattern(4096, 1), second = pattern(4096, 2), last = pattern(64, 3);
    device.queueIn(first);
    device.queueIn(second);
    device.queueIn(last);
    device.queueIn(pattern(64, 4)); // not asked for

    std::vector<uint8_t> buffer(8256 + 64, kUntouched);
    std::atomic<uint32_t> count{12345};
    ASSERT_EQ(link.timedRead(buffer.data(), 8256, &count, 5000), 1);

    EXPECT_EQ(count.load(), 8256u);
    EXPECT_EQ(lengths(bench->log(), true), (std::vector<uint32_t>{4096, 4096, 64}));
    EXPECT_TRUE(std::equal(first.begin(), first.end(), buffer.begin()));
    EXPECT_TRUE(std::equal(second.begin(), second.end(), buffer.begin() + 4096));
    EXPECT_TRUE(std::equal(last.begin(), last.end(), buffer.begin() + 8192));
    EXPECT_TRUE(std::all_of(buffer.begin() + 8256, buffer.end(),
                            [](uint8_t b) { return b == kUntouched; }));
    EXPECT_EQ(device.queuedPackets(), 1u);
}

TEST_F(TransferContract, ShortChunkEndsTheReadWithSuccessAndItsCount) {
    device.queueIn(pattern(4096, 1));
    auto shortChunk = pattern(100, 9);
    device.queueIn(shortChunk);
    device.queueIn(pattern(64, 4)); // not asked for

    std::vector<uint8_t> buffer(8256, kUntouched);
    std::atomic<uint32_t> count{0};
    ASSERT_EQ(link.startRead(buffer.data(), 8256, &count, 100000), 1);
    EXPECT_EQ(pollReadUntilOver(link), 1);

    EXPECT_EQ(count.load(), 4196u);
    EXPECT_EQ(lengths(bench->log(), true), (std::vector<uint32_t>{4096, 4096}));
    EXPECT_TRUE(std::equal(shortChunk.begin(), shortChunk.end(), buffer.begin() + 4096));
    EXPECT_EQ(buffer[4196], kUntouched);
    EXPECT_EQ(device.queuedPackets(), 1u);
}

TEST_F(TransferContract, ReadOfWholeChunksEndsWithAZeroByteCall) {
    device.queueIn(pattern(4096, 1));
    device.queueIn(pattern(4096, 2));
    device.queueIn({}); // the device's end-of-data marker

    std::vector<uint8_t> buffer(8192);
    std::atomic<uint32_t> count{0};
    ASSERT_EQ(link.timedRead(buffer.data(), 8192, &count, 5000), 1);
    EXPECT_EQ(count.load(), 8192u);
    if (bench->zeroLengthReadsReachDevice())
        EXPECT_EQ(lengths(bench->log(), true), (std::vector<uint32_t>{4096, 4096, 0}));
    else
        EXPECT_EQ(lengths(bench->log(), true), (std::vector<uint32_t>{4096, 4096}));
}

TEST_F(TransferContract, ReadStalledInsideOneChunkIsAbandonedAfterTwoSeconds) {
    device.queueIn(pattern(4096, 1)); // then nothing more

    std::vector<uint8_t> buffer(8256, kUntouched);
    std::atomic<uint32_t> count{0};
    Clock::time_point start = Clock::now();
    ASSERT_EQ(link.startRead(buffer.data(), 8256, &count, 100000), 1);
    EXPECT_EQ(pollReadUntilOver(link), 0);
    long long elapsed = msSince(start);

    EXPECT_GE(elapsed, 1990);
    EXPECT_LT(elapsed, 2000 + 2000); // far below the overall 100 s
    // What arrived before the stall stays; the abandoned chunk left nothing behind.
    EXPECT_EQ(count.load(), 4096u);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(count.load(), 4096u);
    EXPECT_TRUE(std::all_of(buffer.begin() + 4096, buffer.end(),
                            [](uint8_t b) { return b == kUntouched; }));

    // The pipe serves the next transfer.
    bench->settle();
    auto answer = pattern(64, 7);
    device.queueIn(answer);
    std::vector<uint8_t> packet(64);
    std::atomic<uint32_t> packetCount{0};
    EXPECT_EQ(link.timedRead(packet.data(), 64, &packetCount, 1000), 1);
    EXPECT_EQ(packetCount.load(), 64u);
    EXPECT_EQ(packet, answer);
}

TEST_F(TransferContract, ReadWithNoAnswerFailsAtItsDeadline) {
    std::vector<uint8_t> packet(64);
    std::atomic<uint32_t> count{0};
    Clock::time_point start = Clock::now();
    EXPECT_EQ(link.timedRead(packet.data(), 64, &count, 300), 0);
    long long elapsed = msSince(start);
    EXPECT_GE(elapsed, 295);
    EXPECT_LT(elapsed, 300 + 1500);
    EXPECT_EQ(count.load(), 0u);
}

TEST_F(TransferContract, WriteOfWholeChunksEndsWithAZeroLengthTransfer) {
    auto data = pattern(8192, 5);
    std::atomic<uint32_t> count{0};
    ASSERT_EQ(link.timedWrite(data.data(), 8192, &count, 5000), 1);
    EXPECT_EQ(count.load(), 8192u);
    EXPECT_EQ(lengths(bench->log(), false), (std::vector<uint32_t>{4096, 4096, 0}));
    EXPECT_EQ(device.received(), data);
}

TEST_F(TransferContract, WriteOfACommandPacketIsOneTransfer) {
    const std::vector<uint8_t> command = {0x01, 0x0A, 0x01, 0,    0, 0, 0, 0,
                                          0x01, 0,    0,    0x03, 0, 0, 0};
    std::atomic<uint32_t> count{0};
    ASSERT_EQ(link.startWrite(command.data(), 15, &count, 500), 1);
    EXPECT_EQ(pollWriteUntilOver(link), 1);
    EXPECT_EQ(count.load(), 15u);
    EXPECT_EQ(lengths(bench->log(), false), (std::vector<uint32_t>{15}));
    EXPECT_EQ(device.received(), command);
}

TEST_F(TransferContract, WriteThatThePipeAlwaysRefusesIsAbandonedAtItsDeadline) {
    device.setRefuseOut(true);
    auto data = pattern(100, 5);
    std::atomic<uint32_t> count{0};
    Clock::time_point start = Clock::now();
    EXPECT_EQ(link.timedWrite(data.data(), 100, &count, 300), 0);
    long long elapsed = msSince(start);

    EXPECT_GE(elapsed, 295);
    EXPECT_LT(elapsed, 300 + 1500);
    EXPECT_EQ(count.load(), 0u);
    // Tried again, but with pauses between the tries rather than flat out.
    size_t tries = lengths(bench->log(), false).size();
    EXPECT_GE(tries, 2u);
    EXPECT_LE(tries, static_cast<size_t>(elapsed));
    EXPECT_TRUE(device.received().empty());
}

TEST_F(TransferContract, WriteToAnUnpluggedDeviceEndsAtOnce) {
    device.setGone(true);
    auto data = pattern(8192, 5);
    std::atomic<uint32_t> count{0};
    Clock::time_point start = Clock::now();
    EXPECT_EQ(link.timedWrite(data.data(), 8192, &count, 60000), 0);
    EXPECT_LT(msSince(start), 2000);
    EXPECT_EQ(count.load(), 0u);
}

TEST_F(TransferContract, StartWithoutAnOpenPipeIsRefusedAndChangesNothing) {
    auto answer = pattern(64, 3);
    device.queueIn(answer);
    std::vector<uint8_t> buffer(64);
    std::atomic<uint32_t> count{0};
    ASSERT_EQ(link.timedRead(buffer.data(), 64, &count, 1000), 1);

    UsbLink unopened;
    std::vector<uint8_t> other(64, kUntouched);
    std::atomic<uint32_t> otherCount{777};
    EXPECT_EQ(unopened.startRead(other.data(), 64, &otherCount, 1000), 0);
    EXPECT_EQ(unopened.timedRead(other.data(), 64, &otherCount, 1000), 0);
    EXPECT_EQ(unopened.startWrite(other.data(), 64, &otherCount, 1000), 0);

    int result = -1;
    EXPECT_EQ(link.pollRead(&result), 1);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(count.load(), 64u);
    EXPECT_EQ(otherCount.load(), 777u);
    EXPECT_TRUE(std::all_of(other.begin(), other.end(), [](uint8_t b) { return b == kUntouched; }));
    EXPECT_EQ(lengths(bench->log(), true).size(), 1u);
}

TEST_F(TransferContract, NewReadWhileOneRunsStopsTheFirstWithoutTouchingItsBuffer) {
    std::vector<uint8_t> first(64, kUntouched);
    std::atomic<uint32_t> firstCount{0};
    ASSERT_EQ(link.startRead(first.data(), 64, &firstCount, 100000), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(20)); // let it block

    std::vector<uint8_t> second(64, kUntouched);
    std::atomic<uint32_t> secondCount{0};
    ASSERT_EQ(link.startRead(second.data(), 64, &secondCount, 5000), 1);
    bench->settle();
    auto answer = pattern(64, 8);
    device.queueIn(answer);
    EXPECT_EQ(pollReadUntilOver(link), 1);

    EXPECT_EQ(second, answer);
    EXPECT_EQ(secondCount.load(), 64u);
    EXPECT_EQ(firstCount.load(), 0u);
    EXPECT_TRUE(std::all_of(first.begin(), first.end(), [](uint8_t b) { return b == kUntouched; }));
}

TEST_F(TransferContract, ReadAndWriteRunSideBySide) {
    auto answer = pattern(4096 + 30, 6);
    auto data = pattern(5000, 2);
    std::vector<uint8_t> buffer(8192 + 64, kUntouched);
    std::atomic<uint32_t> readCount{0};
    std::atomic<uint32_t> writeCount{0};
    ASSERT_EQ(link.startRead(buffer.data(), 8192 + 64, &readCount, 5000), 1);
    ASSERT_EQ(link.startWrite(data.data(), 5000, &writeCount, 5000), 1);
    device.queueIn(answer);
    EXPECT_EQ(pollWriteUntilOver(link), 1);
    EXPECT_EQ(pollReadUntilOver(link), 1);

    EXPECT_EQ(writeCount.load(), 5000u);
    EXPECT_EQ(device.received(), data);
    EXPECT_EQ(readCount.load(), 4096u + 30);
    EXPECT_TRUE(std::equal(answer.begin(), answer.end(), buffer.begin()));
}

TEST_F(TransferContract, DestroyingALinkStopsItsBlockedRead) {
    auto second = std::make_unique<UsbLink>();
    ASSERT_EQ(second->open(), 1);
    std::vector<uint8_t> buffer(64, kUntouched);
    std::atomic<uint32_t> count{0};
    ASSERT_EQ(second->startRead(buffer.data(), 64, &count, 100000), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));

    Clock::time_point start = Clock::now();
    second.reset();
    EXPECT_LT(msSince(start), 1000);
    EXPECT_EQ(count.load(), 0u);

    // The bench's own link is reopened and works.
    bench->settle();
    ASSERT_EQ(link.open(), 1);
    auto answer = pattern(64, 1);
    device.queueIn(answer);
    std::vector<uint8_t> packet(64);
    std::atomic<uint32_t> packetCount{0};
    EXPECT_EQ(link.timedRead(packet.data(), 64, &packetCount, 1000), 1);
    EXPECT_EQ(packet, answer);
}

} // namespace

} // namespace usbtest
