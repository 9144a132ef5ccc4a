// Makes this program the one that opens .bin and .hex files for the current user.
//
// The association lives in the user's XDG data and configuration folders:
//   $XDG_DATA_HOME/applications/brimwick.desktop   the program, started as: "<exe>" <file>
//   $XDG_DATA_HOME/mime/packages/brimwick.xml      a MIME type per extension, with its glob
//   $XDG_CONFIG_HOME/mimeapps.list                 the program as default for those types
// (defaults ~/.local/share and ~/.config). Every file is replaced atomically; running the
// command again gives the same files.
#pragma once

#include "res/Texts.h"

#include <string>

// One extension the program registers for.
struct DataFileType {
    const char* extension;   // ".bin"
    const char* mimeType;    // our own type, so the default does not spread to other files
    const char* description; // the type's comment
    const char* parentType;  // what a desktop treats the files as besides (sub-class-of)
};

extern const DataFileType kBinFileType;
extern const DataFileType kHexFileType;

// Where the association files go.
struct AssociationFolders {
    std::string dataHome;   // $XDG_DATA_HOME or ~/.local/share
    std::string configHome; // $XDG_CONFIG_HOME or ~/.config
};

// Reads XDG_DATA_HOME / XDG_CONFIG_HOME (relative values are ignored, as the XDG rules say)
// and falls back on $HOME. Empty strings when neither is usable.
AssociationFolders associationFoldersFromEnvironment();

// Full path of the running executable; empty when it cannot be found.
std::string runningExecutablePath();

// The Exec value of the desktop entry: the executable quoted per the Desktop Entry rules,
// then " %f". Empty when the path cannot be written there (empty, not absolute, or holding
// control characters).
std::string desktopExecLine(const std::string& exePath);

// Registers one type: desktop entry, MIME type and default application, then refreshes the
// desktop caches when their tools are installed. `exePath` null: the running executable.
// Returns 1 on success, 0 when a file could not be written; files written before the failure
// stay as they are.
int registerFileType(const DataFileType& type, const char* exePath = nullptr);
int registerFileType(const DataFileType& type, const AssociationFolders& folders,
                     const std::string& exePath);

// File > Relate: asks first (OK/Cancel), registers .bin, then .hex, and reports the outcome
// with the messages of the build. `exePath` null: the running executable.
void associateDataFiles(const Texts& texts, const char* exePath = nullptr);
