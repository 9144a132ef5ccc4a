// The command line of brimwick-sim.
#pragma once

#include "sim/ProgrammerFirmware.h"

#include <string>
#include <vector>

namespace sim {

struct SimCommandLine {
    std::string chipName = "EN25T80";
    bool emptySocket = false;
    std::string imagePath;    // empty: the chip is not kept between runs
    std::string databasePath; // empty: ChipInfo.chip beside the executable
    FirmwareOptions firmware;
    bool help = false;
};

// Parses the arguments after the program name. false with `error` set (one line,
// naming the offending option) when they are not valid.
bool parseSimCommandLine(const std::vector<std::string>& args, SimCommandLine* out,
                         std::string* error);

// The text --help prints.
std::string simUsage();

} // namespace sim
