// State and arithmetic of the hex view, free of any widget: which 16-byte row the
// first line shows, how the scroll bar maps to rows, and the three texts of each line.
// The widget owns the list and the scroll bar and applies what this model returns.
//
// A `length` above the 16 MiB store: the view shows the first 16 MiB and scrolls over
// them (rows, maxTopRow and scrollMax are computed from the length cut to the store).
// The refresh therefore never reads past the store, and the user still sees the data
// that exists instead of a frozen view.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "buffer/DataBuffer.h"

// Scroll request codes of the vertical scroll bar, as the platform numbers them.
enum ScrollCode : int {
    SB_LINEUP = 0,
    SB_LINEDOWN = 1,
    SB_PAGEUP = 2,
    SB_PAGEDOWN = 3,
    SB_THUMBPOSITION = 4,
    SB_THUMBTRACK = 5,
    SB_TOP = 6,
    SB_BOTTOM = 7,
    SB_ENDSCROLL = 8,
};

inline constexpr uint32_t kHexViewLines = 32;        // lines on screen at the least
inline constexpr uint32_t kHexBytesPerLine = 16;     // bytes per line
inline constexpr uint32_t kSmallBufferMax = 0x10000; // up to here one scroll position = one row
inline constexpr uint32_t kLargeScrollStep = 32;     // rows per scroll position above 64 KiB
inline constexpr int kWheelRowsPerNotch = 3;

// The three column texts of one line.
struct HexLine {
    std::string address; // "0x" + 6 hex digits + ":"
    std::string hex;     // 16 x ("HH ")
    std::string ascii;   // 16 characters
    bool operator==(const HexLine&) const = default;
};

// What the widget does after a scroll request.
struct ScrollResult {
    bool refresh = false;  // false: stop, touch neither the scroll bar nor the lines
    uint32_t position = 0; // new scroll-bar position (valid when refresh is true)
};

// Text builders.
// `digits` uppercase hex digits of the low `digits` nibbles of `value`, zero-padded.
std::string formatHexNumber(uint32_t value, int digits);
// Each byte as two uppercase hex digits and a space.
std::string formatHexBytes(const uint8_t* bytes, size_t n);
// Each byte as itself when 0x02 <= b <= 0x7F, else '.'.
std::string formatAscii(const uint8_t* bytes, size_t n);

class HexViewModel {
  public:
    explicit HexViewModel(const DataBuffer& buffer) : buffer_(buffer) {}
    const DataBuffer& buffer() const { return buffer_; }

    uint32_t topRow = 0;     // row shown on line 0
    uint32_t scrollStep = 1; // rows per scroll-bar position, set by onVScroll
    uint16_t rowCount = 0;   // lines that carry data, set by setUp and setViewLines

    // Lines on screen: kHexViewLines at the window's starting size, more in a larger
    // window. Changing them recomputes rowCount for the last set-up's capacity; the
    // caller sets the scroll range again and refreshes. True when they changed.
    bool setViewLines(uint32_t lines);
    uint32_t viewLines() const { return viewLines_; }

    // Derived from a length (cut to the store first) and the lines on screen.
    static uint32_t rowsFor(uint32_t length);
    static uint32_t maxTopRowFor(uint32_t length, uint32_t lines = kHexViewLines);
    static uint32_t scrollMaxFor(uint32_t length, uint32_t lines = kHexViewLines);
    static uint32_t scrollStepFor(uint32_t length); // 1 up to 64 KiB, else 32
    // The same, computed from the buffer's current length on each call.
    uint32_t maxTopRow() const;
    uint32_t scrollMax() const;
    // The scroll-bar position that shows topRow.
    uint32_t scrollPosition() const { return topRow / scrollStepFor(buffer_.length()); }

    // Prepares for the selected chip: rowCount = min(capacity / 16, lines). Returns the
    // scroll-bar maximum (the range is 0 ... scrollMax(), position 0). topRow is left
    // as it is; the callers reset it.
    uint32_t setUp(uint32_t capacity);

    // Refresh step 1: false when there is nothing to show (no store); the lines are
    // then left as they were.
    bool canRefresh() const { return buffer_.allocated(); }
    // Refresh step 2: topRow cut to maxTopRow(). Returns true when it changed.
    bool clampTopRow();
    // The texts of line i (0 ... lines - 1) at the current topRow: data when i < rowCount,
    // else " " in all three columns. Lines whose bytes would lie past the store also
    // read " ". Does not clamp.
    HexLine line(uint32_t i) const;
    // The whole refresh: false (and `lines` untouched) without a store; otherwise
    // clamps topRow and writes every line on screen (`lines` takes their number).
    bool refresh(std::vector<HexLine>& lines);

    // Scroll-bar request. Sets scrollStep from the length, applies the request and
    // the clamp. `position` is the 16-bit thumb position of SB_THUMBPOSITION and
    // SB_THUMBTRACK; the thumb at the end of its range shows the last rows, even where
    // maxTopRow is no whole number of positions. On refresh the widget sets the scroll bar to
    // result.position and refreshes; otherwise it does nothing.
    ScrollResult onVScroll(int code, uint32_t position);
    // Moves by `rows` (negative: towards offset 0) through the same clamp and
    // scroll-bar update as onVScroll. Stops (no refresh) when topRow would not change.
    ScrollResult scrollRows(int64_t rows);
    // Mouse wheel: `notches` as the wheel reports them, positive when turned away from
    // the user (towards offset 0); kWheelRowsPerNotch rows per notch.
    ScrollResult onWheel(int notches);

  private:
    ScrollResult moveTo(uint64_t row);

    const DataBuffer& buffer_;
    uint32_t viewLines_ = kHexViewLines;
    uint32_t capacity_ = 0; // of the last set-up
};
