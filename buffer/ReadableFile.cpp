#include "buffer/ReadableFile.h"

#include <sys/stat.h>

#include <cerrno>

FILE* openReadableFile(const std::string& name) {
    FILE* file = std::fopen(name.c_str(), "rb");
    if (!file)
        return nullptr;
    struct stat info {};
    if (fstat(fileno(file), &info) != 0 || S_ISDIR(info.st_mode)) {
        const int error = S_ISDIR(info.st_mode) ? EISDIR : errno;
        std::fclose(file);
        errno = error;
        return nullptr;
    }
    return file;
}
