// The CH341A bridge against its timing model (sim/Ch341aDevice.h: 1.5 MHz SPI clock,
// 32-byte packets, 1 ms per USB round trip the host waits for; W25Q32JV times: page
// program 0.7 ms, 4 KiB erase 45 ms, 64 KiB erase 150 ms, chip erase 10 s). Prints the
// modelled (virtual) times of a 4 MiB read, a full erase + write + verify and a
// differential write with 1 % of the sectors changed, beside the targets. These are
// simulated figures, not measurements on hardware.
//
// Then the CH347 at 30 MHz against its model (sim/Ch347Device.h: 480 Mbit/s USB, 17 ns a
// byte and 2 us a frame, never overlapping the SPI clock). Its floor for a full erase +
// write + verify of a W25Q32 is set by the chip: chip erase 10 s plus 16384 pages of
// 0.7 ms (11.5 s), plus the SPI time of the data written and of the verify read (4 MiB
// each at 30 MHz: 1.1 s each), 23.7 s, above the 20 s wished for; the bridge adds its USB
// frames, round trips and the polling granularity.
//
// EEPROMs on the same model: a 24C256 at 400 kHz (9 clocks per byte, one per start and
// stop, 5 ms write cycle per 64-byte page during which the chip answers no address) is
// written and verified against the floor of its I2C clocks and write cycles: per page
// the device address, two address bytes and 64 data bytes plus the cycle, then one
// sequential read of 32 KiB. A 93C66 (x16) is read through the pin stream, where every
// bit out takes at least two pin settings (SK low with DI, SK high) and every bit in one
// more, a DO read; 30 such steps fit a 32-byte packet and each packet is a 1/38 share of
// a full-speed USB frame (Ch341aDevice::kPinPacketNs): that is its floor (the one round
// trip before the answers come back is not in it). The 24C256 runs again over the CH347's
// I2C stream against the same floor: its 512-byte packets carry a page and its polls in
// one packet, but the I2C clock and the write cycles are the bridge-independent floor.
#include "bridge/Ch341aI2c.h"
#include "bridge/Ch341aMicrowire.h"
#include "bridge/Ch347I2c.h"
#include "bridge/I2cEeprom.h"
#include "bridge/MicrowireEeprom.h"
#include "bridge/SpiNorFlash.h"
#include "sim/BridgeChip.h"
#include "tests/support/SimBridge.h"
#include "tests/support/SimCh347.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <random>

