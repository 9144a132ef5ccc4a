// What became of loading a data file, for the window's boxes and a script's exit code.
#pragma once

enum class LoadOutcome {
    Loaded,
    NoStore,          // the buffer has no store to load into
    OpenFailed,       // missing, unreadable, or a folder
    ReadFailed,       // binary: an I/O error after opening
    UnexpectedEnd,    // the file ends before its end record, or inside a record
    IllegalCharacter, // a character that is no hex digit inside a record
    UnknownRecord,    // a record type, length or count the format does not allow
    ChecksumError,    // a record whose checksum does not match
    BeyondStore,      // a data record past the 16 MiB store
    NoMemory,         // no memory for the file's image
};
