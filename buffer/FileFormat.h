// The data-file formats File > Open and File > Save (and the command line) read and
// write, and how a file's name or an explicit word chooses one.
#pragma once

#include <optional>
#include <string_view>

enum class FileFormat { Binary, IntelHex, SRecord };

// By the name: an extension .srec, .s19, .s28, .s37 or .mot (any case) means Motorola
// S-records; otherwise the last three characters exactly "HEX" or "hex" mean Intel HEX
// (so .hex, .ihex and a name like "myhex", but not ".Hex"); anything else is binary.
FileFormat formatForName(std::string_view name);

// The words a script uses: "bin", "ihex", "srec". Nothing for any other word.
std::optional<FileFormat> formatFromWord(std::string_view word);
const char* formatWord(FileFormat format);
