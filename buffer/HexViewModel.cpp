#include "buffer/HexViewModel.h"

#include <algorithm>

namespace {
const char kHexDigits[] = "0123456789ABCDEF";

HexLine blankLine() {
    return HexLine{" ", " ", " "};
}
} // namespace

std::string formatHexNumber(uint32_t value, int digits) {
    std::string text;
    if (digits <= 0)
        return text;
    text.resize(static_cast<size_t>(digits));
    for (int i = digits - 1; i >= 0; --i) {
        text[static_cast<size_t>(i)] = kHexDigits[value & 0xF];
        value >>= 4;
    }
    return text;
}

std::string formatHexBytes(const uint8_t* bytes, size_t n) {
    std::string text;
    text.reserve(n * 3);
    for (size_t i = 0; i < n; ++i) {
        text += kHexDigits[bytes[i] >> 4];
        text += kHexDigits[bytes[i] & 0xF];
        text += ' ';
    }
    return text;
}

std::string formatAscii(const uint8_t* bytes, size_t n) {
    std::string text;
    text.reserve(n);
    // Control codes from 0x02 up are shown as they are; the list view draws them.
    for (size_t i = 0; i < n; ++i)
        text += (bytes[i] >= 0x02 && bytes[i] <= 0x7F) ? static_cast<char>(bytes[i]) : '.';
    return text;
}

uint32_t HexViewModel::rowsFor(uint32_t length) {
    return std::min(length, kMaxStoreSize) / kHexBytesPerLine;
}

uint32_t HexViewModel::maxTopRowFor(uint32_t length, uint32_t lines) {
    uint32_t rows = rowsFor(length);
    return rows <= lines ? 0 : rows - lines;
}

uint32_t HexViewModel::scrollStepFor(uint32_t length) {
    return std::min(length, kMaxStoreSize) <= kSmallBufferMax ? 1 : kLargeScrollStep;
}

uint32_t HexViewModel::scrollMaxFor(uint32_t length, uint32_t lines) {
    return maxTopRowFor(length, lines) / scrollStepFor(length);
}

uint32_t HexViewModel::maxTopRow() const {
    return maxTopRowFor(buffer_.length(), viewLines_);
}

uint32_t HexViewModel::scrollMax() const {
    return scrollMaxFor(buffer_.length(), viewLines_);
}

uint32_t HexViewModel::setUp(uint32_t capacity) {
    capacity_ = capacity;
    rowCount = static_cast<uint16_t>(std::min(capacity / kHexBytesPerLine, viewLines_));
    return scrollMax();
}

bool HexViewModel::setViewLines(uint32_t lines) {
    // A 16 MiB store has a million rows; no screen shows that many.
    lines = std::clamp<uint32_t>(lines, kHexViewLines, UINT16_MAX);
    if (lines == viewLines_)
        return false;
    viewLines_ = lines;
    rowCount = static_cast<uint16_t>(std::min(capacity_ / kHexBytesPerLine, viewLines_));
    return true;
}

bool HexViewModel::clampTopRow() {
    uint32_t limit = maxTopRow();
    if (topRow <= limit)
        return false;
    topRow = limit;
    return true;
}

HexLine HexViewModel::line(uint32_t i) const {
    if (i >= rowCount || !buffer_.allocated())
        return blankLine();
    uint64_t offset = (static_cast<uint64_t>(topRow) + i) * kHexBytesPerLine;
    if (buffer_.boundedCount(offset, kHexBytesPerLine) < kHexBytesPerLine)
        return blankLine();
    const uint8_t* bytes = buffer_.store() + offset;
    // Seven digits once the chip reaches past 16 MiB, on every line alike; the colon
    // then gives way so that the address keeps to its column.
    const bool wide = buffer_.lengthInStore() > kStoreSize;
    return HexLine{"0x" + formatHexNumber(static_cast<uint32_t>(offset), wide ? 7 : 6) +
                       (wide ? "" : ":"),
                   formatHexBytes(bytes, kHexBytesPerLine), formatAscii(bytes, kHexBytesPerLine)};
}

bool HexViewModel::refresh(std::vector<HexLine>& lines) {
    if (!canRefresh())
        return false;
    clampTopRow();
    lines.resize(viewLines_);
    for (uint32_t i = 0; i < viewLines_; ++i)
        lines[i] = line(i);
    return true;
}

ScrollResult HexViewModel::moveTo(uint64_t row) {
    uint32_t limit = maxTopRow();
    topRow = static_cast<uint32_t>(std::min<uint64_t>(row, limit));
    return ScrollResult{true, topRow / scrollStep};
}

ScrollResult HexViewModel::onVScroll(int code, uint32_t position) {
    scrollStep = scrollStepFor(buffer_.length());
    const uint32_t limit = maxTopRow();
    switch (code) {
    case SB_LINEUP:
        if (topRow == 0)
            return {};
        return moveTo(topRow - 1);
    case SB_LINEDOWN:
        if (topRow == limit)
            return {};
        return moveTo(static_cast<uint64_t>(topRow) + 1);
    case SB_PAGEUP:
        if (topRow == 0)
            return {};
        return moveTo(topRow > scrollStep ? topRow - scrollStep : 0);
    case SB_PAGEDOWN:
        if (topRow == limit)
            return {};
        // limit < scrollStep must not wrap: then the page lands on the last row.
        return moveTo(limit > scrollStep && topRow < limit - scrollStep
                          ? static_cast<uint64_t>(topRow) + scrollStep
                          : limit);
    case SB_THUMBPOSITION:
    case SB_THUMBTRACK:
        if ((position & 0xFFFF) >= scrollMax())
            return moveTo(limit);
        return moveTo(static_cast<uint64_t>(position & 0xFFFF) * scrollStep);
    case SB_TOP:
        if (topRow == 0)
            return {};
        return moveTo(0);
    case SB_BOTTOM:
        if (topRow == limit)
            return {};
        return moveTo(limit);
    default:
        return {};
    }
}

ScrollResult HexViewModel::scrollRows(int64_t rows) {
    scrollStep = scrollStepFor(buffer_.length());
    const uint32_t limit = maxTopRow();
    int64_t target = static_cast<int64_t>(topRow) + rows;
    target = std::clamp<int64_t>(target, 0, limit);
    if (static_cast<uint32_t>(target) == topRow)
        return {};
    return moveTo(static_cast<uint64_t>(target));
}

ScrollResult HexViewModel::onWheel(int notches) {
    return scrollRows(-static_cast<int64_t>(notches) * kWheelRowsPerNotch);
}
