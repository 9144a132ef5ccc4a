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
    std::memset(store_.get(), 0xFF, kStoreSize);
    return true;
}

std::span<uint8_t> DataBuffer::bytes() {
    return store_ ? std::span<uint8_t>(store_.get(), kStoreSize) : std::span<uint8_t>();
}

std::span<const uint8_t> DataBuffer::bytes() const {
    return store_ ? std::span<const uint8_t>(store_.get(), kStoreSize) : std::span<const uint8_t>();
}

uint32_t DataBuffer::boundedCount(uint64_t offset, uint64_t count) {
    if (offset >= kStoreSize)
        return 0;
    return static_cast<uint32_t>(std::min<uint64_t>(count, kStoreSize - offset));
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
    return {store_.get() + std::min<uint64_t>(offset, kStoreSize), boundedCount(offset, count)};
}

std::span<const uint8_t> DataBuffer::range(uint64_t offset, uint64_t count) const {
    if (!store_)
        return {};
    return {store_.get() + std::min<uint64_t>(offset, kStoreSize), boundedCount(offset, count)};
}
