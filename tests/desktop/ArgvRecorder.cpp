// Stands in for the program in the association tests: writes its arguments, each ended by
// a NUL byte, to the file named by $ARGV_RECORD.
#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
    const char* record = std::getenv("ARGV_RECORD");
    if (!record)
        return 2;
    std::FILE* file = std::fopen(record, "wb");
    if (!file)
        return 3;
    for (int i = 1; i < argc; ++i)
        std::fwrite(argv[i], 1, std::strlen(argv[i]) + 1, file);
    return std::fclose(file) == 0 ? 0 : 4;
}
