// The 24- and 93-series algorithms through the CH341A model on the simulator socket.
#include "bridge/Ch341aI2c.h"
#include "bridge/Ch341aMicrowire.h"
#include "bridge/I2cEeprom.h"
#include "bridge/MicrowireEeprom.h"
#include "sim/BridgeChip.h"
#include "tests/support/ProgramProcess.h"
#include "tests/support/SimBridge.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <chrono>

using bridge::ChipOutcome;

namespace {

struct EepromSim {
    explicit EepromSim(const std::string& chip, uint32_t width = 16, sim::Ch341aOptions o = {})
        : device(o), part(sim::makeBridgeChip(chip, {}, width, device.clock())) {
        sim::attachBridgeChip(device, part);
        server.start();
        link = bridge::Ch341aSpi::open(*usb::makeSimBackend(folder.path()), server.socketPath());
    }
    testsupport::SimFolder folder;
    sim::Ch341aDevice device;
    sim::BridgeChip part;
    sim::SimServer server{device, simwire::kCh341aSocketPrefix};
    std::unique_ptr<bridge::Ch341aSpi> link;
};

std::vector<uint8_t> pattern(size_t size, uint8_t seed) {
    std::vector<uint8_t> data(size);
    for (size_t i = 0; i < size; ++i)
        data[i] = static_cast<uint8_t>(i * 7 + seed + (i >> 8));
    return data;
}

TEST(EepromBridge, I2cScriptsBecomeTheBridgesStreamBytes) {
    bridge::I2cScript s;
    s.start();
    s.address(0xA0);
    const std::vector<uint8_t> word{0x01, 0x10};
    s.write(word);
    s.start();
    s.address(0xA1);
    s.read(3);
    s.stop();
    const auto packets = bridge::Ch341aI2c::packets(s);
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(packets[0].bytes, (std::vector<uint8_t>{0xAA, 0x74, 0x80, 0xA0, 0x82, 0x01, 0x10,
                                                      0x74, 0x80, 0xA1, 0xC2, 0xC0, 0x75, 0x00}));
    EXPECT_EQ(packets[0].answers, 5u);
    bridge::MicrowireFrame f{{1, 0}, 1, 0, {}};
    const auto pins = bridge::Ch341aMicrowire::packets(std::span(&f, 1));
    ASSERT_EQ(pins.size(), 1u);
    EXPECT_EQ(pins[0].bytes, (std::vector<uint8_t>{0xAB, 0x80, 0x81, 0xA1, 0xA9, 0x81, 0x89, 0x00,
                                                   0x81, 0x80, 0x20}));
}

TEST(EepromBridge, I2cWritesPageByPageAcrossBlocksWaitingOutEachWriteCycle) {
    struct Case {
        const char* chip;
        uint32_t kHz;
        uint32_t at, length;
        uint64_t pages;
        uint64_t cycleNs = 5'000'000; // the chip's; the algorithm expects 5 ms
    } cases[] = {
        {"24C02", 100, 0x05, 20, 4},       // 8-byte pages: 3 + 8 + 8 + 1
        {"24C16", 400, 0x0F8, 0x20, 3},    // block 0 into block 1 (device address A2)
        {"24C256", 400, 1000, 300, 6},     // two address bytes, 64-byte pages
        {"24M02", 400, 0x1FFF0, 0x120, 3}, // block 1 into block 2, 256-byte pages
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.chip);
        EepromSim sim(c.chip);
        sim::I2cEepromConfig config = *sim::findI2cEeprom(c.chip);
        config.writeCycleNs = c.cycleNs;
        sim.part.i2c = std::make_unique<sim::I2cEepromChip>(config, sim.device.clock());
        sim.device.attachI2c(sim.part.i2c.get());
        bridge::Ch341aI2c bus(*sim.link);
        ASSERT_EQ(bus.setClockKHz(c.kHz), bridge::BusResult::Ok);
        std::vector<uint8_t>& memory = sim.part.i2c->memory();
        memory = pattern(memory.size(), 9);
        std::vector<uint8_t> expected = memory;
        const std::vector<uint8_t> data = pattern(c.length, 0x40);
        std::copy(data.begin(), data.end(), expected.begin() + c.at);
        bridge::I2cEeprom eeprom(bus, {static_cast<uint32_t>(memory.size())});
        EXPECT_TRUE(eeprom.write(c.at, data).ok());
        EXPECT_TRUE(memory == expected);
        EXPECT_EQ(eeprom.pagesWritten(), c.pages);
        EXPECT_EQ(sim.part.i2c->writeCycles(), c.pages); // no page sent into a busy chip
        EXPECT_GE(sim.device.time(), c.pages * c.cycleNs);
        std::vector<uint8_t> back(memory.size());
        ASSERT_TRUE(eeprom.read(0, back, 2).ok());
        EXPECT_TRUE(back == expected);
    }
}

