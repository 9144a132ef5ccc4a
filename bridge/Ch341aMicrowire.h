// Microwire bit-banged through a CH341A's pin stream (UIO, AB packets): D0 = CS (active
// high for these chips), D3 = SK, D5 = DI, D7 = DO read back. Each bit is two pin
// settings (SK low with DI, then SK high) and each DO sample one read; up to 30 such
// steps per packet, and a whole batch of frames goes out at once through
// Ch341aSpi::exchange, so a read of the whole chip costs about one USB round trip.
#pragma once

#include "bridge/Ch341aSpi.h"
#include "bridge/MicrowireBus.h"

namespace bridge {

class Ch341aMicrowire : public MicrowireBus {
  public:
    static constexpr uint32_t kPollStepUs = 50;
    explicit Ch341aMicrowire(Ch341aSpi& link) : link_(link) {}

    uint32_t pollStepUs() const override { return kPollStepUs; }
    BusResult run(std::span<MicrowireFrame> frames, std::stop_token stop = {}) override;
    // The packets a batch becomes (for tests of the wire bytes).
    static std::vector<Ch341aSpi::RawPacket> packets(std::span<const MicrowireFrame> frames);

  private:
    Ch341aSpi& link_;
};

} // namespace bridge
