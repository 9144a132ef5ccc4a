// The shape write, verify and auto share on each programmer: select the chip, load
// FILE, run the operation over the addresses FILE holds (or with --whole-chip over the
// whole chip, FILE padded with FF), print the result with the CRC32 and SHA-256 of the
// bytes written and of the chip's bytes once verified.
#pragma once

#include "cli/DeviceSession.h"

#include <string>

enum class FileCommand { Write, Verify, Auto };

struct FileJobOptions {
    std::string file;
    bool wholeChip = false; // --whole-chip: every byte of the chip, as the window does
    bool noVerify = false;  // write --no-verify: no verify after the write
};

DeviceResult runFileJob(DeviceSession& session, FileCommand command, const FileJobOptions& options);

// Adds FILE and --whole-chip (and for write --no-verify) to `app`.
void addFileJobOptions(CLI::App& app, FileCommand command, FileJobOptions& options);
