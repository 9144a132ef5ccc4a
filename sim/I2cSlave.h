// A chip on an I2C bus as the bridge models drive it: start and stop conditions, bytes
// written (answering the acknowledgement) and bytes read (the master acknowledging or
// not). Time comes from the bus owner's VirtualClock.
#pragma once

#include <cstdint>

namespace sim {

class I2cSlave {
  public:
    virtual ~I2cSlave() = default;
    virtual void start() = 0;
    // True when the chip acknowledges the byte.
    virtual bool write(uint8_t byte) = 0;
    virtual uint8_t read(bool ack) = 0;
    virtual void stop() = 0;
};

} // namespace sim
