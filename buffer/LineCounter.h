// Counts the lines of a record file as its reader takes the characters between
// records, so that a fault can name its line.
#pragma once

#include <cstdint>

struct LineCounter {
    uint32_t line = 1;
    bool started = false; // the current line holds a character

    void take(int c) {
        started = c != '\n';
        if (c == '\n')
            ++line;
    }
    // Where a file that ended too early ends: its last line that holds anything.
    uint32_t lastLine() const { return started || line == 1 ? line : line - 1; }
};
