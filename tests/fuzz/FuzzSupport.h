// What every fuzz target needs: the input as a real file that the loaders open by
// name, message boxes that go nowhere, and checks that abort so that libFuzzer keeps
// an input that broke what a load promises.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "buffer/DataFiles.h"
#include "res/MessageBox.h"

inline void check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "broken: %s\n", what);
        std::abort();
    }
}

// One in-memory file for the whole run, rewritten for each input; a name that opens it.
inline std::string inputFile(const uint8_t* data, size_t size) {
    static const int fd = memfd_create("fuzz-input", 0);
    if (fd < 0 || ftruncate(fd, 0) != 0 ||
        (size > 0 && pwrite(fd, data, size, 0) != static_cast<ssize_t>(size)))
        std::abort();
    return "/proc/self/fd/" + std::to_string(fd);
}

struct SilentBoxes : MessageBoxSink {
    SilentBoxes() { setMessageBoxSink(this); }
    BoxResult show(BoxStyle, std::string_view) override { return BoxResult::Ok; }
};

// The Intel HEX and S-record targets: any input as a file of that format, loaded into
// a chip of 1 MiB + 3 bytes (an end inside a page). A failed load changes no byte; a
// load never writes past the chip.
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
