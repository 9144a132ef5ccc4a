// The fixed-size text fields of a record: NUL-terminated, or completely full.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

// Characters before the terminator, at most the field's size.
inline size_t textFieldLength(const void* field, size_t size) {
    return ::strnlen(static_cast<const char*>(field), size);
}

// Exact, case-sensitive match of a C string key against a field. A full field
// counts as ending at its last byte, so nothing past the field is ever read.
inline bool textFieldEquals(const void* field, size_t size, const char* key) {
    size_t keyLength = ::strnlen(key, size + 1);
    return keyLength <= size && keyLength == textFieldLength(field, size) &&
           std::memcmp(field, key, keyLength) == 0;
}

// Copies the text of `source` (at most `sourceSize` bytes, up to its terminator)
// into a field of `size` bytes, cut at `size`, the rest zero-filled.
inline void copyTextIntoField(void* field, size_t size, const char* source, size_t sourceSize) {
    size_t length = ::strnlen(source, sourceSize < size ? sourceSize : size);
    std::memcpy(field, source, length);
    std::memset(static_cast<char*>(field) + length, 0, size - length);
}
