// Which build's texts brimwick-cli speaks: the Chinese build's under a zh locale.
#pragma once

#include "res/Language.h"

// The first of LC_ALL, LC_MESSAGES and LANG that is set and not empty decides, as
// for every POSIX program: Chinese when it starts with "zh". Null arguments are unset.
Language languageFor(const char* lcAll, const char* lcMessages, const char* lang);

// languageFor() on this process's environment.
Language languageFromEnvironment();
