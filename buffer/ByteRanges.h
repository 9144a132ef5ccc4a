// The addresses a data file gives bytes for, as sorted ranges that neither overlap nor
// touch, so that a write can program only those bytes and leave the rest of a chip
// as it is.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

struct AddressRange {
    uint32_t start = 0;
    uint32_t length = 0;
    uint32_t end() const { return start + length; }
    bool operator==(const AddressRange&) const = default;
};

class ByteRanges {
  public:
    // Adds `length` bytes from `start` on, merged with any range they overlap or touch.
    void add(uint64_t start, uint64_t length);
    // The ranges in address order, cut at `limit` (a chip's capacity).
    std::vector<AddressRange> cutTo(uint32_t limit) const;

  private:
    std::map<uint64_t, uint64_t> spans_; // start -> one past the end
};
