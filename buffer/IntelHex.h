// Reader for the Intel HEX subset the program loads: data (00) and end-of-file (01)
// records with uppercase hex digits, 16-bit addresses, so at most 64 KiB.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "res/Texts.h"

inline constexpr uint32_t kHexImageSize = 0x10000;

// Turns 2 * n characters of `text` into n bytes, first character the high nibble.
// Only 0-9 and A-F are accepted (lowercase fails). Fails without writing any byte on
// an illegal character or when `text` is shorter than 2 * n.
bool decodeHexPairs(std::string_view text, uint8_t* bytes, size_t n);

// One Intel HEX load: 64 KiB image (0xFF where no record wrote) and the highest end
// address, one past the highest byte any record covered.
class HexImage {
  public:
    HexImage();

    // Reads the file `name` (opened as given). Shows the build's messages through the
    // message-box seam: the Chinese build names each failure, the English build only
    // "Open file error!" when the file cannot be opened. Bytes that a record would put
    // past 0xFFFF are dropped, but still count for the highest end address. A read
    // error after opening is treated as the file ending early.
    bool readIntelHex(const std::string& name, const Texts& texts);

    // Highest end address, or 0 when it exceeds 0x10000 (0x10000 itself is kept).
    uint32_t imageLength() const;
    uint32_t highestEnd() const { return highestEnd_; }

    const uint8_t* data() const { return image_.get(); }
    uint8_t at(uint32_t address) const { return image_[address & 0xFFFF]; }

  private:
    std::unique_ptr<uint8_t[]> image_;
    uint32_t highestEnd_ = 0;
};
