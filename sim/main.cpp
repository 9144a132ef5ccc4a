// brimwick-sim: a simulated programmer that Brimwick+ finds like a real one.
#include "chipdb/ChipDatabase.h"
#include "chipdb/ChipTable.h"
#include "chipdb/DatabasePath.h"
#include "sim/BridgeChip.h"
#include "sim/SimCommandLine.h"
#include "sim/SimServer.h"

#include <csignal>
#include <cstdio>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>

namespace {

std::optional<ChipInfo> lookUpChip(const sim::SimCommandLine& line) {
    const std::string path =
        line.databasePath.empty() ? databaseLocationOfThisProgram().loadPath() : line.databasePath;
    if (path.empty()) {
        std::fprintf(stderr, "brimwick-sim: cannot tell where ChipInfo.chip is; use --db\n");
        return std::nullopt;
    }
    ChipDatabase database(Language::English, path);
    if (!database.load()) {
        std::fprintf(stderr, "brimwick-sim: cannot load the chip database %s\n", path.c_str());
        return std::nullopt;
    }
    ChipInfo chip{};
    if (database.find(&chip, 1, nullptr, line.chipName.c_str()) != 1) {
        std::fprintf(stderr, "brimwick-sim: no chip named \"%s\" in %s\n", line.chipName.c_str(),
                     path.c_str());
        return std::nullopt;
    }
    return chip;
}

sigset_t blockStopSignals() {
    // The signals are taken by sigtimedwait, so every thread started after this must
    // have them blocked.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    return stopSignals;
}

// Serves until a stop signal or until the device unplugs itself.
// `eachTick` runs ten times a second while the device is served.
void serveUntilStopped(const sim::SimServer& server, const sigset_t& stopSignals,
                       const std::function<void()>& eachTick = {}) {
    const timespec tick{0, 100'000'000};
    for (;;) {
        const int signal = sigtimedwait(&stopSignals, nullptr, &tick);
        if (signal == SIGINT || signal == SIGTERM) {
            break;
        }
        if (eachTick) {
            eachTick();
        }
        if (!server.pluggedIn()) {
            std::fprintf(stderr, "brimwick-sim: the programmer unplugged itself (fault)\n");
            break;
        }
    }
}

bool attachChip(sim::Ch341aDevice& device, sim::BridgeChip& chip) {
    sim::attachBridgeChip(device, chip);
    return true;
}

// The CH347 carries SPI chips and, on its I2C pins, 24-series ones; it has no Microwire.
bool attachChip(sim::Ch347Device& device, sim::BridgeChip& chip) {
    if (chip.microwire)
        return false;
    device.attachChip(chip.spi.get());
    device.attachI2c(chip.i2c.get());
    return true;
}

// Serves `device` (a CH341A or CH347 model) with the chip --chip names on its bus.
template <typename Device>
int serveBridge(const sim::SimCommandLine& line, Device& device, const char* socketPrefix,
                const char* name) {
    const sigset_t stopSignals = blockStopSignals();
    sim::BridgeChip chip;
    if (!line.emptySocket) {
        chip =
            sim::makeBridgeChip(line.chipName, line.spiChip, line.microwireWidth, device.clock());
        // A clip that touches no chip leaves it off the bus.
        if (!line.noContact && !attachChip(device, chip)) {
            std::fprintf(stderr, "brimwick-sim: %s has no Microwire pins for %s\n", name,
                         line.chipName.c_str());
            return 2;
        }
    }
    sim::SimServer server(device, socketPrefix);
    std::string error;
    if (!server.start(&error)) {
        std::fprintf(stderr, "brimwick-sim: %s\n", error.c_str());
        return 1;
    }
    std::printf("Simulated %s bridge with %s\n", name,
                line.emptySocket ? "no chip on its bus" : line.chipName.c_str());
    std::printf("%s\n", server.socketPath().c_str());
    std::fflush(stdout);
    serveUntilStopped(server, stopSignals);
    server.stop();
    return 0;
}

int runBridge(const sim::SimCommandLine& line) {
    if (line.bridge == "ch347" || line.bridge == "ch347f") {
        const sim::Ch347Options options = sim::ch347Options(line);
        const sim::Ch347Identity& identity = sim::ch347Identity(options.variant);
        sim::Ch347Device device(options);
        return serveBridge(line, device, identity.socketPrefix, identity.name);
    }
    sim::Ch341aDevice device(sim::bridgeOptions(line));
    return serveBridge(line, device, simwire::kCh341aSocketPrefix, "CH341A");
}

} // namespace

int main(int argc, char** argv) {
    sim::SimCommandLine line;
    std::string error;
    if (!parseSimCommandLine(std::vector<std::string>(argv + 1, argv + argc), &line, &error)) {
        std::fprintf(stderr, "brimwick-sim: %s\n", error.c_str());
        return 2;
    }
    if (line.help) {
        std::fputs(sim::simUsage().c_str(), stdout);
        return 0;
    }

    if (!line.bridge.empty()) {
        return runBridge(line);
    }

    std::optional<ChipInfo> chip;
    if (!line.emptySocket) {
        chip = lookUpChip(line);
        if (!chip) {
            return 1;
        }
    }

    const sigset_t stopSignals = blockStopSignals();

    sim::ProgrammerFirmware firmware(chip ? &*chip : nullptr, line.firmware);
    if (!line.imagePath.empty() && !firmware.attachImage(line.imagePath, &error)) {
        std::fprintf(stderr, "brimwick-sim: %s\n", error.c_str());
        return 1;
    }
    sim::SimServer server(firmware);
    if (!server.start(&error)) {
        std::fprintf(stderr, "brimwick-sim: %s\n", error.c_str());
        return 1;
    }
    if (chip) {
        std::printf("Simulated programmer with %s (%s, %u bytes)\n", chip->name,
                    chipFamilyName(chip->type), chip->capacity);
    } else {
        std::printf("Simulated programmer with an empty socket\n");
    }
    std::printf("%s\n", server.socketPath().c_str());
    std::fflush(stdout);

    // Said once per new reason, not ten times a second.
    serveUntilStopped(server, stopSignals, [&firmware, &error] {
        std::string saveError;
        if (!firmware.saveSettledImage(&saveError) && saveError != error) {
            std::fprintf(stderr, "brimwick-sim: the chip image was not saved: %s\n",
                         saveError.c_str());
        }
        error = saveError;
    });
    server.stop();
    if (!firmware.saveImage(&error)) {
        std::fprintf(stderr, "brimwick-sim: the chip image was not saved: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
