// I2C through a CH341A's I2C stream (AA packets) on the same pipes as its SPI bus.
//
//   74 start, 75 stop, 80|n and n bytes written, 80 alone and one byte: the byte written
//   and its acknowledgement answered (bit 7 set: not acknowledged), C0|n reads n bytes
//   acknowledging each, C0 alone reads one byte without, 40|n waits n µs, 60|s sets the
//   speed (0 = 20, 1 = 100, 2 = 400, 3 = 750 kHz), 00 ends the packet.
// A script is cut into packets of whole steps, at most 32 answer bytes each, and sent in
// one go through Ch341aSpi::exchange (its window, stall and unplug handling).
#pragma once

#include "bridge/Ch341aSpi.h"
#include "bridge/I2cBus.h"

namespace bridge {

class Ch341aI2c : public I2cBus {
  public:
    explicit Ch341aI2c(Ch341aSpi& link) : link_(link) {}

    uint32_t clockKHz() const override { return kHz_; }
    // 20, 100, 400 or 750 kHz: the fastest not above `kHz` (20 below that).
    BusResult setClockKHz(uint32_t kHz) override;
    BusResult run(const I2cScript& script, std::vector<uint8_t>* answers,
                  std::stop_token stop = {}) override;

    // The packets a script becomes (for tests of the wire bytes).
    static std::vector<Ch341aSpi::RawPacket> packets(const I2cScript& script);

  private:
    Ch341aSpi& link_;
    uint32_t kHz_ = 20; // the bridge's own default until set
};

} // namespace bridge
