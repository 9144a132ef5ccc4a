// The path of ChipInfo.chip, built from the executable's path.
#pragma once

#include <string>
#include <string_view>

inline constexpr const char* kChipDatabaseFileName = "ChipInfo.chip";

// The executable's folder plus "ChipInfo.chip". Empty when the path holds no '/'
// or when the result would not fit the 255 characters the database keeps.
std::string databasePathBeside(std::string_view executablePath);
