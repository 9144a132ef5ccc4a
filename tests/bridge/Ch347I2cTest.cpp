// 24-series chips over the CH347's I2C stream: its packets, its answers and its speed,
// through the CH347 model on the simulator socket.
#include "bridge/Ch347I2c.h"
#include "bridge/Ch341aI2c.h"
#include "bridge/I2cEeprom.h"
#include "sim/BridgeChip.h"
#include "sim/Ch347Device.h"
#include "tests/support/SimBridge.h"

#include <gtest/gtest.h>

using bridge::ChipOutcome;

namespace {

struct Ch347EepromSim {
    explicit Ch347EepromSim(const std::string& chip, sim::Ch347Options o = {},
                            uint64_t cycleNs = 5'000'000)
        : device(o) {
        if (auto config = sim::findI2cEeprom(chip)) {
            config->writeCycleNs = cycleNs;
            part = std::make_unique<sim::I2cEepromChip>(*config, device.clock());
        }
        device.attachI2c(part.get());
        server.start();
        link = bridge::Ch347Spi::open(*usb::makeSimBackend(folder.path()), server.socketPath());
    }
    testsupport::SimFolder folder;
    sim::Ch347Device device;
    std::unique_ptr<sim::I2cEepromChip> part;
    sim::SimServer server{device, simwire::kCh347SocketPrefix};
    std::unique_ptr<bridge::Ch347Spi> link;
};

TEST(Ch347I2c, ScriptsBecomeEachBridgesStreamWithItsAnswers) {
    bridge::I2cScript s;
    s.start();
    s.address(0xA0);
    s.write(std::vector<uint8_t>{0x01, 0x10});
    s.start();
    s.address(0xA1);
    s.read(3);
    s.stop();
    // The CH347 answers every byte written: 81 for the address, and the two word bytes.
    const auto ch347 = bridge::Ch347I2c::packets(s);
    ASSERT_EQ(ch347.size(), 1u);
    EXPECT_EQ(ch347[0].bytes, (std::vector<uint8_t>{0xAA, 0x74, 0x81, 0xA0, 0x82, 0x01, 0x10, 0x74,
                                                    0x81, 0xA1, 0xC2, 0xC0, 0x75, 0x00}));
    EXPECT_EQ(ch347[0].answers, 7u);
    const std::vector<uint8_t> answers{0x01, 0x01, 0x01, 0x00, 0x11, 0x22, 0x33};
    const auto plan = bridge::encodeI2cStream(s, bridge::kCh347I2cStream);
    EXPECT_EQ(bridge::decodeI2cAnswers(plan, bridge::kCh347I2cStream, answers),
              (std::vector<uint8_t>{0x00, 0x80, 0x11, 0x22, 0x33}));
    EXPECT_FALSE(
        bridge::decodeI2cAnswers(plan, bridge::kCh347I2cStream, std::span(answers).first(6)));
    // A 4 KiB read: 512-byte packets, each answered by fewer than 512 bytes.
    bridge::I2cScript big;
    big.read(4096);
    for (const auto& p : bridge::Ch347I2c::packets(big)) {
        EXPECT_LE(p.bytes.size(), 512u);
        EXPECT_LT(p.answers, 512u);
    }
    // The speed command before a transfer: 60|1 for 100 kHz, 60|2 for 400 kHz.
    for (const auto& [kHz, byte] : {std::pair{100u, 0x61}, {400u, 0x62}, {399u, 0x61}}) {
        EXPECT_EQ(bridge::i2cSpeedPacket(bridge::i2cSpeedCode(kHz)).bytes,
                  (std::vector<uint8_t>{0xAA, static_cast<uint8_t>(byte), 0x00}));
    }
}

TEST(Ch347I2c, PagesAcrossBlocksWithAckPollingAtTheSpeedSet) {
    struct Case {
        const char* chip;
        uint32_t kHz;
        uint32_t at, length;
        uint64_t pages;
    } cases[] = {
        {"24C16", 100, 0x0F8, 0x20, 3},    // block 0 into block 1 (device address A2)
        {"24C256", 400, 1000, 300, 6},     // two address bytes, 64-byte pages
        {"24M02", 400, 0x1FFF0, 0x120, 3}, // block bits and two address bytes
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.chip);
        Ch347EepromSim sim(c.chip);
        ASSERT_TRUE(sim.link);
        bridge::Ch347I2c bus(*sim.link);
        ASSERT_EQ(bus.setClockKHz(c.kHz), bridge::BusResult::Ok);
        EXPECT_EQ(sim.device.i2cSpeedKHz(), c.kHz);
        std::vector<uint8_t>& memory = sim.part->memory();
        std::vector<uint8_t> expected = memory;
        std::vector<uint8_t> data(c.length);
        for (size_t i = 0; i < data.size(); ++i)
            data[i] = static_cast<uint8_t>(i * 13 + 5);
        std::copy(data.begin(), data.end(), expected.begin() + c.at);
        bridge::I2cEeprom eeprom(bus, {static_cast<uint32_t>(memory.size())});
        const uint64_t before = sim.device.time();
        EXPECT_TRUE(eeprom.write(c.at, data).ok());
        EXPECT_TRUE(memory == expected);
        EXPECT_EQ(sim.part->writeCycles(), c.pages); // no page sent into a busy chip
        // The bus time follows the speed: each data byte takes 9 clocks.
        EXPECT_GE(sim.device.time() - before, c.pages * 5'000'000 + c.length * 9'000'000 / c.kHz);
        std::vector<uint8_t> back(memory.size());
        ASSERT_TRUE(eeprom.read(0, back, 2).ok());
        EXPECT_TRUE(back == expected);
    }
}

TEST(Ch347I2c, NoAnswerStallAndUnplugFailBeforeAnythingIsReportedWritten) {
    struct Case {
        const char* chip;
        std::optional<uint64_t> sim::Ch347Options::*fault;
        ChipOutcome write;
        sim::Ch347Variant variant = sim::Ch347Variant::T; // a CH347F's pins not switched to I2C
    } cases[] = {
        {"", nullptr, ChipOutcome::NoChip},
        {"24C256", nullptr, ChipOutcome::NoChip, sim::Ch347Variant::F},
        {"24C256", &sim::Ch347Options::stallAfterSpiBytes, ChipOutcome::BusFailed},
        {"24C256", &sim::Ch347Options::unplugAfterSpiBytes, ChipOutcome::BusGone},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.chip);
        sim::Ch347Options options{.variant = c.variant};
        if (c.fault)
            options.*c.fault = 1500;
        Ch347EepromSim sim(c.chip, options);
        ASSERT_TRUE(sim.link);
        bridge::Ch347I2c bus(*sim.link);
        bridge::I2cEeprom eeprom(bus, {32768});
        const std::vector<uint8_t> data(4096, 0x5A);
        EXPECT_EQ(eeprom.write(0, data).outcome, c.write);
        // No acknowledgement: only the polls of the device address went out, no data.
        if (c.write == ChipOutcome::NoChip) {
            EXPECT_EQ(eeprom.pagesWritten(), 0u);
            EXPECT_LT(sim.device.spiBytes(), data.size());
        }
    }
}

} // namespace
