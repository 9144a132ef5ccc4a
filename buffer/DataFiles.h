// File > Open and File > Save on the data buffer: binary and Intel HEX in, binary out.
// Both work over the selected chip's capacity, cut to the 16 MiB store: a chip larger
// than the store loads and saves its first 16 MiB, and a file longer than that gets
// the "too large" message.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "buffer/DataBuffer.h"
#include "res/Texts.h"

// True when the last three characters are exactly "HEX" or "hex". Shorter names are
// binary.
bool isIntelHexName(std::string_view name);

// Loads `name` (used as given, relative to the current folder) into the buffer. On
// success the first capacity bytes hold the file over 0xFF; `length` and the chip are
// not changed, and the caller resets the view. On failure the buffer is unchanged and
// the caller shows "Failure to open the file!". The "too large" message is shown here.
// A binary file that opens but cannot be read (an I/O error) fails like one that does
// not open. Fails without touching anything when the store is missing.
bool loadDataFile(DataBuffer& buffer, uint32_t capacity, const std::string& name,
                  const Texts& texts);

// Creates or truncates `path` and writes the first capacity bytes of the buffer (cut
// to the store). Returns true only when every byte was written and the file closed
// cleanly; a file that cannot be created, or a write that fails (disk full), returns
// false. Shows no message: the caller puts "保存成功！" in the status line (Chinese
// build) on success.
bool saveDataFile(const DataBuffer& buffer, uint32_t capacity, const std::string& path);
