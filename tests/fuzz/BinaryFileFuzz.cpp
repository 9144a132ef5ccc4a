// The binary load: the first two input bytes are the chip's capacity (little-endian),
// the rest is the file. The chip's bytes become the file's over 0xFF, "too large"
// exactly when the file is longer, and nothing past the chip changes.
#include <cstring>

#include "FuzzSupport.h"
#include "buffer/DataFiles.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static SilentBoxes boxes;
    static MemoryFile file;
    static DataBuffer buffer;
    check(buffer.allocate(), "store");
    if (size < 2)
        return 0;
    const uint32_t capacity = data[0] | data[1] << 8;
    const uint8_t* bytes = data + 2;
    const size_t length = size - 2;
    buffer.fill(capacity, 16, 0x5A);
    const LoadResult result =
        loadData(buffer, capacity, file.holding(bytes, length), FileFormat::Binary);
    check(result.loaded(), "a readable binary file always loads");
    check(result.tooLarge == (length > capacity), "too large");
    const size_t loaded = length < capacity ? length : capacity;
    const uint8_t* store = buffer.store();
    check(std::memcmp(store, bytes, loaded) == 0, "file bytes");
    for (size_t i = loaded; i < capacity; ++i)
        check(store[i] == 0xFF, "0xFF after the file");
    for (size_t i = capacity; i < capacity + 16; ++i)
        check(store[i] == 0x5A, "past the chip");
    return 0;
}
