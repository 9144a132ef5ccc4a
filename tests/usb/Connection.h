// A link opened on a simulated programmer's firmware over one way of reaching it: the
// simulator's socket (usb_tests) or libusb to an emulated device (usb_umockdev_tests).
#pragma once

#include "sim/ProgrammerFirmware.h"
#include "usb/UsbLink.h"

#include <memory>

namespace usbtest {

struct Connection {
    virtual ~Connection() = default;
    virtual UsbLink& link() = 0; // opened on the programmer
};

// Defined once per test program; `firmware` outlives the connection.
std::unique_ptr<Connection> connect(sim::ProgrammerFirmware& firmware);
// Whether a read of 0 bytes is a transfer the device sees (libusb makes none).
extern const bool kZeroLengthReadsReachDevice;

} // namespace usbtest
