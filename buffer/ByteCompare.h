// Compare with a file: the buffer's bytes against a file's, offset by offset. No Qt.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

struct ByteDifference {
    uint32_t offset = 0;
    uint8_t buffer = 0;
    uint8_t file = 0;
    bool operator==(const ByteDifference&) const = default;
};

struct ByteComparison {
    uint32_t compared = 0;                  // bytes looked at
    uint32_t differing = 0;                 // how many of them differ
    std::vector<ByteDifference> firstDiffs; // the first of them, at most the list limit
};

inline constexpr size_t kListedDifferences = 100;

// Compares the bytes both spans hold (the shorter one's length).
ByteComparison compareBytes(std::span<const uint8_t> buffer, std::span<const uint8_t> file,
                            size_t listLimit = kListedDifferences);
