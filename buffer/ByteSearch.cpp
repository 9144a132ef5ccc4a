#include "buffer/ByteSearch.h"

#include <algorithm>
#include <functional>

namespace {
int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

using Bytes = std::span<const uint8_t>;

uint8_t foldCase(uint8_t b) {
    return b >= 'A' && b <= 'Z' ? static_cast<uint8_t>(b - 'A' + 'a') : b;
}

// Bytes as the search compares them: exactly, or with ASCII letters in either case.
struct ByteEqual {
    LetterCase letterCase;
    bool operator()(uint8_t a, uint8_t b) const {
        return letterCase == LetterCase::Match ? a == b : foldCase(a) == foldCase(b);
    }
};
struct ByteHash {
    LetterCase letterCase;
    size_t operator()(uint8_t b) const { return letterCase == LetterCase::Match ? b : foldCase(b); }
};

// First match starting in [begin, end).
std::optional<uint32_t> firstIn(Bytes bytes, Bytes pattern, size_t begin, size_t end,
                                LetterCase letterCase) {
    if (begin >= end || end - 1 + pattern.size() > bytes.size())
        return std::nullopt;
    const auto first = bytes.begin() + static_cast<std::ptrdiff_t>(begin);
    const auto last = bytes.begin() + static_cast<std::ptrdiff_t>(end - 1 + pattern.size());
    const auto found = std::search(
        first, last,
        std::boyer_moore_horspool_searcher(pattern.begin(), pattern.end(), ByteHash{letterCase},
                                           ByteEqual{letterCase}));
    if (found == last)
        return std::nullopt;
    return static_cast<uint32_t>(found - bytes.begin());
}

// Last match starting in [begin, end).
std::optional<uint32_t> lastIn(Bytes bytes, Bytes pattern, size_t begin, size_t end,
                               LetterCase letterCase) {
    if (begin >= end || end - 1 + pattern.size() > bytes.size())
        return std::nullopt;
    const auto first = bytes.begin() + static_cast<std::ptrdiff_t>(begin);
    const auto last = bytes.begin() + static_cast<std::ptrdiff_t>(end - 1 + pattern.size());
    const auto found =
        std::find_end(first, last, pattern.begin(), pattern.end(), ByteEqual{letterCase});
    if (found == last)
        return std::nullopt;
    return static_cast<uint32_t>(found - bytes.begin());
}
} // namespace

std::optional<std::vector<uint8_t>> parseHexBytes(std::string_view text) {
    std::vector<uint8_t> bytes;
    int high = -1;
    for (char c : text) {
        if (c == ' ' && high < 0)
            continue;
        const int value = hexValue(c);
        if (value < 0)
            return std::nullopt;
        if (high < 0) {
            high = value;
        } else {
            bytes.push_back(static_cast<uint8_t>(high << 4 | value));
            high = -1;
        }
    }
    if (high >= 0 || bytes.empty())
        return std::nullopt;
    return bytes;
}

std::optional<uint32_t> findBytes(std::span<const uint8_t> bytes, std::span<const uint8_t> pattern,
                                  uint32_t from, SearchDirection direction, LetterCase letterCase) {
    if (pattern.empty() || pattern.size() > bytes.size())
        return std::nullopt;
    // Offsets where a whole match fits: 0 ... starts - 1.
    const size_t starts = bytes.size() - pattern.size() + 1;
    if (direction == SearchDirection::Forward) {
        const size_t at = std::min<size_t>(from, starts);
        if (auto found = firstIn(bytes, pattern, at, starts, letterCase))
            return found;
        return firstIn(bytes, pattern, 0, at, letterCase);
    }
    const size_t at = std::min<size_t>(from, starts - 1);
    if (auto found = lastIn(bytes, pattern, 0, at + 1, letterCase))
        return found;
    return lastIn(bytes, pattern, at + 1, starts, letterCase);
}
