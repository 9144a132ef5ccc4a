// Opening a data file for reading, shared by the binary and Intel HEX loaders.
#pragma once

#include <cstdio>
#include <string>

// fopen(name, "rb"), except that a folder (which Linux lets one open) counts as a
// file that cannot be opened (errno EISDIR). Null on failure, errno telling why.
FILE* openReadableFile(const std::string& name);
