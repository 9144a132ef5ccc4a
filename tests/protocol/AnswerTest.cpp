// Which answers the programmer accepts, and which packets it skips while waiting.
#include "tests/protocol/LinkedProgrammer.h"

using namespace prototest;

namespace {

class Answers : public LinkedProgrammer {
  protected:
    void SetUp() override {
        LinkedProgrammer::SetUp();
        chip_ = makeChip(ChipType::Flash25, 4096, 0xEF, 0x14);
        plugIn(&chip_);
        programmer_.prepareFamily(chip_);
    }

    // The next command's own answer is lost; `packets` come instead.
    void answerNextWith(const std::vector<Bytes>& packets) {
        sim::Faults faults;
        faults.dropAnswer.atCommand = firmware_->stats().commands + 1;
        firmware_->setFaults(faults);
        for (const Bytes& packet : packets) {
            firmware_->injectPacket(packet);
        }
    }

    // Whether an erase start accepts `answer`; leaves the programmer idle again.
    bool eraseAccepts(const Bytes& answer) {
        answerNextWith({answer});
        const int started = programmer_.startErase();
        if (started) {
            EXPECT_EQ(programmer_.poll(), OpStatus::Idle);
        }
        return started == 1;
    }

    ChipInfo chip_{};
};

} // namespace

TEST_F(Answers, EraseLooksAtTheOpcodeAndByteTwoOnly) {
    EXPECT_TRUE(eraseAccepts({0x04, 0x01, 0x01}));
    EXPECT_TRUE(eraseAccepts({0x04, 0x00, 0x01}));
    EXPECT_FALSE(eraseAccepts({0x04, 0x01, 0x00}));
    EXPECT_FALSE(eraseAccepts({0x04, 0x01})); // too short to say
    EXPECT_EQ(programmer_.state(), BusyState::Idle);
}

TEST_F(Answers, ReadAndWriteAnswersMustMatchExactly) {
    Bytes dest(64, 0xAB);
    for (const Bytes& wrong :
         {Bytes{0x01, 0x01, 0x01}, Bytes{0x01, 0x00, 0x00}, Bytes{0x01, 0x01}}) {
        answerNextWith({wrong});
        EXPECT_EQ(programmer_.startReadChip(dest.data(), 0, 64), 0);
        EXPECT_EQ(programmer_.state(), BusyState::Idle);
    }
    const Bytes source(64, 0x00);
    for (const Bytes& wrong : {Bytes{0x02, 0x01, 0x00}, Bytes{0x02, 0x00, 0x01}, Bytes{0x02}}) {
        answerNextWith({wrong});
        // Length 0, so the firmware does not wait for data after its (lost) answer.
        EXPECT_EQ(programmer_.startWriteChip(source.data(), 0, 0, 256), 0);
    }
    EXPECT_EQ(firmware_->chipContents(), Bytes(4096, 0xFF));
    EXPECT_EQ(programmer_.state(), BusyState::Idle);
    EXPECT_EQ(dest, Bytes(64, 0xAB));
}

TEST_F(Answers, StatusIdAndVersionAnswers) {
    int status = -1;
    answerNextWith({{0x03, 0x01, 0x07}});
    EXPECT_EQ(programmer_.queryEraseStatus(&status), 1);
    EXPECT_EQ(status, 7);
    answerNextWith({{0x03, 0x02, 0x00}});
    EXPECT_EQ(programmer_.queryEraseStatus(&status), 0);
    answerNextWith({{0x03, 0x01}}); // no status byte: not read as "still erasing"
    status = -1;
    EXPECT_EQ(programmer_.queryEraseStatus(&status), 0);
    EXPECT_EQ(status, -1);

    uint8_t ids[2] = {0x11, 0x22};
    answerNextWith({{0x05, 0x03, 0xC2, 0x20}});
    EXPECT_EQ(programmer_.readChipId(ids), 0);
    answerNextWith({{0x05, 0x02, 0xC2}});
    EXPECT_EQ(programmer_.readChipId(ids), 0);
    EXPECT_EQ(ids[0], 0x11);
    answerNextWith({{0x05, 0x02, 0xFF, 0xFF}});
    EXPECT_EQ(programmer_.readChipId(ids), 1);
    EXPECT_EQ(ids[0], 0xFF);
    EXPECT_EQ(ids[1], 0xFF);

    char text[Programmer::kVersionTextSize];
    answerNextWith({{0x07}});
    ASSERT_EQ(programmer_.readFirmwareVersion(text), 1);
    EXPECT_STREQ(text, "");
    // Text up to its end when no zero byte comes: bytes 2..63 of the packet.
    Bytes full(64, 'A');
    full[0] = 0x07;
    full[1] = 0x00;
    answerNextWith({full});
    ASSERT_EQ(programmer_.readFirmwareVersion(text), 1);
    EXPECT_EQ(std::string(text), std::string(62, 'A'));
    answerNextWith({{0x07, 0x09, 'V', '2', 0x00, 'Z'}});
    ASSERT_EQ(programmer_.readFirmwareVersion(text), 1);
    EXPECT_STREQ(text, "V2");
}

TEST_F(Answers, StrayOverlongAndEmptyPacketsAreSkipped) {
    uint8_t ids[2] = {};
    // Another command's answer, an empty packet, and an ID answer of 5 bytes where 4 is
    // the most, all before the real answer.
    answerNextWith(
        {{0x03, 0x01, 0x00}, {}, {0x05, 0x02, 0x01, 0x02, 0x03}, {0x05, 0x02, 0xAA, 0xBB}});
    ASSERT_EQ(programmer_.readChipId(ids), 1);
    EXPECT_EQ(ids[0], 0xAA);
    EXPECT_EQ(ids[1], 0xBB);

    // The simulator's own stray and over-long fault packets.
    sim::Faults faults;
    faults.strayPackets.probability = 1.0;
    faults.overlongPackets.probability = 1.0;
    firmware_->setFaults(faults);
    for (int i = 0; i < 5; ++i) {
        ASSERT_EQ(programmer_.readChipId(ids), 1);
        EXPECT_EQ(ids[0], 0xEF);
        EXPECT_EQ(ids[1], 0x14);
    }
    Bytes dest(100);
    ASSERT_EQ(programmer_.startReadChip(dest.data(), 0, 100), 1);
    EXPECT_EQ(pollToEnd(), OpStatus::Idle);
    EXPECT_EQ(dest, Bytes(100, 0xFF));
}

TEST_F(Answers, AFloodOfStraysEndsTheWait) {
    std::vector<Bytes> flood(Programmer::kMaxSkippedPackets + 1, Bytes{0x06, 0x00});
    flood.push_back({0x05, 0x02, 0x01, 0x02}); // too late
    answerNextWith(flood);
    uint8_t ids[2] = {};
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(programmer_.readChipId(ids), 0);
    EXPECT_LT(secondsSince(start), 10.0);
}

TEST_F(Answers, CorruptedAnswersAreRefused) {
    sim::Faults faults;
    faults.corruptAnswer.probability = 1.0;
    firmware_->setFaults(faults);
    Bytes dest(16, 0x5A);
    int status = -1;
    uint8_t ids[2] = {};
    EXPECT_EQ(programmer_.startReadChip(dest.data(), 0, 16), 0);
    EXPECT_EQ(programmer_.startErase(), 0);
    EXPECT_EQ(programmer_.queryEraseStatus(&status), 0);
    EXPECT_EQ(programmer_.readChipId(ids), 0);
    EXPECT_EQ(programmer_.state(), BusyState::Idle);
    EXPECT_EQ(dest, Bytes(16, 0x5A));
}
