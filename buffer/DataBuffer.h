// The byte store the user works on: what a chip Read brings in, what Write programs
// and Verify compares against, what Fill, Exchange and the file commands change.
// One block of at least 16 MiB. A chip above that (bridges address up to 64 MiB) grows
// the block to its size when it is chosen; the block never shrinks, so bytes beyond a
// smaller chip chosen later are kept for when the larger one comes back. `length`
// follows the selected chip's size and may exceed the store (the chip editor accepts
// up to 100 MiB), so every operation here clips to the store; callers never index
// past size().
//
// The block moves only when it grows, and never while a Hold is alive: a device
// command holds it so that a chip chosen while the command runs cannot pull the
// bytes from under it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

inline constexpr uint32_t kStoreSize = 0x1000000;    // 16 MiB, allocated at start
inline constexpr uint32_t kMaxStoreSize = 0x4000000; // 64 MiB, the largest chip kept whole

class DataBuffer {
  public:
    DataBuffer() = default;
    DataBuffer(const DataBuffer&) = delete;
    DataBuffer& operator=(const DataBuffer&) = delete;

    // Allocates the store once (later calls keep the block and return true). Returns
    // false when memory is short; the window then shows "Memory is not enough!".
    // The whole store starts as 0xFF, so a larger chip chosen later never shows
    // unset memory beyond the bytes the earlier chip used.
    bool allocate();
    bool allocated() const { return store_ != nullptr; }
    // Bytes the store holds now: kStoreSize up to kMaxStoreSize (0 before allocation).
    uint32_t size() const { return size_; }
    // Grows the store to hold `bytes` (cut to kMaxStoreSize), new bytes 0xFF. Returns
    // whether it holds them; false, with the store unchanged, when memory is short, when
    // a Hold is alive or before allocation.
    bool reserve(uint64_t bytes);

    // Keeps the store where it is while alive; holds nest.
    class Hold {
      public:
        explicit Hold(DataBuffer& buffer) : buffer_(buffer) { ++buffer_.holds_; }
        ~Hold() { --buffer_.holds_; }
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;

      private:
        DataBuffer& buffer_;
    };

    // The store itself: size() bytes, or null before allocate() succeeded.
    uint8_t* store() { return store_.get(); }
    const uint8_t* store() const { return store_.get(); }
    // The whole store as a span (empty before allocation).
    std::span<uint8_t> bytes();
    std::span<const uint8_t> bytes() const;

    // Bytes in use, counted from offset 0; may be larger than the store. Setting it
    // grows the store to it where it can (see reserve()).
    uint32_t length() const { return length_; }
    void setLength(uint32_t length);
    // `length` cut to the store: the bytes that really exist.
    uint32_t lengthInStore() const { return clampToStore(length_); }

    // How many of `count` bytes from `offset` lie inside the store.
    uint32_t boundedCount(uint64_t offset, uint64_t count) const;
    // `bytes` cut to the store's size.
    uint32_t clampToStore(uint64_t bytes) const {
        return bytes > size_ ? size_ : static_cast<uint32_t>(bytes);
    }

    // Sets `count` bytes from `offset` to `value`, clipped to the store. Returns the
    // bytes set (0 before allocation).
    uint32_t fill(uint64_t offset, uint64_t count, uint8_t value);
    // Copies `count` bytes from `source` into the store at `offset`, clipped to the
    // store. Returns the bytes copied.
    uint32_t copyIn(uint64_t offset, const uint8_t* source, uint64_t count);
    // Copies `count` bytes of the store from `offset` to `destination`, clipped to the
    // store. Returns the bytes copied; the rest of `destination` is untouched.
    uint32_t copyOut(uint64_t offset, uint8_t* destination, uint64_t count) const;
    // The bytes from `offset` on, at most `count`, clipped to the store.
    std::span<uint8_t> range(uint64_t offset, uint64_t count);
    std::span<const uint8_t> range(uint64_t offset, uint64_t count) const;

  private:
    std::unique_ptr<uint8_t[]> store_;
    uint32_t size_ = 0;
    uint32_t length_ = 0;
    int holds_ = 0;
};
