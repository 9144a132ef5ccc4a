#include "buffer/DataBuffer.h"

#include <algorithm>
#include <cstring>
#include <new>

bool DataBuffer::allocate() {
    if (store_)
        return true;
    store_.reset(new (std::nothrow) uint8_t[kStoreSize]);
    if (!store_)
        return false;
    size_ = kStoreSize;
    std::memset(store_.get(), 0xFF, kStoreSize);
    reserve(length_); // a larger chip chosen before the store existed
    return true;
}

bool DataBuffer::reserve(uint64_t bytes) {
    bytes = std::min<uint64_t>(bytes, kMaxStoreSize);
    if (bytes <= size_)
        return store_ != nullptr;
    if (!store_ || holds_ > 0)
        return false;
    // Whole 16 MiB steps: chips are powers of two, and a chip editor size in between
    // must not leave a tail that a later, slightly larger chip grows again for.
    const uint32_t grown =
        static_cast<uint32_t>((bytes + kStoreSize - 1) / kStoreSize * kStoreSize);
    std::unique_ptr<uint8_t[]> larger(new (std::nothrow) uint8_t[grown]);
    if (!larger)
        return false;
    std::memcpy(larger.get(), store_.get(), size_);
    std::memset(larger.get() + size_, 0xFF, grown - size_);
    store_ = std::move(larger);
    size_ = grown;
    return true;
}

void DataBuffer::setLength(uint32_t length) {
    length_ = length;
    reserve(length);
}

std::span<uint8_t> DataBuffer::bytes() {
    return store_ ? std::span<uint8_t>(store_.get(), size_) : std::span<uint8_t>();
}

std::span<const uint8_t> DataBuffer::bytes() const {
    return store_ ? std::span<const uint8_t>(store_.get(), size_) : std::span<const uint8_t>();
}

uint32_t DataBuffer::boundedCount(uint64_t offset, uint64_t count) const {
    if (offset >= size_)
        return 0;
    return static_cast<uint32_t>(std::min<uint64_t>(count, size_ - offset));
}

uint32_t DataBuffer::fill(uint64_t offset, uint64_t count, uint8_t value) {
    if (!store_)
        return 0;
    uint32_t n = boundedCount(offset, count);
    if (n)
        std::memset(store_.get() + offset, value, n);
    return n;
}

uint32_t DataBuffer::copyIn(uint64_t offset, const uint8_t* source, uint64_t count) {
    if (!store_ || !source)
        return 0;
    uint32_t n = boundedCount(offset, count);
    if (n)
        std::memmove(store_.get() + offset, source, n);
    return n;
}

uint32_t DataBuffer::copyOut(uint64_t offset, uint8_t* destination, uint64_t count) const {
    if (!store_ || !destination)
        return 0;
    uint32_t n = boundedCount(offset, count);
    if (n)
        std::memmove(destination, store_.get() + offset, n);
    return n;
}

std::span<uint8_t> DataBuffer::range(uint64_t offset, uint64_t count) {
    if (!store_)
        return {};
    return {store_.get() + std::min<uint64_t>(offset, size_), boundedCount(offset, count)};
}

std::span<const uint8_t> DataBuffer::range(uint64_t offset, uint64_t count) const {
    if (!store_)
        return {};
    return {store_.get() + std::min<uint64_t>(offset, size_), boundedCount(offset, count)};
}
