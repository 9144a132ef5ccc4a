// A link opened on a simulated programmer's firmware over one way of reaching it: the
// simulator's socket (usb_tests) or libusb and an emulated USB device under umockdev
// (usb_umockdev_tests). The contract tests run over each.
#pragma once

#include "sim/ProgrammerFirmware.h"
#include "usb/UsbLink.h"

#include <memory>

namespace usbtest {

class Connection {
  public:
    virtual ~Connection() = default;
    // Opened on the programmer; open() returned 1.
    virtual UsbLink& link() = 0;
};

// Defined once per test program. `firmware` outlives the connection.
std::unique_ptr<Connection> connect(sim::ProgrammerFirmware& firmware);
// Whether a read of 0 bytes is a transfer the device sees (libusb makes none).
extern const bool kZeroLengthReadsReachDevice;

} // namespace usbtest
