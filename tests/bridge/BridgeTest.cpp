// The chip algorithms through the CH341A model on the simulator socket.
#include "bridge/SpiEeprom.h"
#include "bridge/SpiNorFlash.h"
#include "tests/support/ProgramProcess.h"
#include "tests/support/SimBridge.h"
#include "usb/DeviceInterfaceList.h"
#include "usb/UsbLink.h"

#include <gtest/gtest.h>

#include <chrono>

using namespace testsupport;
using bridge::ChipOutcome;
using bridge::SfdpState;

namespace {

// MISO held low: a clip that reaches the bridge but not the chip.
struct StuckLow : sim::SpiSlave {
    void select() override {}
    uint8_t exchange(uint8_t) override { return 0; }
    void deselect() override {}
};

bridge::SpiNorFlash flashOn(SimBridge& sim) {
    bridge::NorIdentity id;
    EXPECT_TRUE(bridge::identifyNor(sim.bus(), &id).ok());
    return bridge::SpiNorFlash(sim.bus(), id.geometry.value());
}

TEST(Bridge, IdentifyReadsIdsAndSfdpAndNeverTakesFloatingOrGroundedMisoForAChip) {
    using enum sim::SfdpVariant;
    struct Case {
        const char* chip;
        sim::SfdpVariant sfdp;
        ChipOutcome outcome;
        SfdpState state;
        uint64_t capacity; // of the geometry used, 0 = none
        bool fromSfdp;
    } cases[] = {
        {"W25Q32", AsBuilt, ChipOutcome::Ok, SfdpState::Sound, 4 << 20, true},
        {"W25Q32", None, ChipOutcome::Ok, SfdpState::Absent, 4 << 20, false},
        {"W25Q32", Damaged, ChipOutcome::Ok, SfdpState::Damaged, 4 << 20, false},
        {"W25Q256", AsBuilt, ChipOutcome::Ok, SfdpState::Sound, 32 << 20, true},
        {"MX25L3205D", AsBuilt, ChipOutcome::Ok, SfdpState::Absent, 4 << 20, false},
        {"", AsBuilt, ChipOutcome::NoChip, SfdpState::Absent, 0, false},
        {"stuck", AsBuilt, ChipOutcome::NoContact, SfdpState::Absent, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.chip) + " sfdp " + std::to_string(int(c.sfdp)));
        const bool stuck = std::string(c.chip) == "stuck";
        SimBridge sim(stuck ? "" : c.chip, {c.sfdp});
        StuckLow low;
        if (stuck)
            sim.attach(&low);
        bridge::NorIdentity id;
        EXPECT_EQ(bridge::identifyNor(sim.bus(), &id).outcome, c.outcome);
        EXPECT_EQ(id.sfdp.state, c.state);
        EXPECT_EQ(id.geometry ? id.geometry->capacity : 0, c.capacity);
        if (c.capacity == 0)
            continue;
        EXPECT_EQ(id.geometry->fromSfdp, c.fromSfdp);
        EXPECT_EQ(id.jedecId, sim.nor().config().jedecId);
        EXPECT_EQ(id.manufacturerDeviceId, sim.nor().config().manufacturerDeviceId);
        EXPECT_EQ(id.geometry->eraseTypes.front().size, 4096u);
    }
}

TEST(Bridge, ProtectionStopsWritesWithItsRangeAndClearsUnlessTheWpPinLocksIt) {
    struct Case {
        const char* chip;
        uint8_t status1;
        bool hardwareLock;
        uint64_t begin, end; // protected range reported
        ChipOutcome clear;
    } cases[] = {
        {"W25Q32", 0x04, false, 0x3F0000, 0x400000, ChipOutcome::Ok},     // top 1/64
        {"W25Q32", 0x28, false, 0, 0x20000, ChipOutcome::Ok},             // bottom 1/32
        {"W25Q32", 0x44, false, 0x3FF000, 0x400000, ChipOutcome::Ok},     // top 4 KiB (SEC)
        {"W25Q32", 0x1C, true, 0, 0x400000, ChipOutcome::HardwareLocked}, // all, WP low
        {"W25Q256", 0x0C, false, 0x1FC0000, 0x2000000, ChipOutcome::Ok},  // top 4 blocks
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.chip) + " status " + std::to_string(c.status1));
        SimBridge sim(c.chip, {sim::SfdpVariant::AsBuilt, c.status1, c.hardwareLock});
        bridge::SpiNorFlash flash = flashOn(sim);
        const uint64_t top = flash.geometry().capacity;
        const std::vector<uint8_t> data(8192, 0x5A);
        for (uint64_t at : {uint64_t{0}, top - data.size()}) {
            const bridge::ChipResult r = flash.write(at, data, bridge::WriteMode::Differential);
            const bool hits = at < c.end && c.begin < at + data.size();
            EXPECT_EQ(r.outcome, hits ? ChipOutcome::Protected : ChipOutcome::Ok) << at;
            if (hits) {
                EXPECT_EQ(r.begin, c.begin);
                EXPECT_EQ(r.end, c.end);
            }
        }
        EXPECT_EQ(flash.clearProtection().outcome, c.clear);
        EXPECT_EQ(flash.write(top - data.size(), data, bridge::WriteMode::Differential).outcome,
                  c.clear == ChipOutcome::Ok ? ChipOutcome::Ok : ChipOutcome::Protected);
    }
}

