#include "buffer/DataFiles.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <new>
#include <vector>

#include "buffer/IntelHex.h"
#include "buffer/ReadableFile.h"
#include "res/MessageBox.h"

namespace {

// Reads up to `limit` bytes into `data` and tells whether more follow. False on a
// read error: the caller then fails the load before the buffer is touched.
bool readUpTo(FILE* file, uint32_t limit, std::vector<uint8_t>& data, bool& longer) {
    struct stat info {};
    if (fstat(fileno(file), &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0)
        data.reserve(std::min<uint64_t>(static_cast<uint64_t>(info.st_size), limit));
    constexpr size_t kChunk = 64 * 1024;
    while (data.size() < limit) {
        size_t want = std::min<size_t>(kChunk, limit - data.size());
        size_t old = data.size();
        data.resize(old + want);
        size_t got = std::fread(data.data() + old, 1, want, file);
        data.resize(old + got);
        if (got < want) {
            longer = false;
            return !std::ferror(file);
        }
    }
    longer = std::getc(file) != EOF;
    return !std::ferror(file);
}

bool loadBinary(DataBuffer& buffer, uint32_t capacity, const std::string& name,
                const Texts& texts) {
    FILE* file = openReadableFile(name);
    if (!file)
        return false;
    const uint32_t limit = DataBuffer::clampToStore(capacity);
    std::vector<uint8_t> data;
    bool longer = false;
    bool readOk = false;
    try {
        readOk = readUpTo(file, limit, data, longer);
    } catch (const std::bad_alloc&) {
        readOk = false;
    }
    std::fclose(file);
    if (!readOk)
        return false;
    if (longer)
        messageBoxIf(texts.fileTooLarge);
    buffer.fill(0, limit, 0xFF);
    buffer.copyIn(0, data.data(), data.size());
    return true;
}

bool loadIntelHex(DataBuffer& buffer, uint32_t capacity, const std::string& name,
                  const Texts& texts) {
    HexImage image;
    if (!image.readIntelHex(name, texts))
        return false;
    buffer.fill(0, DataBuffer::clampToStore(capacity), 0xFF);
    uint32_t n = image.imageLength();
    if (n > capacity) {
        messageBoxIf(texts.fileTooLarge);
        n = capacity;
    }
    buffer.copyIn(0, image.data(), n);
    return true;
}
} // namespace

bool isIntelHexName(std::string_view name) {
    if (name.size() < 3)
        return false;
    std::string_view tail = name.substr(name.size() - 3);
    return tail == "HEX" || tail == "hex";
}

bool loadDataFile(DataBuffer& buffer, uint32_t capacity, const std::string& name,
                  const Texts& texts) {
    if (!buffer.allocated())
        return false;
    return isIntelHexName(name) ? loadIntelHex(buffer, capacity, name, texts)
                                : loadBinary(buffer, capacity, name, texts);
}

bool saveDataFile(const DataBuffer& buffer, uint32_t capacity, const std::string& path) {
    const uint32_t count = DataBuffer::clampToStore(capacity);
    if (count > 0 && !buffer.allocated())
        return false;
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    bool ok = count == 0 || std::fwrite(buffer.store(), 1, count, file) == count;
    ok = std::fflush(file) == 0 && ok;
    ok = std::fclose(file) == 0 && ok;
    return ok;
}
