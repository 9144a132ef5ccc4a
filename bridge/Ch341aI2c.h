// I2C through a CH341A's I2C stream (AA packets, I2cStream.h) on the same pipes as its
// SPI bus: a script is cut into 32-byte packets of whole steps, at most 32 answer bytes
// each, and sent in one go through Ch341aSpi::exchange (its window, stall and unplug
// handling). Until set, the bridge runs at 20 kHz.
#pragma once

#include "bridge/Ch341aSpi.h"
#include "bridge/I2cStream.h"

namespace bridge {

class Ch341aI2c : public I2cStreamBus {
  public:
    explicit Ch341aI2c(Ch341aSpi& link) : I2cStreamBus(kCh341aI2cStream, 20), link_(link) {}

    // The packets a script becomes (for tests of the wire bytes).
    static std::vector<Ch341aSpi::RawPacket> packets(const I2cScript& script) {
        return encodeI2cStream(script, kCh341aI2cStream).packets;
    }

  protected:
    BusResult exchange(std::span<const StreamPacket> packets, std::vector<uint8_t>* answers,
                       std::stop_token stop) override {
        return link_.exchange(packets, answers, stop);
    }

  private:
    Ch341aSpi& link_;
};

} // namespace bridge
