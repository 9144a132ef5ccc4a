// Loading a data file into the buffer and saving the buffer to one: binary, Intel HEX
// and Motorola S-records, for the window and the command line alike. Both work over
// the selected chip's capacity, cut to the 16 MiB store: a chip larger than the store
// loads and saves its first 16 MiB, and a file longer than that gets the "too large"
// message.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "buffer/ByteRanges.h"
#include "buffer/DataBuffer.h"
#include "buffer/FileFormat.h"
#include "buffer/LoadOutcome.h"
#include "res/Texts.h"

struct LoadResult {
    FileFormat format = FileFormat::Binary;
    LoadOutcome outcome = LoadOutcome::Loaded;
    // The file held more than the chip: the excess was dropped.
    bool tooLarge = false;
    // The chip addresses the file gives bytes for (a binary file: from 0 for its
    // length), cut to the capacity. Empty after a failure.
    std::vector<AddressRange> ranges;
    // A failed Intel HEX or S-record file: the line of the fault (0: none).
    uint32_t line = 0;
    // A file that could not be opened or read: the errno value (0: none).
    int error = 0;
    // The store's size when the file was read, for the fault of data beyond it.
    uint32_t storeSize = kStoreSize;
    bool loaded() const { return outcome == LoadOutcome::Loaded; }
};

// Loads `name` (used as given, relative to the current folder) as `format`. On success
// the first capacity bytes hold the file over 0xFF; `length` and the chip are not
// changed, and the caller resets the view. On failure the buffer is unchanged. Shows
// nothing.
LoadResult loadData(DataBuffer& buffer, uint32_t capacity, const std::string& name,
                    FileFormat format);

// The one box a load shows of its own: "too large" after a load that dropped bytes, or
// on failure the reader's message (the Intel HEX and S-record readers of the Chinese
// build name each fault; the English build only a file that cannot be opened; a binary
// file none). Null when there is none. After a failure the caller then shows
// "Failure to open the file!".
const char* loadMessage(const LoadResult& result, const Texts& texts);

// Why a load failed, for the line under "Failure to open the file!": the fault and
// its line ("Line 3: the record's checksum does not match"), or why the file could
// not be opened or read. Empty after a load that did not fail.
std::string loadFault(const LoadResult& result, const Texts& texts);

// The window's load: the format by the name, the load's own box through the
// message-box seam. True when loaded; otherwise `failure` (when given) receives the box
// the caller shows: "Failure to open the file!" with the fault on a second line.
bool loadDataFile(DataBuffer& buffer, uint32_t capacity, const std::string& name,
                  const Texts& texts, std::string* failure = nullptr);

// Creates or truncates `path` and writes the first capacity bytes of the buffer (cut
// to the store) as `format`. True only when every byte was written and the file closed
// cleanly; a file that cannot be created, or a write that fails (disk full), gives
// false. Shows nothing.
bool saveData(const DataBuffer& buffer, uint32_t capacity, const std::string& path,
              FileFormat format);

// The window's save: the format by the name.
bool saveDataFile(const DataBuffer& buffer, uint32_t capacity, const std::string& path);
