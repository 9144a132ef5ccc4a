// Edit > Fill and Edit > Exchange on the data buffer, without the dialog: parsing of
// the dialog's texts, the range checks with the message each failure shows, and the
// two buffer operations. Both work over `length`, cut to the 16 MiB store.
#pragma once

#include <cstdint>
#include <string_view>

#include "buffer/DataBuffer.h"
#include "res/Texts.h"

// Index of the first character that is not 0-9, a-f or A-F; -1 when there is none
// (also for an empty text).
int firstNonHexIndex(std::string_view text);

// Reads `text` as hexadecimal (either case) into `value`. An empty text gives 0 and
// succeeds; any other character fails and leaves `value` untouched. Digits beyond the
// eighth wrap modulo 2^32 (the dialog allows at most six).
bool parseHex(std::string_view text, uint32_t& value);

// The Fill dialog's results.
struct FillRequest {
    bool inputValid = false;
    uint32_t startAddress = 0;
    uint32_t endAddress = 0;
    uint8_t fillValue = 0;
};

enum class FillOutcome {
    Filled,
    InputError,      // a text was not hexadecimal
    StartOutOfRange, // startAddress >= length
    StartAboveEnd,   // startAddress > endAddress
};

struct FillResult {
    FillOutcome outcome = FillOutcome::Filled;
    uint32_t count = 0; // bytes set when Filled
};

// Runs the checks in order (input, start out of range, start above end), then sets
// the bytes from startAddress to endAddress, the end clamped to the last byte in use.
// "In use" is `length` cut to the store, so a chip larger than 16 MiB fills at most
// up to the end of the store. On any failure the buffer is unchanged.
FillResult fillBuffer(DataBuffer& buffer, const FillRequest& request);

// The message for a failed Fill in this build; null for Filled.
const char* fillMessage(FillOutcome outcome, const Texts& texts);

// Swaps the bytes of every pair (0,1), (2,3), ... while the first index is below
// `length` (cut to the store). With an odd length the last byte in use is swapped
// with the store byte after it; a pair whose second byte would lie past the store
// is left alone. Returns the number of pairs swapped.
uint32_t exchangeBytes(DataBuffer& buffer);
