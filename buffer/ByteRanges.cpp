#include "buffer/ByteRanges.h"

#include <algorithm>
#include <iterator>

void ByteRanges::add(uint64_t start, uint64_t length) {
    if (length == 0)
        return;
    uint64_t end = start + length;
    auto next = spans_.upper_bound(start);
    if (next != spans_.begin()) {
        const auto before = std::prev(next);
        if (before->second >= start) {
            start = before->first;
            end = std::max(end, before->second);
            next = spans_.erase(before);
        }
    }
    while (next != spans_.end() && next->first <= end) {
        end = std::max(end, next->second);
        next = spans_.erase(next);
    }
    spans_.emplace(start, end);
}

std::vector<AddressRange> ByteRanges::cutTo(uint32_t limit) const {
    std::vector<AddressRange> ranges;
    for (const auto& [start, end] : spans_) {
        if (start >= limit)
            break;
        const uint64_t cut = std::min<uint64_t>(end, limit);
        ranges.push_back({static_cast<uint32_t>(start), static_cast<uint32_t>(cut - start)});
    }
    return ranges;
}
