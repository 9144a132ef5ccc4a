// File > Relate: makes this program the one that opens .bin and .hex files for the current
// user. Core code, no Qt; runs on the window's thread.
//
// The association lives in the user's XDG folders (defaults ~/.local/share, ~/.config):
//   applications/brimwick-relate.desktop   the program, started as: "<exe>" <file>; written
//                                          only when no installed entry of this very program
//                                          (brimwick.desktop, brimwick-zh.desktop) is found
//   mime/packages/brimwick-relate.xml      the MIME types, as the installed package has them
//   icons/hicolor/scalable/apps/brimwick.svg  the icon, when none is installed
//   mimeapps.list (config)                 the program as default for those types
// Installed files are never overwritten: the names differ from theirs. Every file is
// replaced atomically; running the command again gives the same files.
#pragma once

#include "res/Language.h"

#include <string>
#include <vector>

// One extension the program registers for.
struct DataFileType {
    const char* extension; // ".bin"
    const char* mimeType;  // our own type, so the default does not spread to other files
};

extern const DataFileType kBinFileType;
extern const DataFileType kHexFileType;

// Where the association files go and where installed ones are looked for.
struct AssociationFolders {
    std::string dataHome;              // $XDG_DATA_HOME or ~/.local/share
    std::string configHome;            // $XDG_CONFIG_HOME or ~/.config
    std::vector<std::string> dataDirs; // $XDG_DATA_DIRS or /usr/local/share:/usr/share
};

// Reads the XDG variables (relative values are ignored, as the XDG rules say) and falls back
// on $HOME. Empty strings when neither is usable.
AssociationFolders associationFoldersFromEnvironment();

// Full path of the running executable; empty when it cannot be found.
std::string runningExecutablePath();

// The Exec value of the desktop entry: the executable quoted per the Desktop Entry rules,
// then " %f". Empty when the path cannot be written there (empty, not absolute, or holding
// control characters).
std::string desktopExecLine(const std::string& exePath);

// The file name of the desktop entry that mimeapps.list names for the program at `exePath`:
// the installed entry that starts this very program with the program's icon and both types,
// else the entry Relate writes.
std::string desktopEntryFor(const AssociationFolders& folders, const std::string& exePath);

// Registers one type: desktop entry, MIME type, icon and default application, then refreshes
// the desktop caches when their tools are installed. `exePath` null: the running executable.
// Returns 1 on success, 0 when a file could not be written; files written before the failure
// stay as they are.
int registerFileType(const DataFileType& type, Language language, const char* exePath = nullptr);
int registerFileType(const DataFileType& type, Language language, const AssociationFolders& folders,
                     const std::string& exePath);

// File > Relate: asks first (OK/Cancel), registers .bin, then .hex, and reports the outcome
// with the messages of the build. `exePath` null: the running executable.
void associateDataFiles(Language language, const char* exePath = nullptr);
