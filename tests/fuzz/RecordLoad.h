// The Intel HEX and S-record targets: any input as a file of that format, loaded into
// a chip of 1 MiB + 3 bytes (an end inside a page). A failed load changes no byte; a
// load never writes past the chip.
#pragma once

#include <cstring>
#include <vector>

#include "FuzzSupport.h"
#include "buffer/DataFiles.h"

inline int loadRecordFile(const uint8_t* data, size_t size, FileFormat format) {
    constexpr uint32_t kChip = 0x100003;
    static SilentBoxes boxes;
    static DataBuffer buffer;
    static std::vector<uint8_t> before(kChip + 64);
    check(buffer.allocate(), "store");
    buffer.fill(size % kChip, 16, static_cast<uint8_t>(size)); // not all 0xFF
    buffer.copyOut(0, before.data(), before.size());
    const LoadResult result = loadData(buffer, kChip, inputFile(data, size), format);
    const size_t same = result.loaded() ? kChip : 0; // bytes that may change
    check(std::memcmp(buffer.store() + same, before.data() + same, before.size() - same) == 0,
          "bytes a load must not touch");
    check(result.loaded() || !result.tooLarge, "too large and failed");
    return 0;
}
