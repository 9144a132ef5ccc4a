// Where the running program lives, so that its data files can sit beside it.
#pragma once

#include <string>

// The full path of the running executable, or an empty string when the system
// does not tell.
std::string executablePath();

// The folder of the running executable without a trailing '/' ("/" for the root),
// or an empty string when it is unknown.
std::string executableDirectory();
