// A programmer stand-in whose answers a test lays out in advance: IN data comes from a
// queue of packets, OUT data is collected; refusing and unplugging can be switched on.
#pragma once

#include "tests/usb/EmulatedDevice.h"

#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

namespace usbtest {

class ScriptedDevice {
  public:
    // One packet for the host. An IN transfer smaller than the packet takes its head and
    // leaves the rest queued; an empty packet is a zero-length transfer.
    void queueIn(std::vector<uint8_t> packet);
    size_t queuedPackets() const;
    void setRefuseOut(bool refuse);
    void setGone(bool gone);
    // Every byte the host wrote, in order.
    std::vector<uint8_t> received() const;

    EmulatedEndpoints endpoints();

  private:
    EmulatedTransfer hostWrote(const uint8_t* data, uint32_t length);
    EmulatedTransfer hostWants(uint8_t* dest, uint32_t maxLength);

    mutable std::mutex mutex_;
    std::deque<std::vector<uint8_t>> in_;
    std::vector<uint8_t> received_;
    bool refuseOut_ = false;
    bool gone_ = false;
};

// Bytes that differ from chunk to chunk, so a misplaced chunk shows.
std::vector<uint8_t> pattern(size_t length, uint8_t seed);

} // namespace usbtest
