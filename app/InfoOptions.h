// `brimwick --help` and `brimwick --version`: answered before Qt starts, so they work
// without a display (from a terminal, a script, a package check). Runs on the main thread.
#pragma once

#include "res/Language.h"

#include <cstdio>
#include <optional>

// When an argument is -h, --help or --version (the first one found wins), prints the usage
// text of the build or "<program> <version>" to `out` and returns the exit status, 0; else
// returns nothing and the window starts as usual. A data file with such a name is given
// as ./--help.
std::optional<int> answerInfoOptions(int argc, char** argv, Language language, std::FILE* out);
