// A Microwire bus (93-series EEPROMs) behind a bridge: frames, each one chip select
// (CS high) with bits out on DI and samples of DO, run as one batch.
#pragma once

#include "bridge/SpiBus.h"

#include <cstdint>
#include <span>
#include <stop_token>
#include <vector>

namespace bridge {

struct MicrowireFrame {
    std::vector<uint8_t> bits; // clocked out on DI (each 0 or 1) after CS went high
    // DO samples: the first right after the last bit, each next after one more clock
    // (for READ: the dummy 0, then the data bits).
    uint32_t samples = 0;
    // After the frame, CS low (a write starts) and high again, then DO (ready = 1)
    // sampled about every pollStepUs for this long; 0: none.
    uint32_t readyPollUs = 0;
    std::vector<uint8_t> in; // the samples then the ready samples, 0 or 1; filled by run()
};

class MicrowireBus {
  public:
    virtual ~MicrowireBus() = default;
    // The spacing of ready samples.
    virtual uint32_t pollStepUs() const = 0;
    virtual BusResult run(std::span<MicrowireFrame> frames, std::stop_token stop = {}) = 0;
};

} // namespace bridge
