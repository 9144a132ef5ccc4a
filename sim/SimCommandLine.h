// The command line of brimwick-sim.
#pragma once

#include "sim/Ch341aDevice.h"
#include "sim/Ch347Device.h"
#include "sim/ProgrammerFirmware.h"
#include "sim/SpiChipCatalogue.h"

#include <string>
#include <vector>

namespace sim {

struct SimCommandLine {
    std::string chipName = "EN25T80";
    bool chipGiven = false;
    bool emptySocket = false;
    bool noContact = false;   // --no-contact: a bridge's clip touches no chip
    std::string imagePath;    // empty: the chip is not kept between runs
    std::string databasePath; // empty: ChipInfo.chip beside the executable
    FirmwareOptions firmware;
    // "ch341a", "ch347" or "ch347f": a USB-to-SPI bridge carrying the chip named by --chip from the
    // part list (sim/SpiChipCatalogue.h) instead of the programmer; "" = the programmer.
    std::string bridge;
    SpiChipOptions spiChip;
    uint32_t microwireWidth = 16; // --org: a 93-series chip's organisation
    bool help = false;
};

// Parses the arguments after the program name. false with `error` set (one line,
// naming the offending option) when they are not valid.
// The bridge's options from the shared fault options (counted in bytes on the bus there).
Ch341aOptions bridgeOptions(const SimCommandLine& line);
Ch347Options ch347Options(const SimCommandLine& line);

bool parseSimCommandLine(const std::vector<std::string>& args, SimCommandLine* out,
                         std::string* error);

// The text --help prints.
std::string simUsage();

} // namespace sim
