#include "cli/ExitCodes.h"

#include <cstdio>

std::string exitCodeHelp() {
    std::string text = "Exit codes:\n";
    for (const ExitCodeRow& row : kExitCodes) {
        char line[128];
        std::snprintf(line, sizeof line, "  %3d  %s\n", exitValue(row.code), row.meaning);
        text += line;
    }
    text += "  With --all: the highest code of all programmers.\n";
    return text;
}
