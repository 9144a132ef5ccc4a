// File dialog filters from the build's "text|pattern|text|pattern|" strings.
#pragma once

#include <QStringList>

// One Qt name filter per text/pattern pair. The dialog shows each text exactly as the
// build has it (the pattern part is hidden); "*.*" lists every file, with or without
// an extension; patterns joined by ";" each list their files.
QStringList nameFilters(const char* filter);

// The extension of a filter's first pattern ("hex" for "Hex file(*.hex) (*.hex)" and
// for "Hex file(*.hex)"), empty when it names none. Save adds it to a name typed without an
// extension.
QString firstExtension(const QString& nameFilter);