TEST(EepromBridge, MicrowireInBothOrganisationsWritesErasesAndDisablesWritesAgain) {
    struct Case {
        const char* chip;
        uint32_t width;
        uint32_t addressBits;
    } cases[] = {{"93C46", 8, 7}, {"93C46", 16, 6}, {"93C66", 8, 9}, {"93C86", 16, 10}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.chip) + " x" + std::to_string(c.width));
        EepromSim sim(c.chip, c.width);
        bridge::Ch341aMicrowire bus(*sim.link);
        std::vector<uint8_t>& memory = sim.part.microwire->memory();
        bridge::MicrowireEeprom eeprom(bus, {static_cast<uint32_t>(memory.size()), c.width});
        EXPECT_EQ(eeprom.addressBits(), c.addressBits);
        const std::vector<uint8_t> data = pattern(memory.size(), 3);
        EXPECT_TRUE(eeprom.write(0, data).ok());
        EXPECT_TRUE(memory == data);
        EXPECT_FALSE(sim.part.microwire->writeEnabled());
        std::vector<uint8_t> back(6);
        ASSERT_TRUE(eeprom.read(4, back, 2).ok());
        EXPECT_TRUE(std::equal(back.begin(), back.end(), data.begin() + 4));
        ASSERT_TRUE(eeprom.eraseAll().ok());
        EXPECT_TRUE(std::all_of(memory.begin(), memory.end(), [](uint8_t v) { return v == 0xFF; }));
    }
}

