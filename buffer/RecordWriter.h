// Writers of the two text formats, for File > Save and the command line. Both write
// every byte they are given (0xFF too) from address 0, 16 bytes a record, uppercase,
// CRLF line ends as GNU objcopy writes them, so that other tools read back exactly the
// chip's bytes. They return false when a write to the file failed.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>

// Data records (00), an extended linear address record (04) before each 64 KiB after
// the first (so a file of 64 KiB or less stays in the plain 16-bit form), the end
// record (01).
bool writeIntelHex(FILE* file, std::span<const uint8_t> bytes);

// An S0 header without text, then S1, S2 or S3 data records as the highest address
// needs 2, 3 or 4 bytes, an S5 count (S6 above 65,535 records) and the matching S9, S8
// or S7 end record with start address 0.
bool writeSRecords(FILE* file, std::span<const uint8_t> bytes);
