// Lets the simulated programmer's firmware answer an emulated device's transfers.
#pragma once

#include "sim/ProgrammerFirmware.h"
#include "tests/usb/EmulatedDevice.h"

namespace usbtest {

inline EmulatedTransfer fromFirmware(sim::TransferResult result) {
    switch (result.status) {
    case sim::TransferStatus::Done:
        return {EmulatedStatus::Done, result.length};
    case sim::TransferStatus::Refused:
        return {EmulatedStatus::Refused, 0};
    case sim::TransferStatus::Gone:
        return {EmulatedStatus::Gone, 0};
    case sim::TransferStatus::NotYet:
        break;
    }
    return {EmulatedStatus::NotYet, 0};
}

// The firmware is asked without waiting; a transfer it cannot serve yet is offered again.
inline EmulatedEndpoints firmwareEndpoints(sim::ProgrammerFirmware& firmware) {
    return {[&firmware](const uint8_t* data, uint32_t length) {
                return fromFirmware(firmware.hostOut(data, length));
            },
            [&firmware](uint8_t* dest, uint32_t maxLength) {
                return fromFirmware(firmware.hostIn(dest, maxLength));
            }};
}

} // namespace usbtest
