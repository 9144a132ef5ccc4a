// The data files of read, write, verify and auto: binary, Intel HEX or S-records, by
// --format or else by the file's name, over the selected chip's capacity.
#pragma once

#include "cli/DeviceSession.h"

#include <string>

// Loads `file` into the session's buffer. Done, or exit code 2 with the reason.
DeviceResult loadInput(DeviceSession& session, const std::string& file);
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
