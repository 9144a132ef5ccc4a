#include "bridge/NorProtection.h"

#include <algorithm>

namespace bridge {

ProtectionScheme protectionSchemeFor(const std::array<uint8_t, 3>& jedecId, uint64_t capacity) {
    constexpr uint8_t kMacronix = 0xC2;
    return capacity > 0x1000000 || jedecId[0] == kMacronix ? ProtectionScheme::Blocks4
                                                           : ProtectionScheme::Fraction3;
}

bool hasStatus2(const std::array<uint8_t, 3>& jedecId) {
    constexpr uint8_t kWinbond = 0xEF, kGigaDevice = 0xC8;
    return jedecId[0] == kWinbond || jedecId[0] == kGigaDevice;
}

uint8_t protectionBits(ProtectionScheme scheme) {
    // BP0-2, TB, SEC (Fraction3) and BP0-3, TB (Blocks4) both fill bits 2-6.
    (void)scheme;
    return 0x7C;
}

ProtectedRange decodeProtection(ProtectionScheme scheme, uint64_t capacity, uint8_t status1,
                                uint8_t status2) {
    uint64_t size = 0;
    bool bottom = false;
    if (scheme == ProtectionScheme::Fraction3) {
        const unsigned bp = (status1 >> 2) & 7;
        bottom = (status1 & 0x20) != 0;
        const bool sector = (status1 & 0x40) != 0;
        if (bp == 7)
            size = capacity;
        else if (bp > 0 && sector)
            size = uint64_t{4096} << std::min(bp - 1, 3u);
        else if (bp > 0)
            size = capacity >> (7 - bp);
    } else {
        const unsigned bp = (status1 >> 2) & 15;
        bottom = (status1 & 0x40) != 0;
        if (bp > 0)
            size = std::min(capacity, uint64_t{65536} << (bp - 1));
    }
    const ProtectedRange plain =
        bottom ? ProtectedRange{0, size} : ProtectedRange{capacity - size, capacity};
    if ((status2 & kStatus2Cmp) == 0)
        return size == 0 ? ProtectedRange{} : plain;
    if (size == 0)
        return {0, capacity};
    if (size == capacity)
        return {};
    return bottom ? ProtectedRange{size, capacity} : ProtectedRange{0, capacity - size};
}

} // namespace bridge
