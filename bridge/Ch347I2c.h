// I2C through a CH347's I2C stream (AA packets, I2cStream.h) on the pipes of its SPI
// interface: a script is cut into 512-byte packets with fewer than 512 answer bytes each
// (an acknowledgement for every byte written, and the bytes read), sent in one go through
// Ch347Spi::exchangeStream (its window, stall and unplug handling). Until set, the
// bridge runs at 100 kHz.
#pragma once

#include "bridge/Ch347Spi.h"
#include "bridge/I2cStream.h"

namespace bridge {

class Ch347I2c : public I2cStreamBus {
  public:
    explicit Ch347I2c(Ch347Spi& link) : I2cStreamBus(kCh347I2cStream, 100), link_(link) {}

    static std::vector<StreamPacket> packets(const I2cScript& script) {
        return encodeI2cStream(script, kCh347I2cStream).packets;
    }

  protected:
    BusResult exchange(std::span<const StreamPacket> packets, std::vector<uint8_t>* answers,
                       std::stop_token stop) override {
        return link_.exchangeStream(packets, answers, stop);
    }

  private:
    Ch347Spi& link_;
};

} // namespace bridge
