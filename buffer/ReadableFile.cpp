#include "buffer/ReadableFile.h"

#include <sys/stat.h>

FILE* openReadableFile(const std::string& name) {
    FILE* file = std::fopen(name.c_str(), "rb");
    if (!file)
        return nullptr;
    struct stat info {};
    if (fstat(fileno(file), &info) != 0 || S_ISDIR(info.st_mode)) {
        std::fclose(file);
        return nullptr;
    }
    return file;
}
