// A simulated programmer with an empty socket, plugged in for a whole test program in
// a private simulator folder, so that the window's start-up finds a device and shows
// no device box. The device commands themselves are tested in tests/operations.
#pragma once

#include "sim/ProgrammerFirmware.h"
#include "sim/SimServer.h"
#include "tests/support/SimProgrammer.h"

#include <memory>
#include <stdexcept>
#include <string>

class PluggedProgrammer {
  public:
    PluggedProgrammer() : firmware_(nullptr, sim::FirmwareOptions{}), server_(firmware_) {
        std::string error;
        if (!server_.start(&error))
            throw std::runtime_error("simulated programmer: " + error);
    }

  private:
    testsupport::SimFolder folder_;
    sim::ProgrammerFirmware firmware_;
    sim::SimServer server_;
};
