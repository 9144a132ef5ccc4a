// Find in the buffer: hex byte patterns or text, forwards or backwards from a starting
// offset, wrapping once around the searched bytes. No Qt.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

enum class SearchDirection { Forward, Backward };

// Bytes written as pairs of hex digits, either case, with spaces between bytes allowed
// ("DE AD be ef", "DEADBEEF"). Nothing for an empty text, an odd digit or any other
// character.
std::optional<std::vector<uint8_t>> parseHexBytes(std::string_view text);

// Whether a search takes the letters A-Z and a-z as the same (text without "match case").
enum class LetterCase { Match, Ignore };

// The offset of the first match of `pattern` lying wholly inside `bytes`: forwards the
// first at or after `from`, backwards the last at or before it; when there is none on
// that side the search wraps to the other end. Nothing when there is no match at all
// or the pattern is empty.
std::optional<uint32_t> findBytes(std::span<const uint8_t> bytes, std::span<const uint8_t> pattern,
                                  uint32_t from, SearchDirection direction,
                                  LetterCase letterCase = LetterCase::Match);

// Whether a match found from `from` lies on the far side of the wrap: forwards before
// `from`, backwards after it.
inline bool searchWrapped(uint32_t found, uint32_t from, SearchDirection direction) {
    return direction == SearchDirection::Forward ? found < from : found > from;
}
