// A chip on an SPI bus as the bridge models drive it, byte by byte: select (chip select
// low), one full-duplex byte per exchange, deselect (chip select high, where most
// commands take effect). Time comes from a VirtualClock the bus owner advances, so busy
// times are deterministic and cost no wall-clock time.
#pragma once

#include <cstdint>

namespace sim {

// Nanoseconds since the device was powered.
class VirtualClock {
  public:
    uint64_t now() const { return now_; }
    void advance(uint64_t ns) { now_ += ns; }
    void advanceTo(uint64_t ns) {
        if (ns > now_)
            now_ = ns;
    }

  private:
    uint64_t now_ = 0;
};

class SpiSlave {
  public:
    virtual ~SpiSlave() = default;
    virtual void select() = 0;
    virtual uint8_t exchange(uint8_t mosi) = 0;
    virtual void deselect() = 0;
};

// What a floating MISO line reads: nobody drives it, the pull-up wins.
constexpr uint8_t kFloatingMiso = 0xFF;

} // namespace sim
