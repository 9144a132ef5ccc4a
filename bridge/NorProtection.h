// Block protection of SPI NOR flash: which addresses the status registers' BP, TB, SEC
// and CMP bits protect, by scheme (the datasheets' tables, written as rules):
//   Fraction3 (Winbond W25Q up to 128 Mbit, GigaDevice GD25Q): status 1 BP0-2 in bits
//     2-4, TB bit 5, SEC bit 6; status 2 CMP bit 6. BP 0 none, BP 7 all; SEC 0: the top
//     (TB: bottom) capacity >> (7 - BP); SEC 1: 4 KiB << min(BP - 1, 3).
//   Blocks4 (chips above 128 Mbit, Macronix): BP0-3 in bits 2-5, TB bit 6; 64 KiB
//     << (BP - 1), at most the whole chip. Macronix chips have no status 2 (no CMP).
//   CMP 1 protects the complement of that range.
// Status 1 bit 7 (SRP) with the WP pin low locks the status registers in hardware.
#pragma once

#include <array>
#include <cstdint>

namespace bridge {

enum class ProtectionScheme { Fraction3, Blocks4 };

struct ProtectedRange {
    uint64_t begin = 0;
    uint64_t end = 0; // exclusive; begin == end: nothing protected
    bool empty() const { return begin >= end; }
    bool overlaps(uint64_t from, uint64_t to) const { return begin < to && from < end; }
    bool operator==(const ProtectedRange&) const = default;
};

constexpr uint8_t kStatusSrp = 0x80;
constexpr uint8_t kStatus2Cmp = 0x40;

// The scheme a chip's ID implies: four BP bits above 16 MiB and on Macronix parts.
ProtectionScheme protectionSchemeFor(const std::array<uint8_t, 3>& jedecId, uint64_t capacity);
// Whether the chip has a second status register (35 / 01 with two bytes).
bool hasStatus2(const std::array<uint8_t, 3>& jedecId);
ProtectedRange decodeProtection(ProtectionScheme scheme, uint64_t capacity, uint8_t status1,
                                uint8_t status2);
// The status 1 bits that select a protected range (BP, TB, SEC).
uint8_t protectionBits(ProtectionScheme scheme);

} // namespace bridge
