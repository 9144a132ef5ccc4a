// The Intel HEX and S-record targets: any input as a file of that format, loaded
// into a chip of 1 MiB + 3 bytes (an odd end inside a page). A failed load leaves
// every byte as it was; a load never writes past the chip.
#pragma once

#include <cstring>
#include <vector>

#include "FuzzSupport.h"
#include "buffer/DataFiles.h"

inline int loadRecordFile(const uint8_t* data, size_t size, FileFormat format) {
    constexpr uint32_t kCapacity = 0x100003;
    static SilentBoxes boxes;
    static MemoryFile file;
    static DataBuffer buffer;
    static std::vector<uint8_t> before(kCapacity + 64);
    check(buffer.allocate(), "store");
    buffer.copyOut(0, before.data(), before.size());
    const LoadResult result = loadData(buffer, kCapacity, file.holding(data, size), format);
    const uint8_t* now = buffer.store();
    if (result.loaded()) {
        check(std::memcmp(now + kCapacity, before.data() + kCapacity, 64) == 0, "past the chip");
        check(loadMessage(result, textsFor(Language::English)) ==
                  (result.tooLarge ? textsFor(Language::English).fileTooLarge : nullptr),
              "message of a load");
    } else {
        check(std::memcmp(now, before.data(), before.size()) == 0, "failed load changed bytes");
        check(!result.tooLarge, "too large and failed");
    }
    // Next input starts from something other than all 0xFF.
    buffer.fill(static_cast<uint32_t>(size) % kCapacity, 16, static_cast<uint8_t>(size));
    return 0;
}
