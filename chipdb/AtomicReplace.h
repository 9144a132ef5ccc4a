// Replacing the content of an existing file so that a crash, a full disk or a
// read-only folder never leaves it half written.
#pragma once

#include <cstdint>
#include <span>
#include <string>

// Writes `pieces` one after the other as the new start of the existing regular
// file `path`; when the old file was longer, its bytes past the new content follow
// unchanged. The new content goes to a temporary file in the same folder, is
// flushed to disk and renamed over the old file, which keeps its permission bits.
// The file is never created: a missing or unwritable file fails. On failure the
// old file is untouched and no temporary file is left behind; temporary files that an
// interrupted earlier save left are removed. When no temporary file can be made (a
// writable file in a folder the user cannot write), the file is written in place and
// flushed instead.
bool replaceFileKeepingTail(const std::string& path,
                            std::span<const std::span<const uint8_t>> pieces);
