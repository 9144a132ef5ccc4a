// A buffer that shows every byte a load sets, and records as other tools write them.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "MessageRecorder.h"
#include "TempFolder.h"
#include "buffer/DataBuffer.h"

std::string patternBytes(size_t n, uint8_t seed = 0);

// The one store of the tests (a fresh 16 MiB per case is slow): `head`, then 0xFF. The
// default head is a pattern no load writes, so any byte a load sets (or leaves) shows.
DataBuffer& patternBuffer(const std::string& head = patternBytes(0x10000, 0x55));
inline std::string storeBytes(const DataBuffer& buffer) {
    return std::string(buffer.bytes().begin(), buffer.bytes().end());
}
inline bool storeHolds(const DataBuffer& buffer, const std::string& bytes) {
    return bytes.size() == buffer.bytes().size() &&
           std::memcmp(bytes.data(), buffer.store(), bytes.size()) == 0;
}

// One Intel HEX record ":LLAAAATT<data>CC", uppercase, checksum right.
std::string hexRecord(uint16_t address, uint8_t type, const std::string& data);
inline const char* kHexEnd = ":00000001FF\n";
// Data records of `perRecord` bytes from `address` on, each ended by `lineEnd`, then
// the end record.
std::string hexFile(uint16_t address, const std::string& data, size_t perRecord,
                    const std::string& lineEnd);
// One S-record "S<type><count><address><data><checksum>" and a line end.
std::string sRecord(int type, uint32_t address, const std::string& data);
