// brimwick-sim: a simulated programmer that Brimwick+ finds like a real one.
#include "chipdb/ChipDatabase.h"
#include "chipdb/DatabasePath.h"
#include "sim/SimCommandLine.h"
#include "sim/SimServer.h"

#include <csignal>
#include <cstdio>
#include <ctime>
#include <memory>
#include <optional>

namespace {

const char* familyName(ChipType type) {
    switch (type) {
    case ChipType::Flash25:
        return "25 FLASH";
    case ChipType::Eeprom24:
        return "24 EEPROM";
    case ChipType::Eeprom25:
        return "25 EEPROM";
    case ChipType::Eeprom93:
        return "93 EEPROM";
    }
    return "unknown family";
}

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

    std::optional<ChipInfo> chip;
    if (!line.emptySocket) {
        chip = lookUpChip(line);
        if (!chip) {
            return 1;
        }
    }

    // The signals are taken by sigtimedwait below, so every thread started from here
    // on must have them blocked.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

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
                    familyName(chip->type), chip->capacity);
    } else {
        std::printf("Simulated programmer with an empty socket\n");
    }
    std::printf("%s\n", server.socketPath().c_str());
    std::fflush(stdout);

    const timespec tick{0, 100'000'000};
    for (;;) {
        const int signal = sigtimedwait(&stopSignals, nullptr, &tick);
        if (signal == SIGINT || signal == SIGTERM) {
            break;
        }
        // Said once per new reason, not ten times a second.
        std::string saveError;
        if (!firmware.saveSettledImage(&saveError) && saveError != error) {
            std::fprintf(stderr, "brimwick-sim: the chip image was not saved: %s\n",
                         saveError.c_str());
        }
        error = saveError;
        if (!server.pluggedIn()) {
            std::fprintf(stderr, "brimwick-sim: the programmer unplugged itself (fault)\n");
            break;
        }
    }
    server.stop();
    if (!firmware.saveImage(&error)) {
        std::fprintf(stderr, "brimwick-sim: the chip image was not saved: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
