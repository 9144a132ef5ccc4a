// What every fuzz target needs: the input as a real file that the loaders open by
// name, message boxes that go nowhere, and checks that abort so that libFuzzer keeps
// an input that broke what a load promises.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
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

// One in-memory file for the whole run, rewritten for each input.
class MemoryFile {
  public:
    MemoryFile() : fd_(memfd_create("fuzz-input", 0)) {
        if (fd_ < 0)
            std::abort();
    }
    // Replaces the contents and returns a name that opens them.
    std::string holding(const uint8_t* data, size_t size) {
        if (ftruncate(fd_, 0) != 0 ||
            (size > 0 && pwrite(fd_, data, size, 0) != static_cast<ssize_t>(size)))
            std::abort();
        return "/proc/self/fd/" + std::to_string(fd_);
    }

  private:
    int fd_;
};

// Replaces the one in-memory file's contents with the input; returns a name that opens it.
inline std::string inputFile(const uint8_t* data, size_t size) {
    static MemoryFile file;
    return file.holding(data, size);
}

struct SilentBoxes : MessageBoxSink {
    SilentBoxes() { setMessageBoxSink(this); }
    BoxResult show(BoxStyle, std::string_view) override { return BoxResult::Ok; }
};
