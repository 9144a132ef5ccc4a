// The I2C engine of the WCH bridges, as the CH341A and the CH347 run one packet of their
// I2C stream (AA): 74 start, 75 stop, 80|n writes the n bytes that follow, C0|n reads n
// bytes acknowledging each, C0 alone reads one without, 40|n waits n µs, 50|n n ms, 60|s
// sets the speed, 00 ends the packet.
// What a written byte answers differs: the CH341A answers only a byte sent as 80 alone
// and the byte (00 acknowledged, 80 not); the CH347 answers every byte written (01
// acknowledged, 00 not), and there 80 alone writes nothing.
// Timing: 9 clocks per byte (8 and the acknowledgement), one per start or stop, at the
// set speed: 20, 100, 400, 750 kHz for s = 0-3, and on the CH347 also 50, 200, 1000 and
// 2000 kHz for s = 4-7.
#pragma once

#include "sim/I2cSlave.h"
#include "sim/SpiSlave.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace sim {

class I2cStreamEngine {
  public:
    // `busByte` counts a byte on the bus and answers false once a fault stopped the
    // bridge; `noise` may flip bits of a byte read (a loose clip).
    struct Hooks {
        std::function<bool()> busByte;
        std::function<uint8_t(uint8_t)> noise;
    };

    I2cStreamEngine(bool everyByteAnswered, uint32_t startKHz);

    // One packet (its first byte AA); its answers appended to `answers`. False when a
    // fault stopped the bridge part-way.
    bool run(const uint8_t* packet, uint32_t length, I2cSlave* chip, VirtualClock& clock,
             const Hooks& hooks, std::vector<uint8_t>* answers);
    uint32_t speedKHz() const { return kHz_; }

  private:
    bool everyByteAnswered_;
    uint32_t kHz_;
};

} // namespace sim
