// Prints how fast commands and chip data move through the link to the simulated
// programmer: the command round trip (unpaced) and read/write throughput of a 4 MiB
// chip against the simulator's pacing rate.
#include "protocol/FamilyParams.h"
#include "protocol/Programmer.h"
#include "sim/SimServer.h"
#include "usb/UsbLink.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

ChipInfo flashChip(uint32_t capacity) {
    ChipInfo chip{};
    chip.type = ChipType::Flash25;
    std::strcpy(chip.name, "BENCH");
    chip.capacity = capacity;
    chip.manufacturerId = 0xEF;
    chip.deviceId = 0x15;
    chip.memoryWidth = 8;
    return chip;
}

double seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// Runs the started operation to its end the way the main window does.
bool pollToEnd(Programmer& programmer) {
    for (;;) {
        const OpStatus status = programmer.poll();
        if (status == OpStatus::Idle) {
            return true;
        }
        if (status == OpStatus::Failed) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

bool measureRoundTrip() {
    const ChipInfo chip = flashChip(4 << 20);
    sim::FirmwareOptions options;
    options.pacing.bytesPerSecond = 0;
    sim::ProgrammerFirmware firmware(&chip, options);
    sim::SimServer server(firmware);
    std::string error;
    if (!server.start(&error)) {
        std::fprintf(stderr, "cannot plug in the simulator: %s\n", error.c_str());
        return false;
    }
    UsbLink link;
    Programmer programmer;
    if (link.open() != 1) {
        std::fprintf(stderr, "the link did not find the simulator\n");
        return false;
    }
    programmer.init(&link);
    programmer.prepareFamily(chip);

    constexpr int kWarmUp = 50;
    constexpr int kRounds = 2000;
    std::vector<double> times;
    times.reserve(kRounds);
    for (int i = 0; i < kWarmUp + kRounds; ++i) {
        uint8_t ids[2];
        const auto start = Clock::now();
        if (!programmer.readChipId(ids)) {
            std::fprintf(stderr, "chip ID command failed\n");
            return false;
        }
        if (i >= kWarmUp) {
            times.push_back(seconds(Clock::now() - start) * 1000.0);
        }
    }
    std::sort(times.begin(), times.end());
    const double median = times[times.size() / 2];
    std::printf("Command round trip (Read chip ID, unpaced, %d rounds):\n", kRounds);
    std::printf(
        "  median %.3f ms, 90%% %.3f ms, 99%% %.3f ms, max %.3f ms  (goal: median <= 1 ms) %s\n",
        median, times[times.size() * 9 / 10], times[times.size() * 99 / 100], times.back(),
        median <= 1.0 ? "MET" : "NOT MET");
    return true;
}

bool measureThroughput() {
    constexpr uint32_t kChipBytes = 4 << 20;
    const ChipInfo chip = flashChip(kChipBytes);
    sim::FirmwareOptions options; // default pacing: the full-speed bulk rate
    const double rate = options.pacing.bytesPerSecond;
    sim::ProgrammerFirmware firmware(&chip, options);
    std::vector<uint8_t> image(kChipBytes);
    for (size_t i = 0; i < image.size(); ++i) {
        image[i] = static_cast<uint8_t>(i * 31 + (i >> 12));
    }
    firmware.setChipContents(0, image);
    sim::SimServer server(firmware);
    std::string error;
    if (!server.start(&error)) {
        std::fprintf(stderr, "cannot plug in the simulator: %s\n", error.c_str());
        return false;
    }
    UsbLink link;
    Programmer programmer;
    if (link.open() != 1) {
        std::fprintf(stderr, "the link did not find the simulator\n");
        return false;
    }
    programmer.init(&link);
    programmer.prepareFamily(chip);

    std::printf("Throughput of a 4 MiB chip at %.0f bytes/s (goal >= 98%%):\n", rate);
    std::vector<uint8_t> dest(kChipBytes);
    auto start = Clock::now();
    if (!programmer.startReadChip(dest.data(), 0, kChipBytes) || !pollToEnd(programmer)) {
        std::fprintf(stderr, "read failed\n");
        return false;
    }
    double took = seconds(Clock::now() - start);
    double percent = kChipBytes / took / rate * 100.0;
    std::printf("  read : %.3f s, %.0f bytes/s, %.1f%% of the rate %s%s\n", took, kChipBytes / took,
                percent, percent >= 98.0 ? "MET" : "NOT MET",
                dest == image ? "" : "  (DATA MISMATCH)");

    // Erase first, so that the write can be checked byte for byte.
    if (!programmer.startErase() || !pollToEnd(programmer)) {
        std::fprintf(stderr, "erase failed\n");
        return false;
    }
    start = Clock::now();
    if (!programmer.startWriteChip(image.data(), 0, kChipBytes, 256) || !pollToEnd(programmer)) {
        std::fprintf(stderr, "write failed\n");
        return false;
    }
    took = seconds(Clock::now() - start);
    percent = kChipBytes / took / rate * 100.0;
    std::printf("  write: %.3f s, %.0f bytes/s, %.1f%% of the rate %s%s\n", took, kChipBytes / took,
                percent, percent >= 98.0 ? "MET" : "NOT MET",
                firmware.chipContents() == image ? "" : "  (DATA MISMATCH)");
    return true;
}

} // namespace

int main() {
    // A private simulator folder, so that no other simulated programmer is found.
    char folder[] = "/tmp/brimwick-bench-XXXXXX";
    if (::mkdtemp(folder) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    ::setenv("BRIMWICK_SIM_DIR", folder, 1);
    const bool ok = measureRoundTrip() && measureThroughput();
    std::filesystem::remove_all(folder);
    return ok ? 0 : 1;
}
