// The S-record reader and load on arbitrary file contents.
#include "FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return loadRecordFile(data, size, FileFormat::SRecord);
}