TEST(Bridge, WritesReadBackAboveSixteenMibAndTouchNothingOutsideTheRange) {
    for (const char* chip : {"W25Q256", "W25Q32"}) {
        SCOPED_TRACE(chip);
        SimBridge sim(chip);
        bridge::SpiNorFlash flash = flashOn(sim);
        std::vector<uint8_t>& memory = sim.nor().memory();
        for (size_t i = 0; i < memory.size(); i += 97)
            memory[i] = uint8_t(i >> 7);
        const std::vector<uint8_t> before = memory;
        const uint64_t at = memory.size() - 0x12345; // not sector aligned; the last 73 KiB
        const std::vector<uint8_t> data = pattern(0x11000, 3);
        for (auto mode : {bridge::WriteMode::Full, bridge::WriteMode::Differential}) {
            ASSERT_TRUE(flash.write(at, data, mode).ok());
            std::vector<uint8_t> expected = before;
            std::copy(data.begin(), data.end(), expected.begin() + long(at));
            EXPECT_TRUE(memory == expected);
            std::vector<uint8_t> back(data.size());
            ASSERT_TRUE(flash.read(at, back, 2).ok());
            EXPECT_EQ(back, data);
        }
        // Written again unchanged: nothing is erased or programmed.
        ASSERT_TRUE(flash.write(at, data, bridge::WriteMode::Differential).ok());
        EXPECT_EQ(flash.sectorsErased() + flash.pagesProgrammed(), 0u);
    }
}

TEST(Bridge, FourByteModeEnteredForTheOperationAndLeftAfterwards) {
    SimBridge sim("W25Q256");
    bridge::NorGeometry geometry = flashOn(sim).geometry();
    geometry.fourByteOpcodes = false;
    geometry.enter4ByteMode = true;
    bridge::SpiNorFlash flash(sim.bus(), geometry);
    const std::vector<uint8_t> data = pattern(0x3000, 4);
    ASSERT_TRUE(flash.write(0x1800800, data, bridge::WriteMode::Differential).ok());
    EXPECT_TRUE(std::equal(data.begin(), data.end(), sim.nor().memory().begin() + 0x1800800));
    EXPECT_EQ(sim.nor().memory()[0x800], 0xFF); // nothing landed 16 MiB lower
    EXPECT_EQ(sim.nor().status(2) & 1, 0);      // back in 3-byte mode
}

TEST(Bridge, DifferentialWriteErasesOnlySectorsNeedingBitsSetAndProgramsOnlyChangedPages) {
    SimBridge sim("W25Q32");
    bridge::SpiNorFlash flash = flashOn(sim);
    std::vector<uint8_t> image = pattern(1 << 18, 5);
    ASSERT_TRUE(flash.write(0, image, bridge::WriteMode::Full).ok());
    image[0x10000] = 0xFF;                     // a bit set: sector 16 erased, its pages all written
    image[0x30010] &= 0x0F;                    // bits cleared only: one page, no erase
    image[0x20000] = uint8_t(~image[0x20000]); // both
    ASSERT_TRUE(flash.write(0, image, bridge::WriteMode::Differential).ok());
    EXPECT_EQ(flash.sectorsErased(), 2u);
    EXPECT_EQ(flash.pagesProgrammed() - flash.pagesRepeated(), 2 * 16 + 1u);
    EXPECT_TRUE(std::equal(image.begin(), image.end(), sim.nor().memory().begin()));
}

TEST(Bridge, PagesSentToAChipStillBusyAreSentAgain) {
    sim::SpiChipOptions slow;
    slow.pageProgramNs = 3'000'000; // the datasheet's longest
    SimBridge sim("W25Q32", slow);
    bridge::SpiNorFlash flash = flashOn(sim);
    const std::vector<uint8_t> data = pattern(0x8000, 2);
    ASSERT_TRUE(flash.write(0x8000, data, bridge::WriteMode::Full).ok());
    EXPECT_GT(flash.pagesRepeated(), 0u);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), sim.nor().memory().begin() + 0x8000));
}

