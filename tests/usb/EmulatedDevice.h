// The device side of a bulk transfer, as the emulations of the programmer (the socket
// server and the emulated USB device) hand it to whatever plays the programmer.
#pragma once

#include <cstdint>
#include <functional>

namespace usbtest {

enum class EmulatedStatus {
    Done,    // `length` bytes taken (OUT) or delivered (IN)
    NotYet,  // nothing moved; the transfer is offered again later
    Refused, // the transfer fails (pipe error)
    Gone,    // the device is unplugged
};

struct EmulatedTransfer {
    EmulatedStatus status = EmulatedStatus::NotYet;
    uint32_t length = 0;
};

struct EmulatedEndpoints {
    // The host wrote one OUT transfer of `length` bytes.
    std::function<EmulatedTransfer(const uint8_t* data, uint32_t length)> hostWrote;
    // The host asks for one IN transfer of at most `maxLength` bytes into `dest`.
    std::function<EmulatedTransfer(uint8_t* dest, uint32_t maxLength)> hostWants;
};

// One transfer as the device saw it arrive.
struct TransferRecord {
    bool in = false;
    uint32_t length = 0;
};

} // namespace usbtest
