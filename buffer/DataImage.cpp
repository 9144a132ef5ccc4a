#include "buffer/DataImage.h"

#include <algorithm>
#include <cstring>

bool DataImage::put(uint64_t address, const uint8_t* bytes, size_t count) {
    if (address > limit_ || count > limit_ - address)
        return false;
    if (count == 0)
        return true;
    for (size_t done = 0; done < count;) {
        const uint64_t at = address + done;
        const size_t page = static_cast<size_t>(at / kPageSize);
        const uint32_t offset = static_cast<uint32_t>(at % kPageSize);
        if (!pages_[page]) {
            pages_[page].reset(new uint8_t[kPageSize]);
            std::memset(pages_[page].get(), 0xFF, kPageSize);
        }
        const size_t n = std::min<size_t>(count - done, kPageSize - offset);
        std::memcpy(pages_[page].get() + offset, bytes + done, n);
        done += n;
    }
    end_ = std::max(end_, static_cast<uint32_t>(address + count));
    ranges_.add(address, count);
    return true;
}

uint8_t DataImage::at(uint32_t address) const {
    if (address >= limit_ || !pages_[address / kPageSize])
        return 0xFF;
    return pages_[address / kPageSize][address % kPageSize];
}

void DataImage::copyTo(DataBuffer& buffer, uint32_t count) const {
    count = std::min(buffer.clampToStore(count), limit_);
    for (uint32_t base = 0; base < count; base += kPageSize) {
        if (pages_[base / kPageSize])
            buffer.copyIn(base, pages_[base / kPageSize].get(), std::min(kPageSize, count - base));
    }
}