TEST(Bridge, FaultsEndInFailureWithoutHangingAndNoisyReadsAreCaught) {
    using Clock = std::chrono::steady_clock;
    struct Case {
        std::optional<uint64_t> sim::Ch341aOptions::*fault;
        ChipOutcome read;
    } cases[] = {
        {&sim::Ch341aOptions::stallAfterSpiBytes, ChipOutcome::BusFailed},
        {&sim::Ch341aOptions::unplugAfterSpiBytes, ChipOutcome::BusGone},
        {&sim::Ch341aOptions::noisyAfterSpiBytes, ChipOutcome::ReadsDiffer},
    };
    for (const Case& c : cases) {
        sim::Ch341aOptions faults;
        faults.*c.fault = 100'000;
        SimBridge sim("W25Q32", {}, faults);
        bridge::SpiNorFlash flash = flashOn(sim);
        std::vector<uint8_t> data(1 << 20);
        const auto start = Clock::now();
        EXPECT_EQ(flash.read(0, data, 2).outcome, c.read);
        EXPECT_LT(Clock::now() - start, std::chrono::seconds(10));
        // A failed bus fails at once from then on.
        if (c.read != ChipOutcome::ReadsDiffer) {
            EXPECT_EQ(flash.write(0, data, bridge::WriteMode::Full).outcome, c.read);
        }
    }
}

TEST(Bridge, ACancelledReadEndsAtOnceAndABusOpenedAfterwardsStartsClean) {
    SimBridge sim("W25Q32");
    bridge::SpiNorFlash flash = flashOn(sim);
    std::vector<uint8_t> data(4 << 20);
    std::stop_source stop;
    const auto cancel = [&](bridge::Stage, uint64_t done, uint64_t) {
        if (done > 0)
            stop.request_stop();
    };
    EXPECT_EQ(flash.read(0, data, 1, stop.get_token(), cancel).outcome, ChipOutcome::Cancelled);
    EXPECT_EQ(flash.read(0, std::span(data).first(16)).outcome, ChipOutcome::Cancelled);
    auto again = bridge::Ch341aSpi::open(*usb::makeSimBackend(), sim.socketPath());
    ASSERT_TRUE(again);
    bridge::NorIdentity id;
    EXPECT_TRUE(bridge::identifyNor(*again, &id).ok());
    EXPECT_EQ(id.jedecId, sim.nor().config().jedecId);
}

TEST(Bridge, BrimwickSimServesABridgeThatDiscoveryFindsByItsIdsAndTheLinkPassesBy) {
    TempFolder folder;
    SimProcess sim(BRIMWICK_SIM_PROGRAM, folder.path(),
                   {"--bridge", "ch341a", "--chip", "W25Q256", "--protect", "3C", "--wp-locked"});
    EXPECT_EQ(sim.banner(), "Simulated CH341A bridge with W25Q256");
    const auto backend = usb::makeSimBackend(folder.path());
    ASSERT_EQ(backend->listPaths(), std::vector<std::string>{sim.socketPath()});
    EXPECT_EQ(usb::vendorIdFromPath(sim.socketPath()), bridge::Ch341aSpi::kVendorId);
    EXPECT_EQ(usb::productIdFromPath(sim.socketPath()), bridge::Ch341aSpi::kProductId);
    EXPECT_TRUE(UsbLink({backend}).listProgrammers().empty());
    auto bus = bridge::Ch341aSpi::open(*backend, sim.socketPath());
    ASSERT_TRUE(bus);
    EXPECT_EQ(bus->version(), (std::vector<uint8_t>{0x30, 0x00}));
    bridge::NorIdentity id;
    ASSERT_TRUE(bridge::identifyNor(*bus, &id).ok());
    bridge::SpiNorFlash flash(*bus, id.geometry.value());
    EXPECT_EQ(flash.clearProtection().outcome, ChipOutcome::HardwareLocked);
    EXPECT_EQ(sim.stop(), 0);
}

TEST(Bridge, EepromWritesPagesAndTheNinthAddressBit) {
    struct Case {
        const char* chip;
        uint32_t capacity, page, at, length;
        uint8_t status; // BP1 (top half) protects the write until cleared
    } cases[] = {{"25LC040", 512, 16, 0xF5, 0x30, 0},
                 {"25LC256", 32768, 64, 0x7FC0 - 3, 0x40, 0x08},
                 {"25LC1024", 131072, 256, 0x1FF00 - 7, 0x100, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.chip);
        SimBridge sim(c.chip, {sim::SfdpVariant::AsBuilt, c.status});
        bridge::SpiEeprom eeprom(sim.bus(), {c.capacity, c.page});
        const std::vector<uint8_t> data = pattern(c.length, 9);
        if (c.status != 0) {
            const bridge::ChipResult r = eeprom.write(c.at, data);
            EXPECT_EQ(r.outcome, ChipOutcome::Protected);
            EXPECT_EQ(r.begin, c.capacity / 2);
            ASSERT_TRUE(eeprom.clearProtection().ok());
        }
        ASSERT_TRUE(eeprom.write(c.at, data).ok());
        std::vector<uint8_t> expected(c.capacity, 0xFF);
        std::copy(data.begin(), data.end(), expected.begin() + c.at);
        EXPECT_TRUE(sim.eeprom().memory() == expected);
    }
}

} // namespace
