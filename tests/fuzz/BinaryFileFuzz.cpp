// The binary load: the first two input bytes are the chip's capacity (little-endian),
// the rest is the file. The chip's bytes become the file's over 0xFF, "too large"
// exactly when the file is longer, and nothing past the chip changes.
#include <algorithm>
#include <cstring>

#include "FuzzSupport.h"
#include "buffer/DataFiles.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static SilentBoxes boxes;
    static DataBuffer buffer;
    check(buffer.allocate(), "store");
    if (size < 2)
        return 0;
    const uint32_t chip = data[0] | data[1] << 8;
    const size_t length = size - 2, loaded = std::min<size_t>(length, chip);
    buffer.fill(chip, 16, 0x5A);
    const LoadResult result =
        loadData(buffer, chip, inputFile(data + 2, length), FileFormat::Binary);
    check(result.loaded() && result.tooLarge == (length > chip), "loaded, too large");
    const uint8_t* store = buffer.store();
    check(std::memcmp(store, data + 2, loaded) == 0, "the file's bytes");
    check(std::all_of(store + loaded, store + chip, [](uint8_t b) { return b == 0xFF; }), "FF");
    check(std::all_of(store + chip, store + chip + 16, [](uint8_t b) { return b == 0x5A; }),
          "past the chip");
    return 0;
}
