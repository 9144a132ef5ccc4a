// The chip image file that keeps a simulated chip's contents between runs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sim {

// Loads the file into the start of `memory` (the rest keeps its contents). A missing
// file is not an error (`found` = false, memory untouched). A file larger than
// `memory` is refused, so that writing the chip back cannot cut it short.
bool loadChipImage(const std::string& path, std::vector<uint8_t>& memory, bool* found,
                   std::string* error);

// Replaces the file atomically: writes a temporary file beside it, syncs, renames.
// Temporary files that earlier saves of processes no longer running left beside it
// are removed first.
bool saveChipImage(const std::string& path, const std::vector<uint8_t>& memory, std::string* error);

} // namespace sim
