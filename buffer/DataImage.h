// The bytes an Intel HEX or S-record file places in the address space of the store, gathered before
// the buffer is touched so that a file that fails halfway changes nothing. Memory follows use: 64
// KiB pages, made on first write and 0xFF where no record wrote, so a small file at a high address
// costs one page.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "buffer/ByteRanges.h"
#include "buffer/DataBuffer.h"

class DataImage {
  public:
    // `limit`: the store's size, at most kMaxStoreSize; records past it are refused.
    explicit DataImage(uint32_t limit = kStoreSize) : limit_(std::min(limit, kMaxStoreSize)) {}

    // Stores `count` bytes from `address` on, later records over earlier ones. Stores
    // nothing and returns false when any of them would lie past the store. Throws
    // std::bad_alloc when a page cannot be made.
    bool put(uint64_t address, const uint8_t* bytes, size_t count);

    // One past the highest address written; 0 while nothing was.
    uint32_t end() const { return end_; }
    // The addresses records wrote, merged.
    const ByteRanges& ranges() const { return ranges_; }
    // The byte at `address` (0xFF where nothing was written or past the store).
    uint8_t at(uint32_t address) const;

    // Copies addresses 0 to `count` - 1 (cut to the store) into the buffer at the same
    // offsets. Pages no record touched are skipped: the caller fills with 0xFF first.
    void copyTo(DataBuffer& buffer, uint32_t count) const;

  private:
    static constexpr uint32_t kPageSize = 0x10000;
    std::array<std::unique_ptr<uint8_t[]>, kMaxStoreSize / kPageSize> pages_;
    uint32_t limit_;
    uint32_t end_ = 0;
    ByteRanges ranges_;
};
