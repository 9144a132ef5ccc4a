// The text fields of a chip record are bytes, and those bytes are the truth: names the
// program writes are UTF-8, while databases made on a Chinese system hold GBK names.
// These helpers turn the bytes into UTF-8 to show them, and give the stored bytes back
// when the shown text comes back unchanged, so that an edit never rewrites a name the
// user did not touch.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// True when `bytes` are well-formed UTF-8.
bool isUtf8(std::string_view bytes);

// The field's text (up to its terminator, at most `size` bytes) as UTF-8: as stored
// when it is UTF-8, else decoded as GB18030 (a superset of GBK). A byte that neither
// reading explains shows as U+FFFD.
std::string chipTextForDisplay(const char* field, size_t size);

// The bytes to store for `shown`, the text the user left in an edit: the original
// field's bytes when `shown` is what chipTextForDisplay made of them, else `shown`.
std::string chipTextToStore(std::string_view shown, const char* originalField, size_t size);
