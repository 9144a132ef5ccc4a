// What the socket server (SimServer) needs of a simulated USB device: one bulk OUT and
// one bulk IN transfer at a time, a wake-up for waiting calls and whether it is gone.
// The closed programmer's firmware and the CH341A bridge both are one.
//
// Thread safety: hostOut and hostIn are called concurrently from two threads (one per
// pipe); every member may be called from any thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace sim {

using Clock = std::chrono::steady_clock;

// A time point that never comes: "nothing to do until something changes".
constexpr Clock::time_point kNever = Clock::time_point::max();

enum class TransferStatus {
    Done,    // the transfer happened (`length` bytes moved)
    NotYet,  // nothing moved; offer the same transfer again at `retryAt` (or earlier)
    Refused, // the transfer failed (pipe error); the device stays attached
    Gone,    // the device has been unplugged
};

struct TransferResult {
    TransferStatus status = TransferStatus::NotYet;
    uint32_t length = 0;            // bytes taken (OUT) or delivered (IN) when Done
    Clock::time_point retryAt = {}; // NotYet: when the transfer may succeed (kNever: no idea)
};

class UsbDeviceModel {
  public:
    virtual ~UsbDeviceModel() = default;

    // Whether the host still waits for a transfer; asked right before data moves, so
    // it must be quick and must not call back into the device.
    using StillWanted = std::function<bool()>;

    // One OUT transfer; waits at most until `waitUntil`. Done: `length` bytes taken.
    virtual TransferResult hostOut(const uint8_t* data, uint32_t length,
                                   Clock::time_point waitUntil = {},
                                   const StillWanted& stillWanted = {}) = 0;
    // One IN transfer of at most `maxLength` bytes; waits at most until `waitUntil`.
    virtual TransferResult hostIn(uint8_t* dest, uint32_t maxLength,
                                  Clock::time_point waitUntil = {},
                                  const StillWanted& stillWanted = {}) = 0;
    // Wakes every waiting hostOut/hostIn so it re-checks at once.
    virtual void wakeWaiters() = 0;
    virtual bool isGone() const = 0;
    // A vendor IN control request; nullopt = refused (the programmer has none).
    virtual std::optional<std::vector<uint8_t>> vendorRead(uint8_t request, uint16_t length) {
        (void)request;
        (void)length;
        return std::nullopt;
    }
};

} // namespace sim
