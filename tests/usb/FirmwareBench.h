// A link opened on the simulated programmer's firmware over one kind of connection.
#pragma once

#include "sim/ProgrammerFirmware.h"
#include "usb/UsbLink.h"

#include <memory>

namespace usbtest {

class FirmwareBench {
  public:
    virtual ~FirmwareBench() = default;
    // Opened on the device; open() returned 1.
    virtual UsbLink& link() = 0;
};

// Defined once per test program, like makeContractBench(). `firmware` outlives the bench.
std::unique_ptr<FirmwareBench> makeFirmwareBench(sim::ProgrammerFirmware& firmware);

} // namespace usbtest
