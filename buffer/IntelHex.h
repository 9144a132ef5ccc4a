// Reader of Intel HEX files: data (00), end of file (01), extended segment (02) and
// extended linear (04) address records; start address records (03, 05) are checked
// and ignored. Hex digits may be of either case, as many tools write them. Data may lie
// anywhere in the 16 MiB store; a data record that crosses a 64 KiB boundary goes on
// at the next address.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string_view>

#include "buffer/DataImage.h"
#include "buffer/LoadOutcome.h"

// Turns 2 * n characters of `text` into n bytes, first character the high nibble.
// 0-9, A-F and a-f are accepted. Fails without writing any byte on an illegal
// character or when `text` is shorter than 2 * n.
bool decodeHexPairs(std::string_view text, uint8_t* bytes, size_t n);

// Reads records from `file` (open, at its start) into `image` up to the end record;
// anything between records is skipped, anything after the end record is not read.
// A read error counts as the file ending early. Throws std::bad_alloc when the image
// cannot grow. `line` (when given) receives the line of the record that failed (or of
// the end record), or for a file that ends early its last line.
LoadOutcome readIntelHex(FILE* file, DataImage& image, uint32_t* line = nullptr);
