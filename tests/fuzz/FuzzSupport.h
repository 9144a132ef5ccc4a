// What every fuzz target needs: the input as a real file that the loaders open by
// name, message boxes that go nowhere, and checks that abort so that libFuzzer keeps
// an input that broke what a load promises.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "res/MessageBox.h"

inline void check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "broken: %s\n", what);
        std::abort();
    }
}

// Replaces the one in-memory file's contents with the input; returns a name that opens it.
inline std::string inputFile(const uint8_t* data, size_t size) {
    static const int fd = memfd_create("fuzz-input", 0);
    check(fd >= 0 && ftruncate(fd, 0) == 0, "memory file");
    check(size == 0 || pwrite(fd, data, size, 0) == static_cast<ssize_t>(size), "write");
    return "/proc/self/fd/" + std::to_string(fd);
}

struct SilentBoxes : MessageBoxSink {
    SilentBoxes() { setMessageBoxSink(this); }
    BoxResult show(BoxStyle, std::string_view) override { return BoxResult::Ok; }
};
