// The exit codes of brimwick-cli: one table, shown by --help and the README. Scripts and
// production benches branch on them, so a code never changes its meaning.
#pragma once

#include <array>
#include <string>

enum class ExitCode : int {
    Done = 0,
    DeviceFailed = 1,  // the device operation failed (no answer, refused, transfer lost)
    UsageOrFile = 2,   // bad usage, or a file or the chip database cannot be read or written
    NoProgrammer = 3,  // no programmer found (or not the one --device names)
    Mismatch = 4,      // verify found a difference, or the chip is not blank
    Interrupted = 130, // Ctrl+C (SIGINT) stopped the command
};

struct ExitCodeRow {
    ExitCode code;
    const char* meaning;
};

inline constexpr std::array kExitCodes = {
    ExitCodeRow{ExitCode::Done, "done"},
    ExitCodeRow{ExitCode::DeviceFailed, "the device operation failed"},
    ExitCodeRow{ExitCode::UsageOrFile, "bad usage, or a file that cannot be read or written"},
    ExitCodeRow{ExitCode::NoProgrammer, "no programmer found"},
    ExitCodeRow{ExitCode::Mismatch, "verify mismatch, or the chip is not blank"},
    ExitCodeRow{ExitCode::Interrupted, "interrupted (Ctrl+C)"},
};

inline int exitValue(ExitCode code) {
    return static_cast<int>(code);
}

// With several programmers the run ends with the highest code any of them gave.
inline ExitCode worseOf(ExitCode a, ExitCode b) {
    return exitValue(a) >= exitValue(b) ? a : b;
}

// The table as --help prints it.
std::string exitCodeHelp();
