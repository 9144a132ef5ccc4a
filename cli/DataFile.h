// The data files of read, write, verify and auto: binary, Intel HEX or S-records, by
// --format or else by the file's name, over the selected chip's capacity.
#pragma once

#include "buffer/ByteRanges.h"
#include "cli/DeviceSession.h"

#include <span>
#include <string>
#include <vector>

// Loads `file` into the session's buffer; `ranges` (when given) receives the chip
// addresses it holds. Done, or exit code 2 with the reason (and the line of a record
// file's fault, or the system's reason for a file that cannot be read).
DeviceResult loadInput(DeviceSession& session, const std::string& file,
                       std::vector<AddressRange>* ranges = nullptr);
// Writes the chip's bytes of the session's buffer to `file`. Done, or exit code 2.
DeviceResult saveOutput(DeviceSession& session, const std::string& file);

// The file a programmer's read is saved to: `file` itself, or with --all `file` with
// "-N" before its extension, N counting the programmers from 1 as `devices` lists them
// ("backup.bin" -> "backup-2.bin").
std::string outputFileFor(const std::string& file, int index, bool all);

// CRC32 and SHA-256 of the chip's bytes of the buffer: JSON members and the text
// "crc32 XXXXXXXX  sha256 ...".
struct ChipChecksums {
    Json fields;
    std::string text;
};
ChipChecksums chipChecksums(DeviceSession& session);
// The same over the buffer's bytes of `ranges`, one after the other.
ChipChecksums rangeChecksums(DeviceSession& session, std::span<const AddressRange> ranges);
