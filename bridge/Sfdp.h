// The chip's Serial Flash Discoverable Parameters (JESD216): the header at 0
// ("SFDP", revision, parameter header count - 1), parameter headers from 8 (ID LSB,
// revision, length in DWORDs, 24-bit table pointer, ID MSB), the basic flash parameter
// table (ID FF00) and the 4-byte address instruction table (ID FF84).
//
// SFDP is sometimes wrong, so a table is only used when it agrees with the JEDEC ID's
// capacity, and a chip built from it stays unconfirmed until a read-back has matched.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace bridge {

struct EraseType {
    uint32_t size = 0;   // bytes
    uint8_t opcode = 0;  // with the chip's default address length
    uint8_t opcode4 = 0; // with a 4-byte address; 0 when the chip has none
    bool operator==(const EraseType&) const = default;
};

enum class SfdpState {
    Absent,  // no "SFDP" signature
    Damaged, // present, but the tables make no sense or disagree with the JEDEC ID
    Sound,   // present and consistent
};

struct SfdpInfo {
    SfdpState state = SfdpState::Absent;
    std::string problem; // what is wrong with a damaged table (English, for logs)
    uint8_t majorRevision = 0;
    uint8_t minorRevision = 0;
    uint64_t capacity = 0; // bytes
    uint32_t pageSize = 256;
    std::vector<EraseType> eraseTypes; // ascending by size
    bool threeByteAddress = true;      // 3-byte addresses accepted
    bool fourByteAddress = false;      // 4-byte addresses accepted
    bool enter4ByteB7 = false;         // B7 enters 4-byte mode (perhaps after 06)
    bool enter4ByteNeedsWren = false;
    bool fourByteOpcodes = false; // 13/0C/12 and the 4-byte erase opcodes
    bool confirmed = false;       // a read-back has matched (set by the caller)
};

// The bytes to read from SFDP address 0 to see every table the header lists (at most
// kMaxSfdpBytes), from the first `header` bytes read (at least 8 + 8 * headers).
constexpr uint32_t kSfdpHeaderBytes = 64;
constexpr uint32_t kMaxSfdpBytes = 4096;
uint32_t sfdpBytesNeeded(std::span<const uint8_t> header);

// `jedecCapacity` 0 = unknown: the density is then taken as stated.
SfdpInfo parseSfdp(std::span<const uint8_t> image, uint64_t jedecCapacity);

// Capacity in bytes from the JEDEC ID's third byte (2^n for n in 16..31); 0 when it does
// not follow that rule.
uint64_t capacityFromJedec(uint8_t capacityCode);

} // namespace bridge