namespace {

constexpr uint64_t kChip = 4 << 20;

struct Figure {
    const char* name;
    double targetS;
};

template <typename Sim>
void print(const Figure& figure, Sim& sim, uint64_t startNs,
           std::chrono::steady_clock::time_point wallStart, const bridge::ChipResult& r) {
    const double modelled = double(sim.device().time() - startNs) / 1e9;
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
    std::printf("%-44s %7.2f s modelled (target <= %4.1f s) %s  [%.1f s wall clock]%s\n",
                figure.name, modelled, figure.targetS, modelled <= figure.targetS ? "ok" : "SLOW",
                wall, r.ok() ? "" : bridge::outcomeName(r.outcome));
}

// A CH341A with a 24- or 93-series chip, opened as the host opens it.
struct EepromSim {
    explicit EepromSim(const std::string& chip)
        : part(sim::makeBridgeChip(chip, {}, 16, device.clock())) {
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

void printAgainstFloor(const char* name, double modelled, double floor, double factor,
                       const bridge::ChipResult& r) {
    std::printf("%-44s %7.3f s modelled, floor %.3f s: %.2f x (target <= %.1f x) %s%s\n", name,
                modelled, floor, modelled / floor, factor,
                modelled <= factor * floor ? "ok" : "SLOW",
                r.ok() ? "" : bridge::outcomeName(r.outcome));
}

// A 24C256 written and verified at 400 kHz over `bus`, against the floor of its I2C
// clocks and write cycles; `now` reads the bridge model's virtual time.
void bench24c256(const char* name, bridge::I2cBus& bus, const std::function<uint64_t()>& now) {
    bus.setClockKHz(400);
    bridge::I2cEeprom eeprom(bus, {32768});
    std::vector<uint8_t> image(32768);
    std::mt19937 random(3);
    for (uint8_t& b : image)
        b = static_cast<uint8_t>(random());
    const uint64_t start = now();
    const bridge::ChipResult r = eeprom.write(0, image);
    const double clockS = 1 / 400e3;
    const double pages = 32768 / 64;
    const double floor =
        pages * ((3 + 64) * 9 + 2) * clockS + pages * 5e-3 + (32768 + 4) * 9 * clockS;
    printAgainstFloor(name, double(now() - start) / 1e9, floor, 1.5, r);
}

void benchEeproms() {
    {
        EepromSim sim("24C256");
        bridge::Ch341aI2c bus(*sim.link);
        bench24c256("24C256 write + verify at 400 kHz", bus, [&sim] { return sim.device.time(); });
    }
    {
        // The same chip on the CH347's I2C stream: 512-byte packets, the same I2C clock.
        testsupport::SimFolder folder;
        sim::Ch347Device device;
        sim::I2cEepromChip chip(*sim::findI2cEeprom("24C256"), device.clock());
        device.attachI2c(&chip);
        sim::SimServer server{device, simwire::kCh347SocketPrefix};
        server.start();
        auto link =
            bridge::Ch347Spi::open(*usb::makeSimBackend(folder.path()), server.socketPath());
        if (link) {
            bridge::Ch347I2c bus(*link);
            bench24c256("CH347 24C256 write + verify at 400 kHz", bus,
                        [&device] { return device.time(); });
        }
    }
    {
        EepromSim sim("93C66");
        bridge::Ch341aMicrowire bus(*sim.link);
        bridge::MicrowireEeprom eeprom(bus, {512, 16});
        std::vector<uint8_t> back(512);
        const uint64_t start = sim.device.time();
        const bridge::ChipResult r = eeprom.read(0, back);
        const double steps = (1 + 2 + 8) * 2 + 1 + 512 * 8 * 3;
        const double floor = std::ceil(steps / 30) * double(sim::Ch341aDevice::kPinPacketNs) / 1e9;
        printAgainstFloor("93C66 read through the pin stream",
                          double(sim.device.time() - start) / 1e9, floor, 2, r);
    }
}

} // namespace

int benchCh347() {
    testsupport::SimCh347 sim("W25Q32", 30'000'000);
    bridge::NorIdentity id;
    if (!sim.opened() || !bridge::identifyNor(sim.bus(), &id).ok() || !id.geometry) {
        std::fprintf(stderr, "bench_bridge: the simulated CH347 chip was not identified\n");
        return 1;
    }
    bridge::SpiNorFlash flash(sim.bus(), *id.geometry);
    std::vector<uint8_t> image(kChip);
    std::mt19937 random(11);
    for (uint8_t& b : image)
        b = static_cast<uint8_t>(random());
    std::printf("CH347 at 30 MHz; SPI limit for 4 MiB: %.2f s; floor of erase + write + "
                "verify (chip erase 10 s, 16384 pages x 0.7 ms, data out and back): %.1f s\n",
                double(kChip) * 8 / 30e6, 10 + 16384 * 0.7e-3 + 2 * double(kChip) * 8 / 30e6);
    auto wall = std::chrono::steady_clock::now();
    uint64_t start = sim.device().time();
    std::vector<uint8_t> back(kChip);
    bridge::ChipResult r = flash.read(0, back);
    print({"CH347 read 4 MiB", 1.5}, sim, start, wall, r);
    wall = std::chrono::steady_clock::now();
    start = sim.device().time();
    r = flash.write(0, image, bridge::WriteMode::Full);
    print({"CH347 erase + write + verify 4 MiB", 20}, sim, start, wall, r);
    std::printf("  pages sent %llu, sent again after a busy chip %llu, round trips %llu\n",
                static_cast<unsigned long long>(flash.pagesProgrammed()),
                static_cast<unsigned long long>(flash.pagesRepeated()),
                static_cast<unsigned long long>(sim.device().roundTrips()));
    return 0;
}

int main() {
    benchEeproms();
    if (benchCh347() != 0)
        return 1;
    testsupport::SimBridge sim("W25Q32");
    bridge::NorIdentity id;
    if (!bridge::identifyNor(sim.bus(), &id).ok() || !id.geometry) {
        std::fprintf(stderr, "bench_bridge: the simulated chip was not identified\n");
        return 1;
    }
    bridge::SpiNorFlash flash(sim.bus(), *id.geometry);
    std::vector<uint8_t> image(kChip);
    std::mt19937 random(7);
    for (uint8_t& b : image)
        b = static_cast<uint8_t>(random());
    std::printf("SPI limit for 4 MiB at 1.5 MHz: %.1f s\n", double(kChip) * 8 / 1.5e6);

    auto wall = std::chrono::steady_clock::now();
    uint64_t start = sim.device().time();
    std::vector<uint8_t> back(kChip);
    bridge::ChipResult r = flash.read(0, back);
    print({"read 4 MiB", 25}, sim, start, wall, r);

    wall = std::chrono::steady_clock::now();
    start = sim.device().time();
    r = flash.write(0, image, bridge::WriteMode::Full);
    print({"erase + write + verify 4 MiB", 80}, sim, start, wall, r);
    std::printf("  pages sent %llu, sent again after a busy chip %llu\n",
                static_cast<unsigned long long>(flash.pagesProgrammed()),
                static_cast<unsigned long long>(flash.pagesRepeated()));

    // 1 % of the 1024 sectors get one new byte each.
    for (uint64_t sector = 0; sector < kChip / 4096; sector += 100)
        image[sector * 4096 + 123] ^= 0x5A;
    wall = std::chrono::steady_clock::now();
    start = sim.device().time();
    r = flash.write(0, image, bridge::WriteMode::Differential);
    print({"differential write, 1 % of sectors changed", 30}, sim, start, wall, r);
    std::printf("  sectors erased %llu, pages programmed %llu\n",
                static_cast<unsigned long long>(flash.sectorsErased()),
                static_cast<unsigned long long>(flash.pagesProgrammed()));
    return 0;
}
