// A link opened on one kind of programmer connection with a scripted device behind it,
// so that the same transfer tests run over every way the link reaches a programmer.
#pragma once

#include "tests/usb/EmulatedDevice.h"
#include "tests/usb/ScriptedDevice.h"
#include "usb/UsbLink.h"

#include <memory>
#include <vector>

namespace usbtest {

class ContractBench {
  public:
    virtual ~ContractBench() = default;
    // Opened on the device; open() returned 1.
    virtual UsbLink& link() = 0;
    virtual ScriptedDevice& device() = 0;
    // The transfers that reached the device, oldest first.
    virtual std::vector<TransferRecord> log() = 0;
    virtual void clearLog() = 0;
    // Waits until the device side has let go of transfers the link abandoned, so that
    // data queued afterwards goes to the next transfer.
    virtual void settle() = 0;
    // Whether a read call for 0 bytes is a transfer the device sees.
    virtual bool zeroLengthReadsReachDevice() const = 0;
};

// Defined once per test program: the connection its contract tests run over.
std::unique_ptr<ContractBench> makeContractBench();

// The lengths of the transfers in `log` going in the direction `in`.
std::vector<uint32_t> lengths(const std::vector<TransferRecord>& log, bool in);

} // namespace usbtest