TEST(EepromBridge, NoAnswerAndBridgeFaultsEndInFailureWithoutHanging) {
    using Clock = std::chrono::steady_clock;
    struct Case {
        const char* chip;
        std::optional<uint64_t> sim::Ch341aOptions::*fault;
        ChipOutcome write, read; // read: twice, compared
    } cases[] = {
        {"", nullptr, ChipOutcome::NoChip, ChipOutcome::NoChip},
        {"24C256", &sim::Ch341aOptions::stallAfterSpiBytes, ChipOutcome::BusFailed,
         ChipOutcome::BusFailed},
        {"24C256", &sim::Ch341aOptions::unplugAfterSpiBytes, ChipOutcome::BusGone,
         ChipOutcome::BusGone},
        {"24C256", &sim::Ch341aOptions::noisyAfterSpiBytes, ChipOutcome::Ok,
         ChipOutcome::ReadsDiffer},
        {"93C66", &sim::Ch341aOptions::stallAfterSpiBytes, ChipOutcome::BusFailed,
         ChipOutcome::BusFailed},
        {"93C66", &sim::Ch341aOptions::unplugAfterSpiBytes, ChipOutcome::BusGone,
         ChipOutcome::BusGone},
        {"93C66", &sim::Ch341aOptions::noisyAfterSpiBytes, ChipOutcome::Ok,
         ChipOutcome::ReadsDiffer},
    };
    for (const std::string kind : {"i2c", "microwire"}) {
        for (const Case& c : cases) {
            const bool microwire = std::string(c.chip).starts_with("93");
            if (c.chip[0] != 0 && microwire != (kind == "microwire"))
                continue;
            SCOPED_TRACE(kind + " " + c.chip);
            sim::Ch341aOptions faults;
            if (c.fault)
                faults.*c.fault = 1500;
            EepromSim sim(c.chip, 8, faults);
            bridge::Ch341aI2c i2c(*sim.link);
            ASSERT_EQ(i2c.setClockKHz(400), bridge::BusResult::Ok);
            bridge::Ch341aMicrowire wire(*sim.link);
            bridge::I2cEeprom i2cEeprom(i2c, {32768});
            bridge::MicrowireEeprom wireEeprom(wire, {512, 8});
            const std::vector<uint8_t> data = pattern(512, 1);
            std::vector<uint8_t> back(512);
            const auto start = Clock::now();
            const ChipOutcome wrote = microwire || kind == "microwire"
                                          ? wireEeprom.write(0, data).outcome
                                          : i2cEeprom.write(0, data).outcome;
            // Noise may hit the read back of a write: never reported as success then.
            if (c.write != ChipOutcome::Ok)
                EXPECT_EQ(wrote, c.write);
            else
                EXPECT_TRUE(wrote == ChipOutcome::Ok || wrote == ChipOutcome::VerifyFailed);
            const ChipOutcome read = kind == "microwire" ? wireEeprom.read(0, back, 4).outcome
                                                         : i2cEeprom.read(0, back, 4).outcome;
            EXPECT_EQ(read, c.read);
            EXPECT_LT(Clock::now() - start, std::chrono::seconds(20));
        }
    }
}

TEST(EepromBridge, BrimwickSimCarriesBothFamiliesInTheOrganisationAsked) {
    struct Case {
        std::vector<std::string> args;
        uint32_t capacity, width; // width 0: an I2C part
    } cases[] = {{{"--chip", "24C256"}, 32768, 0}, {{"--chip", "93C46", "--org", "8"}, 128, 8}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[1]);
        TempFolder folder;
        std::vector<std::string> args{"--bridge", "ch341a"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        testsupport::SimProcess sim(BRIMWICK_SIM_PROGRAM, folder.path(), args);
        EXPECT_EQ(sim.banner(), "Simulated CH341A bridge with " + c.args[1]);
        auto link = bridge::Ch341aSpi::open(*usb::makeSimBackend(folder.path()), sim.socketPath());
        ASSERT_TRUE(link);
        const std::vector<uint8_t> data = pattern(64, 5);
        std::vector<uint8_t> back(64);
        bridge::Ch341aI2c i2c(*link);
        bridge::Ch341aMicrowire wire(*link);
        bridge::I2cEeprom i2cEeprom(i2c, {c.capacity});
        // A x8 part read as x16 sees a shorter address: its dummy bit comes too late.
        bridge::MicrowireEeprom wrongWidth(wire, {c.capacity, 16});
        bridge::MicrowireEeprom wireEeprom(wire, {c.capacity, 8});
        if (c.width == 0) {
            ASSERT_EQ(i2c.setClockKHz(100), bridge::BusResult::Ok);
            EXPECT_TRUE(i2cEeprom.write(c.capacity - 64, data).ok());
            EXPECT_TRUE(i2cEeprom.read(c.capacity - 64, back).ok());
        } else {
            EXPECT_EQ(wrongWidth.read(0, back).outcome, ChipOutcome::NoChip);
            EXPECT_TRUE(wireEeprom.write(c.capacity - 64, data).ok());
            EXPECT_TRUE(wireEeprom.read(c.capacity - 64, back).ok());
        }
        EXPECT_EQ(back, data);
        EXPECT_EQ(sim.stop(), 0);
    }
}

} // namespace
