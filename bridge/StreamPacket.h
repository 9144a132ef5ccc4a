// One USB packet of a bridge's command streams (the CH341A's I2C AA and pins AB, the
// CH347's I2C AA) and how many answer bytes it brings back on the IN pipe.
#pragma once

#include <cstdint>
#include <vector>

namespace bridge {

struct StreamPacket {
    std::vector<uint8_t> bytes;
    uint32_t answers = 0;
};

} // namespace bridge
