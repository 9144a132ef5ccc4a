// File dialog filters from the build's "text|pattern|text|pattern|" strings.
#pragma once

#include <QStringList>

// One Qt name filter per text/pattern pair. The dialog shows each text exactly as the
// build has it (the pattern part is hidden); "*.*" lists every file, with or without
// an extension.
QStringList nameFilters(const char* filter);
