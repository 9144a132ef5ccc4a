// A bridge's bulk IN pipe with several transfers kept submitted. A CH341A answers each
// 32-byte command packet with one short packet, so a single pending transfer would cost
// a USB round trip per packet and the host, not the bus, would set the pace. The ring
// keeps `count` transfers queued on the endpoint; the kernel completes them in the order
// they were submitted, and read() hands their bytes out in that same order.
#pragma once

#include "usb/DeviceBackend.h"

#include <libusb.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace usb {

class ReadAheadRing {
  public:
    // `packetSize`: the endpoint's largest packet; every transfer is a whole number of
    // them so that no packet the device sends can overflow it.
    ReadAheadRing(libusb_context* context, libusb_device_handle* handle, uint8_t endpoint,
                  uint32_t packetSize, uint32_t count = 8);
    // Cancels the queued transfers and waits until libusb has given every one back.
    ~ReadAheadRing();
    ReadAheadRing(const ReadAheadRing&) = delete;
    ReadAheadRing& operator=(const ReadAheadRing&) = delete;

    // The next bytes the device sent, at most `length`; the rest of a transfer stays for
    // the next call. The ring starts on the first call, its transfers sized for it.
    IoResult read(uint8_t* dest, uint32_t length);
    // The read in progress returns Cancelled at once, and every later one until rearm().
    void cancel();
    // After a cancel, the answers held belong to the abandoned exchange: they are
    // dropped, and the ring starts afresh on the next read.
    void rearm();

  private:
    enum class State { Idle, Flying, Done };
    struct Slot {
        ReadAheadRing* ring = nullptr;
        libusb_transfer* transfer = nullptr;
        std::vector<uint8_t> buffer;
        State state = State::Idle;
        uint32_t handedOut = 0; // bytes of a Done transfer read() has given so far
    };

    static void LIBUSB_CALL transferDone(libusb_transfer* transfer);
    // Submits, in ring order after the queued ones, every idle slot; stops at the first
    // that libusb refuses (a later one must never overtake it). Under mutex_.
    IoStatus refill();
    bool anyFlying() const;
    // Waits for libusb events with mutex_ released; returns with it held again.
    void waitForEvents(std::unique_lock<std::mutex>& lock);
    // Takes the head slot's bytes (or its failure) into `dest`. Under mutex_.
    IoResult takeHead(uint8_t* dest, uint32_t length);

    libusb_context* const context_;
    libusb_device_handle* const handle_;
    const uint8_t endpoint_;
    const uint32_t packetSize_;
    const uint32_t count_;

    std::mutex mutex_;
    std::vector<std::unique_ptr<Slot>> slots_; // empty until the first read
    uint32_t head_ = 0;                        // the slot whose bytes come next
    bool cancelled_ = false;
    bool stale_ = false; // rearmed: drop what the slots hold before the next read
    bool gone_ = false;
    int woken_ = 0; // set by each completion; also read by libusb while it waits
};

} // namespace usb
