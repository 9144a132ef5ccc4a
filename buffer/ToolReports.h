// The texts the window shows for Checksum and Compare with File, in the build's
// language. Plain text with \n line ends, for a box whose text can be copied. No Qt.
#pragma once

#include <string>

#include "buffer/ByteCompare.h"
#include "buffer/Checksums.h"
#include "res/Texts.h"

std::string checksumReport(const Checksums& sums, const Texts& texts);

// `fileName` as the user chose it; the first differences follow as lines of address,
// buffer byte and file byte.
std::string compareReport(const ByteComparison& comparison, const std::string& fileName,
                          const Texts& texts);
