// Where ChipInfo.chip is read and written.
//
// A program whose own database the user can edit (a build folder, an install tree in the
// user's home) reads and writes ChipInfo.chip beside itself. A program installed by the
// system (under /usr, or beside a database the user cannot write) keeps the installed
// database as it is: it reads the user's own copy in $XDG_DATA_HOME/brimwick (default
// ~/.local/share/brimwick) once that exists and the installed database until then, and the
// first save makes that copy. The window, the chip editor, the simulator and the command
// line all follow this one rule.
#pragma once

#include <string>
#include <string_view>

inline constexpr const char* kChipDatabaseFileName = "ChipInfo.chip";

// The executable's folder plus "ChipInfo.chip". Empty when the path holds no '/'
// or when the result would not fit the 255 characters the database keeps.
std::string databasePathBeside(std::string_view executablePath);

struct DatabaseLocation {
    std::string installed; // beside the program; empty when that path is refused
    std::string userCopy;  // where edits go instead of `installed`; empty: `installed` is edited

    // The file to load: the user's copy once it exists, else the installed database.
    std::string loadPath() const;
};

// The location for a program at `executablePath`, with `dataHome` as $XDG_DATA_HOME.
DatabaseLocation databaseLocationFor(std::string_view executablePath, std::string_view dataHome);
// The location for the running program and the user's environment.
DatabaseLocation databaseLocationOfThisProgram();

// $XDG_DATA_HOME when it is an absolute path (the XDG rules ignore a relative one), else
// $HOME/.local/share; empty when neither is usable.
std::string userDataHome();
// $XDG_CONFIG_HOME, else $HOME/.config, by the same rules.
std::string userConfigHome();

// Makes the user's copy of the installed database: its folders when missing, then the whole
// file in one step, so that no half copy is ever seen. An existing copy is kept as it is.
bool makeUserCopy(const std::string& installed, const std::string& userCopy);
