#include "buffer/ByteCompare.h"

#include <algorithm>

ByteComparison compareBytes(std::span<const uint8_t> buffer, std::span<const uint8_t> file,
                            size_t listLimit) {
    ByteComparison result;
    const size_t n = std::min(buffer.size(), file.size());
    result.compared = static_cast<uint32_t>(n);
    size_t i = 0;
    while (i < n) {
        // Equal stretches go by at memory speed.
        const auto [a, b] = std::mismatch(buffer.begin() + static_cast<std::ptrdiff_t>(i),
                                          buffer.begin() + static_cast<std::ptrdiff_t>(n),
                                          file.begin() + static_cast<std::ptrdiff_t>(i));
        i = static_cast<size_t>(a - buffer.begin());
        if (i >= n)
            break;
        ++result.differing;
        if (result.firstDiffs.size() < listLimit)
            result.firstDiffs.push_back({static_cast<uint32_t>(i), *a, *b});
        ++i;
    }
    return result;
}
