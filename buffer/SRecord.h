// Reader of Motorola S-record files: S0 header, S1/S2/S3 data with 2-, 3- and 4-byte
// addresses, S5/S6 record counts, S7/S8/S9 ends. Every record's checksum is checked.
#pragma once

#include <cstdio>

#include "buffer/DataImage.h"
#include "buffer/LoadOutcome.h"

// Reads records from `file` (open, at its start) into `image`. Reading stops at an end
// record or, since tools such as srec_cat leave it out when there is no start address,
// at the end of the file once at least one record was read. Anything between records
// is skipped; hex digits may be of either case. A count record must match the data
// records before it. A read error counts as the file ending early. Throws
// std::bad_alloc when the image cannot grow. `line` (when given) receives the line of
// the record that failed, or for a file that ends early its last line.
LoadOutcome readSRecords(FILE* file, DataImage& image, uint32_t* line = nullptr);
