// The CH341A bridge against its timing model (sim/Ch341aDevice.h: 1.5 MHz SPI clock,
// 32-byte packets, 1 ms per USB round trip the host waits for; W25Q32JV times: page
// program 0.7 ms, 4 KiB erase 45 ms, 64 KiB erase 150 ms, chip erase 10 s). Prints the
// modelled (virtual) times of a 4 MiB read, a full erase + write + verify and a
// differential write with 1 % of the sectors changed, beside the targets. These are
// simulated figures, not measurements on hardware.
#include "bridge/SpiNorFlash.h"
#include "tests/support/SimBridge.h"

#include <chrono>
#include <cstdio>
#include <random>

namespace {

constexpr uint64_t kChip = 4 << 20;

struct Figure {
    const char* name;
    double targetS;
};

void print(const Figure& figure, testsupport::SimBridge& sim, uint64_t startNs,
           std::chrono::steady_clock::time_point wallStart, const bridge::ChipResult& r) {
    const double modelled = double(sim.device().time() - startNs) / 1e9;
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart)
                            .count();
    std::printf("%-44s %7.2f s modelled (target <= %4.0f s) %s  [%.1f s wall clock]%s\n",
                figure.name, modelled, figure.targetS, modelled <= figure.targetS ? "ok" : "SLOW",
                wall, r.ok() ? "" : bridge::outcomeName(r.outcome));
}

} // namespace

int main() {
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
